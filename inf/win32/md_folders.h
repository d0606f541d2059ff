#pragma once
// The Windows and system directories of the running system.

#include <string>

#include "system_folders.h"

namespace qelvaro {

// Whole paths, whatever their length. GetSystemDir names System32 also for a
// 32-bit process on 64-bit Windows; the file system reaches the real folder.
std::string GetWindowsDir();
std::string GetSystemDir();

class Win32SystemFolders final : public SystemFolders {
 public:
  std::string windowsDir() const override { return GetWindowsDir(); }
  std::string systemDir() const override { return GetSystemDir(); }
};

}  // namespace qelvaro
