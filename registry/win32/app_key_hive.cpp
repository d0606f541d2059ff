#include "app_key_hive.h"

#include <windows.h>

#include "win32_registry.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

// The copy goes when the hive does; Windows unloads an app key with its last handle.
class AppKeyHive final : public Hive {
 public:
  AppKeyHive(HKEY root, std::wstring copy) : root_(root), copy_(std::move(copy)) {}
  ~AppKeyHive() override {
    RegCloseKey(root_);
    DeleteFileW(copy_.c_str());
  }
  AppKeyHive(const AppKeyHive&) = delete;
  AppKeyHive& operator=(const AppKeyHive&) = delete;

  long open(const std::string& path, std::unique_ptr<RegistryKey>& key) const override {
    key.reset();
    HKEY handle = nullptr;
    const LONG status = RegOpenKeyExW(root_, base::widen(path).c_str(), 0, KEY_READ, &handle);
    if (status != ERROR_SUCCESS) return status;
    key = AdoptWin32Key(handle);
    return ERROR_SUCCESS;
  }

 private:
  HKEY root_;
  std::wstring copy_;
};

std::string describeError(LONG status) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(status), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                 reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = text ? base::narrow(text) : std::string();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return "error " + std::to_string(status) + (message.empty() ? "" : ", " + message);
}

}  // namespace

std::unique_ptr<Hive> OpenAppKeyHive(FileSystem& fs, const std::string& bytes, std::string& error) {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  wchar_t copy[MAX_PATH + 1];
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"qhv", 0, copy) == 0) {
    error = "no private copy of the hive can be made in the temporary folder";
    return nullptr;
  }
  const FsResult written = fs.writeFile(base::narrow(copy), bytes);
  if (!written.ok()) {
    DeleteFileW(copy);
    error = "it cannot be copied to the temporary folder (" + written.describe() + ")";
    return nullptr;
  }
  HKEY root = nullptr;
  const LONG status = RegLoadAppKeyW(copy, &root, KEY_READ, REG_PROCESS_APPKEY, 0);
  if (status != ERROR_SUCCESS) {
    DeleteFileW(copy);
    error = "Windows does not load it (RegLoadAppKeyW: " + describeError(status) + ")";
    return nullptr;
  }
  // Wine answers success without loading anything (its handle is not a key): ask
  // the root something before trusting it.
  DWORD subkeys = 0;
  const LONG probe = RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr);
  if (probe != ERROR_SUCCESS) {
    DeleteFileW(copy);
    error = "this system's registry cannot load hive files: RegLoadAppKeyW reported success but its key "
            "cannot be read (" + describeError(probe) + ")";
    return nullptr;
  }
  return std::make_unique<AppKeyHive>(root, copy);
}

}  // namespace qelvaro
