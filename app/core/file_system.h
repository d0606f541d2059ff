#pragma once
// The file-system port: what the backup needs of the machine's files. Paths are
// Windows paths in UTF-8 ("C:\Windows\inf\oem3.inf"); each implementation maps
// them onto its platform.

#include <optional>
#include <string>
#include <string_view>

namespace qelvaro {

// Which entries an existence test admits.
enum class AttrMask {
  Plain,   // files that are neither hidden nor system (read-only and archive count)
  System,  // plain files and system files
  Folder,  // plain files and folders
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when `path` names an existing entry of a kind that `mask` admits.
  virtual bool exists(const std::string& path, AttrMask mask) const = 0;

  // The whole file, or none when it cannot be read.
  virtual std::optional<std::string> readFile(const std::string& path) const = 0;

  // Text in the machine's ANSI code page, as UTF-8. The portable default is
  // Windows-1252; the Windows implementation uses the code page of the machine.
  virtual std::string decodeAnsi(std::string_view bytes) const;
};

}  // namespace qelvaro
