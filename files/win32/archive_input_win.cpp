#include <windows.h>

#include "archive_input.h"
#include "sfx_format/sfx_archive.h"
#include "sfx_format/sfx_handle_input_win.h"
#include "win32_file_system.h"

namespace qelvaro {
namespace {

// The verify reads an archive it opened itself: the handle goes with the input.
class OwnedHandleInput final : public qsfx::HandleInput {
 public:
  explicit OwnedHandleInput(HANDLE h) : HandleInput(h) {}
  ~OwnedHandleInput() override { CloseHandle(h_); }
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
  return std::make_unique<OwnedHandleInput>(h);
}

}  // namespace qelvaro
