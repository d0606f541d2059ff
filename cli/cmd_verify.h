#pragma once
// `qelvaro verify PATH [--json]`: reads a backup back (folder, Zip or package) and
// compares it with its checksum list. Exit 0 when everything matches, 1 when
// something does not (named per driver), 2 when PATH is no backup or cannot be read,
// 3 for a backup without SHA256SUMS (nothing to compare; an archive's CRCs are checked).

#include <ostream>

#include "backup_verify.h"
#include "commands.h"
#include "json_writer.h"

namespace qelvaro {

// `toFsPath` turns the PATH given into the file system's path.
int RunVerifyCommand(const Args& args, const FileSystem& fs, const std::function<std::string(const std::string&)>& toFsPath,
                     const ArchiveOpener& openArchive, std::ostream& out, std::ostream& err);

// A driver's signature as the JSON reports give it: "signature" (the kind's word),
// "signer", "catalog", the files the catalog leaves out ("notCovered", when asked for)
// and, when it is broken, why ("signatureProblem").
void WriteSignatureJson(JsonWriter& json, const PackageSignature& signature, bool withNotCovered);

// `verify` with the platform's file system.
int RunPlatformVerify(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace qelvaro
