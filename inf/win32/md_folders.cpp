#include "md_folders.h"

#include <windows.h>

#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

// Calls a "fill this buffer" directory query until the buffer is large enough.
template <typename Query>
std::string queryDirectory(Query query) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const UINT n = query(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return base::narrow(buffer);
    }
    buffer.assign(n + 1, L'\0');  // n is the size needed, with the NUL
  }
}

}  // namespace

std::string GetWindowsDir() { return queryDirectory(GetWindowsDirectoryW); }

std::string GetSystemDir() { return queryDirectory(GetSystemDirectoryW); }

}  // namespace qelvaro
