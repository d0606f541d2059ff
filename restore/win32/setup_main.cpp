// setup.exe: "<folder>\setup.exe" "<folder>" installs the drivers backed up below
// <folder>; without an argument, those below its own folder.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <new>

#include "driver_install.h"
#include "setup_window.h"
#include "base/win32/system_dll.h"
#include "base/win32/wide_string.h"

namespace {

std::wstring ownFolder() {
  wchar_t path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  std::wstring p(path, n);
  const auto sep = p.find_last_of(L'\\');
  return sep == std::wstring::npos ? p : p.substr(0, sep);
}

std::wstring folderArgument() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring folder = argv && argc > 1 ? argv[1] : ownFolder();
  if (argv) LocalFree(argv);
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

int run(HINSTANCE instance, int show) {
  qelvaro::base::RestrictDllSearch();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  if (!qelvaro::restore::SetupWindow::RegisterClasses(instance)) return 1;
  qelvaro::restore::SetupWindow window(instance, qelvaro::base::narrow(folderArgument()));
  HWND hwnd = window.Create();
  if (!hwnd) return 1;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return window.exitCode();
}

}  // namespace

// Reading a backup holds its lists and INFs in memory: one too large for this process
// ends the program with an exit code of its own, never as an abort that a scripted
// package run would read as one of the package's codes.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  int code = qelvaro::restore::kSetupOutOfMemory;
  try {
    code = run(instance, show);
  } catch (const std::bad_alloc&) {
    code = qelvaro::restore::kSetupOutOfMemory;
  }
  // Wine's explorer desktop does not pass exit codes on; tests read them from a file.
  if (const wchar_t* exitFile = _wgetenv(L"QELVARO_EXIT_FILE")) {
    HANDLE f = CreateFileW(exitFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      const std::string text = std::to_string(code);
      DWORD written = 0;
      WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
      CloseHandle(f);
    }
  }
  return code;
}
