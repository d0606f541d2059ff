#pragma once
// Loading Windows' own DLLs so that no copy planted in the program's folder (a download
// folder, a package's unpack folder) or the current folder is ever taken instead.
// Written without the C++ library: the self-extractor stub uses it too.

#include <windows.h>

namespace qelvaro::base {

// Before anything can load a DLL: the loader searches System32 only
// (SetDefaultDllDirectories; Windows 7 without KB2533623 lacks the call) and never the
// current folder.
void RestrictDllSearch();

// A system DLL (a bare name such as L"setupapi.dll") from System32, never searched for;
// null when it cannot be loaded (GetLastError says why).
HMODULE LoadSystemDll(const wchar_t* name);

// A function of a loaded module as the given pointer type; null when either is missing.
template <typename Fn>
Fn DllEntry(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace qelvaro::base
