#include "file_system.h"

#include "base/sha256.h"
#include "base/text_encoding.h"

namespace qelvaro {

bool AttrMaskAdmits(AttrMask mask, EntryKind kind, bool hidden, bool system) {
  if (hidden) return false;
  if (kind == EntryKind::Folder) return mask == AttrMask::Folder && !system;
  return !system || mask == AttrMask::System;
}

std::string_view DescribeFsError(FsError error) {
  switch (error) {
    case FsError::None: return "ok";
    case FsError::NotFound: return "not found";
    case FsError::AccessDenied: return "access denied";
    case FsError::DiskFull: return "disk full";
    case FsError::InUse: return "in use by another program";
    case FsError::AlreadyExists: return "a file of that name exists";
    case FsError::NotAFolder: return "not a folder";
    case FsError::NotAFile: return "not a file";
    case FsError::BadName: return "name not allowed";
    case FsError::NotSupported: return "not supported by this file system";
    case FsError::Link: return "a link, never followed";
    case FsError::Other: return "failed";
  }
  return "failed";
}

std::string FsResult::describe() const {
  std::string text(DescribeFsError(error_));
  if (!ok() && systemCode_ != 0) text += " (error " + std::to_string(systemCode_) + ")";
  return text;
}

std::optional<std::string> FileSystem::readFileHead(const std::string& path, std::uint64_t limit,
                                                    std::uint64_t& fileSize) const {
  std::optional<std::string> bytes = readFile(path);
  if (!bytes) return std::nullopt;
  fileSize = bytes->size();
  if (bytes->size() > limit) bytes->resize(static_cast<std::size_t>(limit));
  return bytes;
}

DirListing FileSystem::listDir(const std::string&) const {
  return {FsResult::Failure(FsError::NotSupported), {}};
}
FsResult FileSystem::createDir(const std::string&) { return FsResult::Failure(FsError::NotSupported); }
FsResult FileSystem::copyFile(const std::string&, const std::string&) {
  return FsResult::Failure(FsError::NotSupported);
}
FsResult FileSystem::writeFile(const std::string&, std::string_view) {
  return FsResult::Failure(FsError::NotSupported);
}
FsResult FileSystem::deleteTree(const std::string&) { return FsResult::Failure(FsError::NotSupported); }

std::string FileSystem::decodeAnsi(std::string_view bytes) const { return windows1252ToUtf8(bytes); }

bool FileSystem::isLink(const std::string&) const { return false; }

FsResult FileSystem::createNewDir(const std::string& path) {
  if (isLink(path) || exists(path, AttrMask::Folder) || exists(path, AttrMask::System)) {
    return FsResult::Failure(FsError::AlreadyExists);
  }
  return createDir(path);
}

FsResult FileSystem::copyNewFile(const std::string& from, const std::string& to) {
  if (isLink(to) || exists(to, AttrMask::Folder) || exists(to, AttrMask::System)) {
    return FsResult::Failure(FsError::AlreadyExists);
  }
  return copyFile(from, to);
}

FsResult FileSystem::copyNewFileHashed(const std::string& from, const std::string& to, std::string& sha256) {
  if (isLink(to) || exists(to, AttrMask::Folder) || exists(to, AttrMask::System)) {
    return FsResult::Failure(FsError::AlreadyExists);
  }
  return copyFileHashed(from, to, sha256);
}

FsResult FileSystem::copyNewFileThrough(const std::string& from, const std::string& to, ByteSink& sink) {
  if (FsResult r = copyNewFile(from, to); !r) return r;
  std::uint64_t size = 0;
  return readThrough(to, sink, size);
}

FsResult FileSystem::copyFileHashed(const std::string& from, const std::string& to, std::string& sha256) {
  if (!Sha256().ok()) return FsResult::Failure(FsError::NotSupported);
  if (FsResult r = copyFile(from, to); !r) return r;
  std::uint64_t size = 0;
  return hashFile(to, sha256, size);
}

FsResult FileSystem::hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const {
  const std::optional<std::string> bytes = readFile(path);
  if (!bytes) return FsResult::Failure(exists(path, AttrMask::Folder) ? FsError::NotAFile : FsError::NotFound);
  sha256 = Sha256Hex(*bytes);
  size = bytes->size();
  return sha256.empty() ? FsResult::Failure(FsError::NotSupported) : FsResult{};
}

FsResult FileSystem::readThrough(const std::string& path, ByteSink& sink, std::uint64_t& size) const {
  const std::optional<std::string> bytes = readFile(path);
  if (!bytes) return FsResult::Failure(exists(path, AttrMask::Folder) ? FsError::NotAFile : FsError::NotFound);
  sink.update(bytes->data(), bytes->size());
  size = bytes->size();
  return {};
}

}  // namespace qelvaro
