#pragma once
// The file-system port over POSIX files, for the native build: paths are host paths
// ("/tmp/out/x.sys") taken as they are. POSIX has no hidden or system attributes, so
// every entry is plain: every mask admits regular files, and the folder mask admits
// directories too. Listings come in readdir order.
//
// WindowsTreeFileSystem (windows_tree_file_system.h) puts Windows paths and
// attributes on top of this.

#include "file_system.h"

namespace qelvaro {

// The failure for an errno value.
FsResult FsResultFromErrno(int err);

class PosixFileSystem final : public FileSystem {
 public:
  bool exists(const std::string& path, AttrMask mask) const override;
  std::optional<std::string> readFile(const std::string& path) const override;
  std::optional<std::string> readFileHead(const std::string& path, std::uint64_t limit,
                                          std::uint64_t& fileSize) const override;
  DirListing listDir(const std::string& path) const override;
  FsResult createDir(const std::string& path) override;
  // The copy is written with mode 0666 less the umask, whatever the source's mode,
  // so that a later copy can replace it.
  FsResult copyFile(const std::string& from, const std::string& to) override;
  // The same copy through our own buffer, hashed on the way.
  FsResult copyFileHashed(const std::string& from, const std::string& to, std::string& sha256) override;
  // Created exclusively (O_EXCL, no link followed), fed to `sink` on the way.
  FsResult copyNewFileThrough(const std::string& from, const std::string& to, ByteSink& sink) override;
  FsResult hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const override;
  FsResult readThrough(const std::string& path, ByteSink& sink, std::uint64_t& size) const override;
  FsResult writeFile(const std::string& path, std::string_view bytes) override;
  FsResult deleteTree(const std::string& path) override;
  bool isLink(const std::string& path) const override;
  FsResult createNewDir(const std::string& path) override;

 private:
  FsResult copy(const std::string& from, const std::string& to, ByteSink* hash, bool createNew);
};

}  // namespace qelvaro
