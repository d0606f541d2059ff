#pragma once
// Where the backup looks for the files of a driver's source-disk list: first
// through the INF's default destination directory (with the numbered subfolders of
// the printer-driver folder), then by the file's extension. Later finds replace
// earlier copies, so the order of the candidates is part of the result.

#include <string>
#include <vector>

#include "inf_backup_view.h"
#include "system_folders.h"

namespace qelvaro {

struct SourceFileLookup {
  std::string key;
  std::string extension;                // lower-cased; empty when the key has no second part
  std::vector<std::string> candidates;  // paths to test, in order
  // For each candidate, the numbered version folder of the printer-driver folder it
  // lies in (1 to 19), or 0.
  std::vector<int> versionFolder;
};

// The printer-driver folder whose numbered version folders are searched too.
std::string PrinterDriverDir(const SystemFolders& folders);

// The text between the first and second "." of `key`, lower-cased ("a.b.sys" -> "b").
std::string SourceKeyExtension(const std::string& key);

// The folder an INF's DefaultDestDir names: the directory id's folder, and below it
// the subfolder when one is given. Empty when the id maps to no folder.
std::string DestinationFolder(const InfDestination& dest, const SystemFolders& folders);

// The paths tested for source-disk key `key`, given the INF's DefaultDestDir.
SourceFileLookup SourceFileCandidates(const std::string& key, const InfDestination& dest,
                                      const SystemFolders& folders);

}  // namespace qelvaro
