#include "e2e_support.h"

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>

#include "base/win32/wide_string.h"

namespace qelvaro::e2e {

std::wstring dosPath(const std::string& unixPath) {
  std::wstring out = L"Z:";
  for (char c : unixPath) out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}

HWND waitForWindow(const std::wstring& caption, DWORD timeoutMs, const wchar_t* cls) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND hwnd = FindWindowW(cls, caption.c_str())) return hwnd;
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(100);
  }
}

namespace {

struct DialogSearch {
  HWND owner;
  HWND except;
  HWND found;
};

BOOL CALLBACK findOwnedDialog(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  if (hwnd != search->except && GetWindow(hwnd, GW_OWNER) == search->owner && IsWindowVisible(hwnd) &&
      className(hwnd) == L"#32770") {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

struct WindowList {
  DWORD process;
  std::string text;
};

BOOL CALLBACK listWindow(HWND hwnd, LPARAM param) {
  auto* list = reinterpret_cast<WindowList*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != list->process) return TRUE;
  char line[600];
  snprintf(line, sizeof line, "%p class '%ls' caption '%ls' owner %p %s\n", static_cast<void*>(hwnd),
           className(hwnd).c_str(), windowText(hwnd).c_str(), static_cast<void*>(GetWindow(hwnd, GW_OWNER)),
           IsWindowVisible(hwnd) ? "visible" : "hidden");
  list->text += line;
  return TRUE;
}

}  // namespace

HWND waitForOwnedDialog(HWND owner, DWORD timeoutMs, HWND except) {
  const DWORD start = GetTickCount();
  for (;;) {
    DialogSearch search{owner, except, nullptr};
    EnumWindows(findOwnedDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(100);
  }
}

std::string describeWindows(DWORD processId) {
  WindowList list{processId, {}};
  EnumWindows(listWindow, reinterpret_cast<LPARAM>(&list));
  return list.text.empty() ? "(no windows)\n" : list.text;
}

ProcessGuard::~ProcessGuard() {
  if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
  }
  if (process_) CloseHandle(process_);
}

std::wstring windowText(HWND hwnd) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(hwnd, buffer, 1024);
  return buffer;
}

std::wstring className(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetClassNameW(hwnd, buffer, 256);
  return buffer;
}

RECT childRect(HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool screenshot(const std::string& name) {
  const char* dir = std::getenv("QELVARO_SCREENSHOT_DIR");
  if (!dir || !*dir) return false;
  HDC screen = GetDC(nullptr);
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, GetSystemMetrics(SM_XVIRTUALSCREEN),
         GetSystemMetrics(SM_YVIRTUALSCREEN), SRCCOPY);
  GdiFlush();
  const DWORD stride = ((width * 3 + 3) / 4) * 4;
  const DWORD imageSize = stride * height;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageSize;
  bool ok = false;
  const std::wstring path = dosPath(std::string(dir) + "/" + name + ".bmp");
  if (FILE* f = _wfopen(path.c_str(), L"wb")) {
    ok = fwrite(&file, sizeof file, 1, f) == 1 && fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
         fwrite(bits, imageSize, 1, f) == 1;
    fclose(f);
  }
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
  ReleaseDC(nullptr, screen);
  return ok;
}

HANDLE startProgram(const std::wstring& exe, const std::wstring& args, const std::wstring& folder) {
  std::wstring command = L"\"" + exe + L"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

bool unixLink(const std::wstring& target, const std::wstring& link) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return false;
  char* t = toUnix(target.c_str());
  char* l = toUnix(link.c_str());
  if (!t || !l) {
    HeapFree(GetProcessHeap(), 0, t);
    HeapFree(GetProcessHeap(), 0, l);
    return false;
  }
  std::wstring command =
      L"start.exe /wait /unix /bin/ln -s \"" + base::widen(t) + L"\" \"" + base::widen(l) + L"\"";
  HeapFree(GetProcessHeap(), 0, t);
  HeapFree(GetProcessHeap(), 0, l);
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return false;
  WaitForSingleObject(pi.hProcess, 30000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // start.exe may return before the Unix program has run.
  for (int i = 0; i < 100 && GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool importRegFile(const std::string& unixPath) {
  std::wstring command = L"regedit.exe /s \"" + dosPath(unixPath) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  const bool done = WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return done;
}

bool copyInto(const std::wstring& from, const std::wstring& folder, const std::wstring& name) {
  CreateDirectoryW(folder.c_str(), nullptr);
  return CopyFileW(from.c_str(), (folder + L"\\" + name).c_str(), FALSE) != FALSE;
}

int reportExitCode(int code) {
  wchar_t path[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"QELVARO_EXIT_FILE", path, MAX_PATH)) {
    if (FILE* f = _wfopen(path, L"w")) {
      fprintf(f, "%d\n", code);
      fclose(f);
    }
  }
  return code;
}

}  // namespace qelvaro::e2e

namespace qelvaro::e2e {

bool clickWhenEnabled(HWND button, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!IsWindowEnabled(button)) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
  PostMessageW(button, BM_CLICK, 0, 0);
  return true;
}

HWND chooseFolder(HWND main, HANDLE process, const std::wstring& folder, const std::string& shot) {
  // The first folder browser of a Wine prefix takes a while to build the shell's tree.
  HWND browser = waitForOwnedDialog(main, 90000);
  if (!browser) return nullptr;
  screenshot(shot + "-folder-browser");
  const std::size_t bytes = (folder.size() + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
  WriteProcessMemory(process, remote, folder.c_str(), bytes, nullptr);
  SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote));
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);  // read by the time SendMessage returns
  Sleep(200);
  PostMessageW(browser, WM_COMMAND, IDOK, 0);
  return browser;
}

std::wstring takeMessage(HWND done, const std::string& shot) {
  Sleep(200);
  screenshot(shot + "-done");
  wchar_t text[4096] = {};
  GetDlgItemTextW(done, 0xFFFF, text, 4096);
  PostMessageW(done, WM_COMMAND, IDOK, 0);
  Sleep(200);
  return text;
}

std::wstring pickFolderAndWait(HWND main, HANDLE process, const std::wstring& folder, const std::string& shot) {
  HWND browser = chooseFolder(main, process, folder, shot);
  if (!browser) return L"<no folder browser>";
  HWND done = waitForOwnedDialog(main, 120000, browser);
  if (!done) return L"<no end message>";
  return takeMessage(done, shot);
}

}  // namespace qelvaro::e2e
