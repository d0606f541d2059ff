#include "md_reg_dll.h"

#include <windows.h>

#include "base/win32/handle.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

using RegisterEntry = HRESULT(WINAPI*)();

// DllRegisterServer takes no argument while a thread routine takes one; calling it
// through a routine of the right shape keeps the 32-bit stack balanced.
DWORD WINAPI runRegistration(LPVOID entry) {
  return static_cast<DWORD>(reinterpret_cast<RegisterEntry>(entry)());
}

}  // namespace

std::int32_t RegisterServerDll(const std::string& path, std::uint32_t timeLimitMs) {
  if (path.empty()) return regdll::kEmptyPath;
  // Declared first, so that the thread's handle is closed before the DLL is unloaded.
  const base::UniqueModule library(LoadLibraryW(base::widen(path).c_str()));
  if (!library) return regdll::kLoadFailed;
  FARPROC entry = GetProcAddress(library.get(), "DllRegisterServer");
  if (!entry) return regdll::kNoEntry;

  const base::UniqueHandle thread(CreateThread(nullptr, 0, runRegistration, reinterpret_cast<LPVOID>(entry), 0, nullptr));
  if (!thread) return regdll::kThreadFailed;
  if (WaitForSingleObject(thread.get(), timeLimitMs) == WAIT_OBJECT_0) return regdll::kCompleted;

  // A hung entry must not hold up the start: end its thread (and only then unload).
  DWORD exitCode = 0;
  GetExitCodeThread(thread.get(), &exitCode);
  TerminateThread(thread.get(), exitCode);
  WaitForSingleObject(thread.get(), 1000);
  return regdll::kTimedOut;
}

}  // namespace qelvaro
