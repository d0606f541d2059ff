#include "source_search.h"

#include "folder_ids.h"
#include "text_encoding.h"

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

SourceFileLookup SourceFileCandidates(const std::string& key, const std::string& defaultDestDir,
                                      const SystemFolders& folders) {
  SourceFileLookup lookup{key, SourceKeyExtension(key), {}, {}};
  const std::string systemDir = folders.systemDir();
  if (!defaultDestDir.empty()) {
    const std::string dir = WhereIsDir(defaultDestDir, folders);
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
