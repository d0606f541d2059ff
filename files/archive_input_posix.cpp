#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "archive_input.h"
#include "posix_file_system.h"
#include "sfx_format/sfx_archive.h"

namespace qelvaro {
namespace {

class FdInput final : public qsfx::Input {
 public:
  FdInput(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~FdInput() override { ::close(fd_); }
  std::uint64_t size() const override { return size_; }
  bool readAt(std::uint64_t offset, void* buffer, std::size_t n) override {
    if (offset > size_ || size_ - offset < n) return false;
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
      const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      p += got;
      offset += static_cast<std::uint64_t>(got);
      n -= static_cast<std::size_t>(got);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

}  // namespace

std::unique_ptr<qsfx::Input> OpenArchiveInput(const std::string& platformPath, FsResult& why) {
  const int fd = ::open(platformPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    why = FsResultFromErrno(errno);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = ::fstat(fd, &st) != 0 ? FsResultFromErrno(errno) : FsResult::Failure(FsError::NotAFile, EINVAL);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<FdInput>(fd, static_cast<std::uint64_t>(st.st_size));
}

}  // namespace qelvaro
