#include "win32_file_system.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "win32_text.h"
#include "wow64_redirection.h"

namespace qelvaro {
namespace {

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using unique_file = std::unique_ptr<void, HandleCloser>;

}  // namespace

std::wstring ToWin32Path(const std::string& path) {
  std::wstring wide = widen(path);
  if (wide.size() < MAX_PATH || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  // \\?\ turns off the path parsing, so resolve "..", "." and "/" first.
  const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return wide;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return wide;
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  if (full.size() >= 2 && full[1] == L':') return L"\\\\?\\" + full;
  return wide;
}

bool Win32FileSystem::exists(const std::string& path, AttrMask mask) const {
  const std::wstring p = ToWin32Path(path);
  DWORD attrs;
  {
    Wow64RedirectionOff realSystem32;
    attrs = GetFileAttributesW(p.c_str());
  }
  if (attrs == INVALID_FILE_ATTRIBUTES) return false;
  if (attrs & FILE_ATTRIBUTE_HIDDEN) return false;
  if ((attrs & FILE_ATTRIBUTE_SYSTEM) && mask != AttrMask::System) return false;
  if (attrs & FILE_ATTRIBUTE_DIRECTORY) return mask == AttrMask::Folder;
  return true;
}

std::optional<std::string> Win32FileSystem::readFile(const std::string& path) const {
  const std::wstring p = ToWin32Path(path);
  unique_file file;
  {
    Wow64RedirectionOff realSystem32;
    file.reset(CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

std::string Win32FileSystem::decodeAnsi(std::string_view bytes) const {
  if (bytes.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return FileSystem::decodeAnsi(bytes);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return narrow(wide);
}

}  // namespace qelvaro
