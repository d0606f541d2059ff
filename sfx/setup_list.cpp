// Stands in for the restore program in a self-extracting package until that program is
// carried: started with the unpack folder, it lists the drivers it finds there (one
// INF file in a driver folder below a class folder) and says plainly that it installs
// nothing.

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "setup_list_texts.h"

namespace qelvaro::setup_list {
namespace {

std::wstring widen(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring w(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
  return w;
}

std::vector<WIN32_FIND_DATAW> listFolder(const std::wstring& folder) {
  std::vector<WIN32_FIND_DATAW> found;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return found;
  do {
    if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..")) found.push_back(fd);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return found;
}

bool isFolder(const WIN32_FIND_DATAW& fd) {
  return (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool isInf(const std::wstring& name) {
  return name.size() > 4 && CompareStringOrdinal(name.c_str() + name.size() - 4, 4, L".inf", 4, TRUE) == CSTR_EQUAL;
}

// "class\driver (file.inf)" for every driver folder that holds an INF file.
std::vector<std::wstring> findDrivers(const std::wstring& root) {
  std::vector<std::wstring> drivers;
  for (const auto& cls : listFolder(root)) {
    if (!isFolder(cls)) continue;
    for (const auto& drv : listFolder(root + L"\\" + cls.cFileName)) {
      if (!isFolder(drv)) continue;
      for (const auto& f : listFolder(root + L"\\" + cls.cFileName + L"\\" + drv.cFileName)) {
        if (isFolder(f) || !isInf(f.cFileName)) continue;
        drivers.push_back(std::wstring(cls.cFileName) + L"\\" + drv.cFileName + L" (" + f.cFileName + L")");
      }
    }
  }
  std::sort(drivers.begin(), drivers.end());
  return drivers;
}

std::wstring folderArgument() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring folder;
  if (argv && argc > 1) folder = argv[1];
  if (argv) LocalFree(argv);
  if (folder.empty()) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    folder = self;
    folder.resize(folder.find_last_of(L'\\') == std::wstring::npos ? 0 : folder.find_last_of(L'\\'));
  }
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return folder;
}

}  // namespace
}  // namespace qelvaro::setup_list

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace qelvaro::setup_list;
  // Looked up: Windows 7 without KB2533623 lacks it, and a static import would stop
  // the program from starting there at all.
  using SetDirs = BOOL(WINAPI*)(DWORD);
  if (auto set = reinterpret_cast<SetDirs>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"))))
    set(LOAD_LIBRARY_SEARCH_SYSTEM32);
  else
    SetDllDirectoryW(L"");
  const std::wstring folder = folderArgument();
  const std::vector<std::wstring> drivers = findDrivers(folder);
  std::wstring text;
  if (drivers.empty()) {
    text = widen(kNone) + folder;
  } else {
    text = widen(kIntro) + L"\r\n" + folder + L"\r\n";
    constexpr std::size_t kShown = 30;
    for (std::size_t i = 0; i < drivers.size() && i < kShown; ++i) text += L"\r\n" + drivers[i];
    if (drivers.size() > kShown) {
      char more[128];
      std::snprintf(more, sizeof more, kMore, static_cast<int>(drivers.size() - kShown));
      text += L"\r\n" + widen(more);
    }
  }
  MessageBoxW(nullptr, text.c_str(), widen(kTitle).c_str(), MB_OK | MB_ICONINFORMATION);
  return drivers.empty() ? 1 : 0;
}
