#include <windows.h>

#include "backup_verify.h"
#include "sfx/sfx_archive.h"
#include "win32_file_system.h"

namespace qelvaro {
namespace {

class HandleInput final : public qsfx::Input {
 public:
  HandleInput(HANDLE h, std::uint64_t size) : h_(h), size_(size) {}
  ~HandleInput() override { CloseHandle(h_); }
  std::uint64_t size() const override { return size_; }
  bool readAt(std::uint64_t offset, void* buffer, std::size_t n) override {
    if (offset > size_ || size_ - offset < n) return false;
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
      OVERLAPPED o{};
      o.Offset = static_cast<DWORD>(offset);
      o.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD want = n > (1u << 24) ? (1u << 24) : static_cast<DWORD>(n);
      DWORD got = 0;
      if (!ReadFile(h_, p, want, &got, &o) || got == 0) return false;
      p += got;
      offset += got;
      n -= got;
    }
    return true;
  }

 private:
  HANDLE h_;
  std::uint64_t size_;
};

}  // namespace

std::unique_ptr<qsfx::Input> OpenArchiveInput(const std::string& platformPath, FsResult& why) {
  HANDLE h = CreateFileW(ToWin32Path(platformPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    why = FsResult::Failure(err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? FsError::NotFound
                            : err == ERROR_ACCESS_DENIED                                 ? FsError::AccessDenied
                                                                                         : FsError::Other,
                            static_cast<long>(err));
    return nullptr;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size)) {
    why = FsResult::Failure(FsError::Other, static_cast<long>(GetLastError()));
    CloseHandle(h);
    return nullptr;
  }
  return std::make_unique<HandleInput>(h, static_cast<std::uint64_t>(size.QuadPart));
}

}  // namespace qelvaro
