#pragma once
// A Windows tree in a temporary host folder for the backup tests: drive C holds the
// system (Windows directory C:\Windows), drive D is where backups go. Removed with
// everything in it when the test ends.

#include <string>

#include "system_folders.h"
#include "windows_tree_file_system.h"

namespace qelvaro::testing {

class FakeWindowsTree {
 public:
  FakeWindowsTree();
  ~FakeWindowsTree();
  FakeWindowsTree(const FakeWindowsTree&) = delete;
  FakeWindowsTree& operator=(const FakeWindowsTree&) = delete;

  // Writes a file at a Windows path ("C:\Windows\inf\oem1.inf"), spelled on disk as
  // given, making its folders.
  void put(const std::string& windowsPath, const std::string& bytes);
  // The host path of a Windows path spelled as given (no case matching).
  std::string host(const std::string& windowsPath) const;
  // The file's bytes, or "<missing>".
  std::string read(const std::string& windowsPath) const;
  bool onDisk(const std::string& windowsPath) const;
  // Names in a host folder, sorted, for comparing whole folders.
  std::string listing(const std::string& windowsPath) const;

  const std::string& base() const { return base_; }
  WindowsTreeFileSystem& fs() { return fs_; }
  const SystemFolders& folders() const { return folders_; }

 private:
  std::string base_;
  WindowsTreeFileSystem fs_;
  FixedSystemFolders folders_{"C:\\Windows"};
};

}  // namespace qelvaro::testing
