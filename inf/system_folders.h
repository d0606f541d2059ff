#pragma once
// The system-folders port: the Windows and system directories of the system whose
// drivers are backed up (the running one, or an offline image).

#include <string>

namespace qelvaro {

class SystemFolders {
 public:
  virtual ~SystemFolders() = default;
  // No trailing backslash, except for a drive root ("C:\").
  virtual std::string windowsDir() const = 0;
  virtual std::string systemDir() const = 0;
};

// Folders given by the caller: tests, and the command line's --windows-dir.
class FixedSystemFolders final : public SystemFolders {
 public:
  FixedSystemFolders(std::string windowsDir, std::string systemDir)
      : windows_(std::move(windowsDir)), system_(std::move(systemDir)) {}
  // The system directory is System32 below the Windows directory.
  explicit FixedSystemFolders(const std::string& windowsDir);

  std::string windowsDir() const override { return windows_; }
  std::string systemDir() const override { return system_; }

 private:
  std::string windows_;
  std::string system_;
};

}  // namespace qelvaro
