#include "base/win32/whole_file.h"

#include "base/win32/handle.h"

namespace qelvaro::base {

bool ReadWholeFile(const wchar_t* path, std::string& bytes) {
  UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  char buffer[4096];
  DWORD read = 0;
  bool ok = true;
  while ((ok = ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) && read > 0) bytes.append(buffer, read);
  return ok;
}

bool WriteWholeFile(const wchar_t* path, const void* data, std::size_t size, WriteMode mode) {
  UniqueHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, mode == WriteMode::CreateNew ? CREATE_NEW : CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  auto* p = static_cast<const char*>(data);
  bool ok = true;
  while (ok && size > 0) {
    const DWORD want = size > (1u << 24) ? (1u << 24) : static_cast<DWORD>(size);
    DWORD written = 0;
    ok = WriteFile(file.get(), p, want, &written, nullptr) && written > 0;
    p += written;
    size -= written;
  }
  return file.close() && ok;
}

}  // namespace qelvaro::base
