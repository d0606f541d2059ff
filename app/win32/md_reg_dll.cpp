#include "md_reg_dll.h"

#include <windows.h>

#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

using RegisterEntry = HRESULT(WINAPI*)();

// DllRegisterServer takes no argument while a thread routine takes one; calling it
// through a routine of the right shape keeps the 32-bit stack balanced.
DWORD WINAPI runRegistration(LPVOID entry) {
  return static_cast<DWORD>(reinterpret_cast<RegisterEntry>(entry)());
}

struct Library {
  HMODULE module = nullptr;
  ~Library() {
    if (module) FreeLibrary(module);
  }
};

struct Thread {
  HANDLE handle = nullptr;
  ~Thread() {
    if (handle) CloseHandle(handle);
  }
};

}  // namespace

std::int32_t RegisterServerDll(const std::string& path, std::uint32_t timeLimitMs) {
  if (path.empty()) return regdll::kEmptyPath;
  Library library;
  library.module = LoadLibraryW(base::widen(path).c_str());
  if (!library.module) return regdll::kLoadFailed;
  FARPROC entry = GetProcAddress(library.module, "DllRegisterServer");
  if (!entry) return regdll::kNoEntry;

  Thread thread;
  thread.handle = CreateThread(nullptr, 0, runRegistration, reinterpret_cast<LPVOID>(entry), 0, nullptr);
  if (!thread.handle) return regdll::kThreadFailed;
  if (WaitForSingleObject(thread.handle, timeLimitMs) == WAIT_OBJECT_0) return regdll::kCompleted;

  // A hung entry must not hold up the start: end its thread (and only then unload).
  DWORD exitCode = 0;
  GetExitCodeThread(thread.handle, &exitCode);
  TerminateThread(thread.handle, exitCode);
  WaitForSingleObject(thread.handle, 1000);
  return regdll::kTimedOut;
}

}  // namespace qelvaro
