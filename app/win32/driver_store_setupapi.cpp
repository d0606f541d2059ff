#include "driver_store_setupapi.h"

#include "folder_ids.h"
#include "md_folders.h"
#include "win32_text.h"

namespace qelvaro {

SetupApiDriverStoreLookup::SetupApiDriverStoreLookup(const SystemFolders& folders) : folders_(folders) {
  // By full path: a setupapi.dll beside the program must not be the one loaded.
  const std::wstring dll = widen(GetSystemDir() + "\\setupapi.dll");
  module_.reset(LoadLibraryW(dll.c_str()));
  if (!module_) return;
  function_ = reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(module_.get(), "SetupGetInfDriverStoreLocationW")));
}

SetupApiDriverStoreLookup::~SetupApiDriverStoreLookup() = default;

std::optional<std::string> SetupApiDriverStoreLookup::packageFolder(const std::string& infName) const {
  if (!function_) {
    lastError_ = ERROR_PROC_NOT_FOUND;
    return std::nullopt;
  }
  if (!IsPlainEntryName(infName)) {
    lastError_ = ERROR_INVALID_NAME;
    return std::nullopt;
  }
  const std::wstring inf = widen(InfDir(folders_) + "\\" + infName);
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD needed = 0;
    if (function_(inf.c_str(), nullptr, nullptr, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
      buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
      // The answer names the INF inside its package folder.
      const auto slash = buffer.find_last_of(L"\\/");
      if (slash == std::wstring::npos || slash == 0) {
        lastError_ = ERROR_BAD_PATHNAME;
        return std::nullopt;
      }
      return narrow(std::wstring_view(buffer).substr(0, slash));
    }
    lastError_ = GetLastError();
    if (lastError_ != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) break;
    buffer.assign(needed, L'\0');
  }
  return std::nullopt;
}

}  // namespace qelvaro
