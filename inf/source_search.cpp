#include "source_search.h"

#include <string_view>

#include "folder_ids.h"
#include "base/text_encoding.h"

namespace qelvaro {

std::string PrinterDriverDir(const SystemFolders& folders) {
  return folders.systemDir() + "\\spool\\Drivers\\w32x86";
}

std::string SourceKeyExtension(const std::string& key) {
  const auto first = key.find('.');
  if (first == std::string::npos) return {};
  const auto second = key.find('.', first + 1);
  return asciiLowerCopy(key.substr(first + 1, second == std::string::npos ? std::string::npos
                                                                            : second - first - 1));
}

std::string DestinationFolder(const InfDestination& dest, const SystemFolders& folders) {
  std::string dir = WhereIsDir(dest.dirId, folders);
  std::string_view subdir = dest.subdir;
  while (!subdir.empty() && (subdir.front() == '\\' || subdir.front() == '/')) subdir.remove_prefix(1);
  if (!dir.empty() && !subdir.empty()) dir += "\\" + std::string(subdir);
  return dir;
}

SourceFileLookup SourceFileCandidates(const std::string& key, const InfDestination& dest,
                                      const SystemFolders& folders) {
  SourceFileLookup lookup{key, SourceKeyExtension(key), {}, {}};
  const std::string systemDir = folders.systemDir();
  if (!dest.dirId.empty()) {
    const std::string dir = DestinationFolder(dest, folders);
    lookup.candidates.push_back(dir + "\\" + key);
    lookup.versionFolder.push_back(0);
    // Printer drivers keep their files in numbered version folders.
    if (dir == PrinterDriverDir(folders)) {
      for (int n = 1; n <= 19; ++n) {
        lookup.candidates.push_back(dir + "\\" + std::to_string(n) + "\\" + key);
        lookup.versionFolder.push_back(n);
      }
    }
  }
  lookup.versionFolder.push_back(0);
  if (lookup.extension == "hlp") {
    lookup.candidates.push_back(folders.windowsDir() + "\\help\\" + key);
  } else if (lookup.extension == "sys") {
    lookup.candidates.push_back(systemDir + "\\drivers\\" + key);
  } else {
    lookup.candidates.push_back(systemDir + "\\" + key);
  }
  return lookup;
}

}  // namespace qelvaro
