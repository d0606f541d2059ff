#include "driver_store_setupapi.h"

#include "folder_ids.h"
#include "package_paths.h"
#include "md_folders.h"
#include "base/win32/system_dll.h"
#include "base/win32/wide_string.h"

namespace qelvaro {

SetupApiDriverStoreLookup::SetupApiDriverStoreLookup(const SystemFolders& folders) : folders_(folders) {
  // From System32: a setupapi.dll beside the program must not be the one loaded.
  module_.reset(base::LoadSystemDll(L"setupapi.dll"));
  function_ = base::DllEntry<Function>(module_.get(), "SetupGetInfDriverStoreLocationW");
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
  const std::wstring inf = base::widen(InfDir(folders_) + "\\" + infName);
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
      return base::narrow(std::wstring_view(buffer).substr(0, slash));
    }
    lastError_ = GetLastError();
    if (lastError_ != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) break;
    buffer.assign(needed, L'\0');
  }
  return std::nullopt;
}

}  // namespace qelvaro
