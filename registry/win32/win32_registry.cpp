#include "win32_registry.h"

#include <windows.h>

#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

class Win32Key final : public RegistryKey {
 public:
  explicit Win32Key(HKEY key) : key_(key) {}
  ~Win32Key() override { RegCloseKey(key_); }
  Win32Key(const Win32Key&) = delete;
  Win32Key& operator=(const Win32Key&) = delete;

  long enumSubKey(std::uint32_t index, std::string& name) const override {
    // Key names are at most 255 characters; the buffer holds any of them.
    wchar_t buffer[256];
    DWORD length = 256;
    const LONG status = RegEnumKeyExW(key_, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) name = base::narrow(std::wstring_view(buffer, length));
    return status;
  }

  long queryValue(const std::string& name, RegistryData& data) const override {
    const std::wstring wname = base::widen(name);
    for (;;) {
      DWORD type = 0;
      DWORD size = 0;
      LONG status = RegQueryValueExW(key_, wname.c_str(), nullptr, &type, nullptr, &size);
      if (status != ERROR_SUCCESS) return status;
      data.bytes.assign(size, 0);
      status = RegQueryValueExW(key_, wname.c_str(), nullptr, &type, data.bytes.data(), &size);
      if (status == ERROR_MORE_DATA) continue;  // the value grew in between
      if (status != ERROR_SUCCESS) return status;
      data.bytes.resize(size);
      data.type = static_cast<RegistryType>(type);
      return ERROR_SUCCESS;
    }
  }

  long openSubKey(const std::string& path, RegistryAccess access, std::unique_ptr<RegistryKey>& key) const override {
    key.reset();
    HKEY handle = nullptr;
    const LONG status = RegOpenKeyExW(key_, base::widen(path).c_str(), 0, Sam(access), &handle);
    if (status != ERROR_SUCCESS) return status;
    key = std::make_unique<Win32Key>(handle);
    return ERROR_SUCCESS;
  }

  static REGSAM Sam(RegistryAccess access) { return access == RegistryAccess::Read ? KEY_READ : KEY_QUERY_VALUE; }

 private:
  HKEY key_;
};

}  // namespace

std::unique_ptr<RegistryKey> AdoptWin32Key(HKEY key) { return std::make_unique<Win32Key>(key); }

long Win32Registry::open(RegistryRoot root, const std::string& path, RegistryAccess access,
                         std::unique_ptr<RegistryKey>& key) const {
  key.reset();
  const HKEY base = root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  HKEY handle = nullptr;
  const LONG status = RegOpenKeyExW(base, base::widen(path).c_str(), 0, Win32Key::Sam(access), &handle);
  if (status != ERROR_SUCCESS) return status;
  key = std::make_unique<Win32Key>(handle);
  return ERROR_SUCCESS;
}

}  // namespace qelvaro
