#pragma once
// The file-system port over the Win32 W functions: paths of any length, and the
// real System32 for a 32-bit process on 64-bit Windows (every access runs with the
// WOW64 redirection off). Listings come in the order FindFirstFile gives.

#include <string>

#include "file_system.h"

namespace qelvaro {

// The path in the form the W functions take at any length: absolute paths of 248
// characters or more (the limit of CreateDirectoryW) get the \\?\ (or \\?\UNC\)
// prefix after normalisation.
std::wstring ToWin32Path(const std::string& path);

class Win32FileSystem final : public FileSystem {
 public:
  bool exists(const std::string& path, AttrMask mask) const override;
  std::optional<std::string> readFile(const std::string& path) const override;
  std::optional<std::string> readFileHead(const std::string& path, std::uint64_t limit,
                                          std::uint64_t& fileSize) const override;
  DirListing listDir(const std::string& path) const override;
  FsResult createDir(const std::string& path) override;
  // CopyFileW: the copy keeps the source's attributes and times. A read-only, hidden
  // or system target is replaced all the same. A copy that fails for want of space
  // is removed.
  FsResult copyFile(const std::string& from, const std::string& to) override;
  // CopyFileW failing on any existing target (the target is created with CREATE_NEW).
  FsResult copyNewFile(const std::string& from, const std::string& to) override;
  // The copy through our own buffer, hashed on the way; like CopyFileW it keeps the
  // source's attributes and time of last change, replaces a read-only, hidden or
  // system target, and leaves no partial copy when it fails.
  FsResult copyFileHashed(const std::string& from, const std::string& to, std::string& sha256) override;
  // The same, creating the target exclusively (CREATE_NEW): any entry at the name fails it.
  FsResult copyNewFileHashed(const std::string& from, const std::string& to, std::string& sha256) override;
  // The exclusive copy, each piece given to `sink` on its way.
  FsResult copyNewFileThrough(const std::string& from, const std::string& to, ByteSink& sink) override;
  FsResult hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const override;
  FsResult readThrough(const std::string& path, ByteSink& sink, std::uint64_t& size) const override;
  FsResult writeFile(const std::string& path, std::string_view bytes) override;
  // A junction inside is removed as a link; what it points to is left alone.
  FsResult deleteTree(const std::string& path) override;
  bool isLink(const std::string& path) const override;
  FsResult createNewDir(const std::string& path) override;
  // The machine's ANSI code page.
  std::string decodeAnsi(std::string_view bytes) const override;

 private:
  FsResult copyHashed(const std::string& from, const std::string& to, std::string& sha256, bool createNew);
  FsResult copyThrough(const std::string& from, const std::string& to, ByteSink& sink, bool createNew);
};

}  // namespace qelvaro
