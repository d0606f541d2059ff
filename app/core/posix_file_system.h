#pragma once
// The file-system port over POSIX files, for the native build. POSIX has no hidden
// or system attributes, so every mask admits regular files, and the folder mask
// admits directories too.

#include "file_system.h"

namespace qelvaro {

class PosixFileSystem final : public FileSystem {
 public:
  bool exists(const std::string& path, AttrMask mask) const override;
  std::optional<std::string> readFile(const std::string& path) const override;
};

}  // namespace qelvaro
