#pragma once
// Reads a backup back and compares it with its checksum list: a backup folder, a Zip
// file or a self-extracting package (whose entries it opens with the package
// password). Every file is read once, in pieces, so a file of any size costs a
// small buffer. An archive's entries are also checked against their CRCs; a Zip or
// package made before backups carried SHA256SUMS is checked by its CRCs alone.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive_input.h"
#include "checksum_list.h"
#include "file_system.h"
#include "inf_values.h"
#include "package_signature.h"


namespace qelvaro {

enum class BackupForm { Folder, Zip, Package };

// The exit codes of `qelvaro verify`.
enum VerifyExit : int {
  kVerifyMatches = 0,
  kVerifyMismatch = 1,
  kVerifyNotABackup = 2,
  kVerifyNothingToCompare = 3,
};

// A driver folder's signature, as Windows will check it when the backup is restored.
struct DriverSignatureCheck {
  std::string driver;  // its class and driver folders ("Display/Acme GPU")
  PackageSignature signature;
};

struct VerifyReport {
  int exitCode = kVerifyMatches;
  std::string error;  // for kVerifyNotABackup and kVerifyNothingToCompare
  BackupForm form = BackupForm::Folder;
  bool checksumList = false;  // false: an archive checked by its CRCs alone
  std::size_t filesChecked = 0;
  std::vector<VerifyIssue> issues;  // in path order
  // The architecture the backup was made for (backup.json), whose catalog each INF
  // names; none when the backup does not say (then x64's is read).
  std::optional<MachineArch> arch;
  // Every driver folder whose files could be read, in path order. A broken signature
  // is also an issue (VerifyIssueKind::Signature); an unsigned driver is not.
  std::vector<DriverSignatureCheck> signatures;
};


// The unsigned drivers of a backup made for 64-bit Windows, which installs none of
// them (0 for a backup made for 32-bit Windows).
std::size_t UnsignedOn64Bit(const VerifyReport& report);

// `path` is the backup folder, the Zip file or the package.
VerifyReport VerifyBackup(const std::string& path, const FileSystem& fs, const ArchiveOpener& openArchive,
                          VerifyProgress progress = nullptr, void* context = nullptr);

}  // namespace qelvaro
