#include "md_resource.h"

#include <windows.h>

#include <memory>

#include "win32_file_system.h"
#include "base/win32/handle.h"
#include "base/win32/wide_string.h"

namespace qelvaro {

std::uint32_t OwnResourceSize(const std::string& name, const std::string& type) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(self, base::widen(name).c_str(), base::widen(type).c_str());
  return info ? SizeofResource(self, info) : 0;
}

bool LoadOwnResource(const std::string& name, const std::string& type, std::string& bytes,
                     std::uint32_t& error) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(self, base::widen(name).c_str(), base::widen(type).c_str());
  if (!info) {
    error = GetLastError();
    return false;
  }
  const DWORD length = SizeofResource(self, info);
  HGLOBAL loaded = LoadResource(self, info);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) {
    error = GetLastError() ? GetLastError() : ERROR_RESOURCE_DATA_NOT_FOUND;
    return false;
  }
  bytes.assign(static_cast<const char*>(data), length);
  return true;
}

std::int32_t SaveResourceToFile(const std::string& name, const std::string& type, const std::string& path,
                                double size) {
  std::string bytes;
  std::uint32_t error = 0;
  if (!LoadOwnResource(name, type, bytes, error)) return static_cast<std::int32_t>(error);
  if (size > 0 && !bytes.empty() && bytes.back() == '\0') bytes.resize(static_cast<std::size_t>(size), '\0');

  // CREATE_ALWAYS truncates: the bytes of an older, longer DLL would corrupt the new one.
  base::UniqueHandle file(CreateFileW(ToWin32Path(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return static_cast<std::int32_t>(GetLastError());
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return static_cast<std::int32_t>(GetLastError() ? GetLastError() : ERROR_WRITE_FAULT);
    }
    done += written;
  }
  if (!CloseHandle(file.release())) return static_cast<std::int32_t>(GetLastError());
  return 0;
}

}  // namespace qelvaro
