#include "base/win32/system_dll.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace qelvaro::base {

void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  if (auto fn = DllEntry<SetDefaultDllDirectoriesFn>(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))
    fn(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Keeps the current folder out of the search on systems without the call.
  SetDllDirectoryW(L"");
}

HMODULE LoadSystemDll(const wchar_t* name) {
  if (HMODULE m = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return m;
  // Without the flag (Windows 7 without KB2533623): by the full path in System32.
  wchar_t path[MAX_PATH];
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  const int len = lstrlenW(name);
  if (n == 0 || n + 1 + static_cast<UINT>(len) >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  path[n] = L'\\';
  lstrcpyW(path + n + 1, name);
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace qelvaro::base
