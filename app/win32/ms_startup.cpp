#include "ms_startup.h"

#include <commctrl.h>
#include <objbase.h>

#include "frm_main.h"
#include "frm_main_texts.h"
#include "base/format_text.h"
#include "md_reg_dll.h"
#include "md_resource.h"
#include "win32_registry.h"
#include "base/win32/wide_string.h"
#include "base/win32/win32_ui.h"

namespace qelvaro {

std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const auto slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return {};
  std::wstring folder = path.substr(0, slash);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return base::narrow(folder);
}

ZipComponentPlace PutZipComponentInPlace() {
  // Plain concatenation: a drive-root folder gives a doubled separator, which works.
  // Only a component this run wrote is registered: in a folder it cannot write to, a
  // qzip.dll lying there is somebody else's file.
  const std::string dll = ProgramFolder() + "\\qzip.dll";
  const double size = OwnResourceSize(kZipResourceName, kZipResourceType);
  const std::int32_t saved = size > 0 ? SaveResourceToFile(kZipResourceName, kZipResourceType, dll, size) : -1;
  PumpPendingMessages(nullptr);
  if (saved != 0) return {"", FormatText(texts::kZipDllNotWritten, {dll, std::to_string(saved)})};
  const std::int32_t registered = RegisterServerDll(dll);
  PumpPendingMessages(nullptr);
  if (registered != regdll::kCompleted) return {"", FormatText(texts::kZipDllNotRegistered, {dll, std::to_string(registered)})};
  return {dll, ""};
}

int Main(HINSTANCE instance) {
  // The shell's folder browser needs COM on this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  const ZipComponentPlace zipComponent = PutZipComponentInPlace();

  if (!FrmMain::RegisterWindowClasses(instance)) return 1;
  const Win32Registry registry;
  FrmMain frmMain(instance, registry);
  frmMain.UseZipComponent(zipComponent.path, zipComponent.why);
  if (!frmMain.Create()) return 1;
  frmMain.Show();

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (frmMain.hwnd() && IsDialogMessageW(frmMain.hwnd(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace qelvaro
