#include "posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <memory>

#include "base/sha256.h"

namespace qelvaro {

FsResult FsResultFromErrno(int err) {
  switch (err) {
    case 0:
      return {};
    case ENOENT:
    case ENOTDIR:
      return FsResult::Failure(FsError::NotFound, err);
    case EACCES:
    case EPERM:
    case EROFS:
      return FsResult::Failure(FsError::AccessDenied, err);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FsResult::Failure(FsError::DiskFull, err);
    case EBUSY:
    case ETXTBSY:
      return FsResult::Failure(FsError::InUse, err);
    case EEXIST:
      return FsResult::Failure(FsError::AlreadyExists, err);
    case EISDIR:
      return FsResult::Failure(FsError::NotAFile, err);
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      return FsResult::Failure(FsError::BadName, err);
    default:
      return FsResult::Failure(FsError::Other, err);
  }
}

namespace {

FsResult lastError() { return FsResultFromErrno(errno); }

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes now and reports what close says: a full disk can show up only here.
  int close() {
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 ? ::close(fd) : 0;
  }

 private:
  int fd_;
};

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

bool isDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Opens the target for a replacing write. A read-only target is replaced the way
// Windows replaces it for us (the attribute cleared first), and a symbolic link is
// replaced itself rather than written through.
FsResult openForReplace(const std::string& path, const struct stat* existing, UniqueFd& out, mode_t mode = 0666) {
  if (existing) {
    if (S_ISDIR(existing->st_mode)) return FsResult::Failure(FsError::NotAFile, EISDIR);
    if (S_ISLNK(existing->st_mode) && ::unlink(path.c_str()) != 0) return lastError();
    // Never a device or pipe: a failed write would unlink it.
    if (!S_ISREG(existing->st_mode) && !S_ISLNK(existing->st_mode)) {
      return FsResult::Failure(FsError::NotAFile, EINVAL);
    }
  }
  constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW;
  // A file that replaces another is made anew, so it never keeps wider permissions
  // than asked for.
  if (existing && S_ISREG(existing->st_mode) && ::unlink(path.c_str()) != 0 && errno != ENOENT) return lastError();
  UniqueFd fd(::open(path.c_str(), kFlags, mode));
  if (!fd) return lastError();
  out = std::move(fd);
  return {};
}

// The target as it stands (lstat), or null when there is none.
const struct stat* targetNow(const std::string& path, struct stat& st) {
  return ::lstat(path.c_str(), &st) == 0 ? &st : nullptr;
}

FsResult writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return {};
}

// Copies `in` to `out` (when out >= 0) in pieces, each given to `hash` when there is one.
FsResult copyByReadWrite(int in, int out, ByteSink* hash = nullptr, std::uint64_t* size = nullptr) {
  std::unique_ptr<char[]> buffer(new char[1 << 20]);
  for (;;) {
    const ssize_t n = ::read(in, buffer.get(), 1 << 20);
    if (n == 0) return {};
    if (n < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    if (hash) hash->update(buffer.get(), static_cast<std::size_t>(n));
    if (size) *size += static_cast<std::uint64_t>(n);
    if (out < 0) continue;
    if (auto r = writeAll(out, buffer.get(), static_cast<std::size_t>(n)); !r) return r;
  }
}

// The kernel copies without the data passing through us where it can. Copies until
// the end of the file, so that a file that grows meanwhile is taken whole.
FsResult copyContents(int in, int out) {
#if defined(__linux__)
  bool first = true;
  for (;;) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
    if (n == 0) return {};
    if (n < 0) {
      if (errno == EINTR) continue;
      if (first && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        return copyByReadWrite(in, out);
      }
      return lastError();
    }
    first = false;
  }
#else
  return copyByReadWrite(in, out);
#endif
}

// Deletes everything in the folder `name` of the folder `parent`, then the folder.
FsResult deleteTreeAt(int parent, const char* name) {
  FsResult first;
  const int dirFd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dirFd < 0) return lastError();
  UniqueDir dir(::fdopendir(dirFd));
  if (!dir) {
    const FsResult r = lastError();
    ::close(dirFd);
    return r;
  }
  // Collect first: deleting while reading a directory may make readdir skip entries.
  std::vector<std::pair<std::string, bool>> entries;
  errno = 0;
  while (const dirent* e = ::readdir(dir.get())) {
    if (isDotOrDotDot(e->d_name)) continue;
    bool isDir = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN) {
      struct stat st {};
      isDir = ::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    entries.emplace_back(e->d_name, isDir);
  }
  for (const auto& [entry, isDir] : entries) {
    FsResult r;
    if (isDir) {
      r = deleteTreeAt(dirFd, entry.c_str());
    } else if (::unlinkat(dirFd, entry.c_str(), 0) != 0) {
      r = lastError();
    }
    if (!r && first.ok()) first = r;
  }
  if (::unlinkat(parent, name, AT_REMOVEDIR) != 0 && first.ok()) first = lastError();
  return first;
}

}  // namespace

bool PosixFileSystem::exists(const std::string& path, AttrMask mask) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (S_ISREG(st.st_mode)) return true;
  return mask == AttrMask::Folder && S_ISDIR(st.st_mode);
}

std::optional<std::string> PosixFileSystem::readFile(const std::string& path) const {
  std::uint64_t size = 0;
  return readFileHead(path, UINT64_MAX, size);
}

std::optional<std::string> PosixFileSystem::readFileHead(const std::string& path, std::uint64_t limit,
                                                         std::uint64_t& fileSize) const {
  // Non-blocking, and the file checked on the descriptor itself: a pipe, a terminal or
  // /proc/kmsg in the place of an INF must not hang the reader, whatever the path
  // named a moment before. The flag stays on: it changes nothing for a file on disk,
  // and a kernel file that would wait for data fails instead.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  fileSize = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  // Read errors (EIO from /proc/self/mem, a failing disk) make the file unreadable,
  // never an exception.
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, limit)));
  std::unique_ptr<char[]> buffer(new char[1 << 16]);
  while (bytes.size() < limit) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(limit - bytes.size(), 1 << 16));
    const ssize_t n = ::read(fd.get(), buffer.get(), want);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    bytes.append(buffer.get(), static_cast<std::size_t>(n));
  }
  // A file that changed size since fstat: one read to its end is as long as what was read.
  fileSize = bytes.size() < limit ? bytes.size() : std::max<std::uint64_t>(fileSize, bytes.size());
  return bytes;
}

DirListing PosixFileSystem::listDir(const std::string& path) const {
  DirListing listing;
  UniqueDir dir(::opendir(path.c_str()));
  if (!dir) {
    listing.result = lastError();
    return listing;
  }
  for (;;) {
    // Only readdir's own errno tells of a failed listing: the look through a link
    // below leaves ENOENT or ELOOP for a link that leads nowhere.
    errno = 0;
    const dirent* e = ::readdir(dir.get());
    if (e == nullptr) break;
    if (isDotOrDotDot(e->d_name)) continue;
    bool isDir = e->d_type == DT_DIR;
    bool isLink = e->d_type == DT_LNK;
    if (e->d_type == DT_UNKNOWN) {
      struct stat st {};
      isLink = ::fstatat(::dirfd(dir.get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
      isDir = !isLink && S_ISDIR(st.st_mode);
    }
    if (isLink) {
      struct stat st {};
      isDir = ::fstatat(::dirfd(dir.get()), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    listing.entries.push_back({e->d_name, isDir ? EntryKind::Folder : EntryKind::File, false, false, isLink});
  }
  if (errno != 0) {
    listing.result = lastError();
    listing.entries.clear();
  }
  return listing;
}

FsResult PosixFileSystem::createDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return {};
  const int err = errno;
  if (err == EEXIST) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {};
  }
  return FsResultFromErrno(err);
}

FsResult PosixFileSystem::copyFile(const std::string& from, const std::string& to) {
  return copy(from, to, nullptr, false);
}

FsResult PosixFileSystem::copyFileHashed(const std::string& from, const std::string& to, std::string& sha256) {
  Sha256 hash;
  if (!hash.ok()) return FsResult::Failure(FsError::NotSupported);
  FsResult r = copy(from, to, &hash, false);
  if (r) sha256 = hash.hexDigest();
  return r;
}

FsResult PosixFileSystem::hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const {
  Sha256 hash;
  if (!hash.ok()) return FsResult::Failure(FsError::NotSupported);
  if (FsResult r = readThrough(path, hash, size); !r) return r;
  sha256 = hash.hexDigest();
  return {};
}

FsResult PosixFileSystem::readThrough(const std::string& path, ByteSink& sink, std::uint64_t& size) const {
  UniqueFd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!in) return lastError();
  struct stat st {};
  if (::fstat(in.get(), &st) != 0) return lastError();
  if (!S_ISREG(st.st_mode)) return FsResult::Failure(FsError::NotAFile, EISDIR);
  // The kernel may read ahead: the file is read once from start to end.
  (void)::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  size = 0;
  return copyByReadWrite(in.get(), -1, &sink, &size);
}

FsResult PosixFileSystem::copyNewFileThrough(const std::string& from, const std::string& to, ByteSink& sink) {
  return copy(from, to, &sink, true);
}

FsResult PosixFileSystem::copy(const std::string& from, const std::string& to, ByteSink* hash, bool createNew) {
  // Non-blocking, so that a pipe in a foreign tree cannot hang the open (the flag
  // changes nothing for a regular file).
  UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!in) return lastError();
  struct stat st {};
  if (::fstat(in.get(), &st) != 0) return lastError();
  if (!S_ISREG(st.st_mode)) return FsResult::Failure(FsError::NotAFile, EISDIR);
  // Copying a file onto itself would truncate it first. (A link at the target is
  // replaced, not written through, so only the file itself matters.)
  struct stat target {};
  const struct stat* existing = createNew ? nullptr : targetNow(to, target);
  if (existing && target.st_dev == st.st_dev && target.st_ino == st.st_ino) return {};
  UniqueFd out;
  // A copy is never readable by more people than its source (a secret of 0600 stays 0600).
  if (createNew) {
    // Whatever stands at the name (a file, a folder, a link) fails the copy untouched.
    out = UniqueFd(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, st.st_mode & 0666));
    if (!out) return lastError();
  } else if (auto r = openForReplace(to, existing, out, st.st_mode & 0666); !r) {
    return r;
  }
  FsResult r = hash ? copyByReadWrite(in.get(), out.get(), hash) : copyContents(in.get(), out.get());
  if (r) {
    // Windows keeps the time of last change on a copy; so do we.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.get(), times);
    if (out.close() != 0) r = lastError();
  }
  if (!r) ::unlink(to.c_str());
  return r;
}

FsResult PosixFileSystem::createNewDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return {};
  return FsResultFromErrno(errno);
}

bool PosixFileSystem::isLink(const std::string& path) const {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

FsResult PosixFileSystem::writeFile(const std::string& path, std::string_view bytes) {
  UniqueFd out;
  struct stat target {};
  if (auto r = openForReplace(path, targetNow(path, target), out); !r) return r;
  FsResult r = writeAll(out.get(), bytes.data(), bytes.size());
  if (r && out.close() != 0) r = lastError();
  if (!r) ::unlink(path.c_str());
  return r;
}

FsResult PosixFileSystem::deleteTree(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return lastError();
  if (!S_ISDIR(st.st_mode)) return FsResult::Failure(FsError::NotAFolder, ENOTDIR);
  return deleteTreeAt(AT_FDCWD, path.c_str());
}

}  // namespace qelvaro
