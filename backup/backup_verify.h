#pragma once
// Reads a backup back and compares it with its checksum list: a backup folder, a Zip
// file or a self-extracting package (whose entries it opens with the package
// password). Every file is read once, in pieces, so a file of any size costs a
// small buffer. An archive's entries are also checked against their CRCs; a Zip or
// package made before backups carried SHA256SUMS is checked by its CRCs alone.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive_input.h"
#include "checksum_list.h"
#include "file_system.h"


namespace qelvaro {

enum class BackupForm { Folder, Zip, Package };

// The exit codes of `qelvaro verify`.
enum VerifyExit : int {
  kVerifyMatches = 0,
  kVerifyMismatch = 1,
  kVerifyNotABackup = 2,
  kVerifyNothingToCompare = 3,
};

struct VerifyReport {
  int exitCode = kVerifyMatches;
  std::string error;  // for kVerifyNotABackup and kVerifyNothingToCompare
  BackupForm form = BackupForm::Folder;
  bool checksumList = false;  // false: an archive checked by its CRCs alone
  std::size_t filesChecked = 0;
  std::vector<VerifyIssue> issues;  // in path order
};


// `path` is the backup folder, the Zip file or the package.
VerifyReport VerifyBackup(const std::string& path, const FileSystem& fs, const ArchiveOpener& openArchive,
                          VerifyProgress progress = nullptr, void* context = nullptr);

}  // namespace qelvaro
