// Stands in for the program a package starts: writes its command line and working
// folder (UTF-8, one per line) to the file named by QSFX_RECORD, and ends with 7 (or
// QSFX_EXIT) so that a test sees the code come back through the stub's install mode. With
// QSFX_LINGER set it stays that many milliseconds after writing, as a restore program
// in use would.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int wmain() {
  wchar_t path[1024] = {};
  if (!GetEnvironmentVariableW(L"QSFX_RECORD", path, 1024)) return 1;
  wchar_t cwd[1024] = {};
  GetCurrentDirectoryW(1024, cwd);
  FILE* f = _wfopen(path, L"wb");
  if (!f) return 1;
  char buf[8192];
  WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, buf, sizeof buf, nullptr, nullptr);
  std::fprintf(f, "%s\n", buf);
  WideCharToMultiByte(CP_UTF8, 0, cwd, -1, buf, sizeof buf, nullptr, nullptr);
  std::fprintf(f, "%s\n", buf);
  std::fclose(f);
  wchar_t linger[32] = {};
  if (GetEnvironmentVariableW(L"QSFX_LINGER", linger, 32)) Sleep(static_cast<DWORD>(_wtoi(linger)));
  wchar_t exitCode[16] = {};
  return GetEnvironmentVariableW(L"QSFX_EXIT", exitCode, 16) ? _wtoi(exitCode) : 7;
}
