// Starts Quorvak.exe on the demo prefix for a person to look at: waits for its
// window, puts back the demo display adapter that Wine's display driver drops when a
// program with windows starts, lets Quorvak scan again, and optionally takes a
// screenshot and closes it.
//   QelvaroDemo.exe QUORVAK.EXE [--screenshot NAME] [--close]

#include <windows.h>

#include <cstdio>
#include <string>

#include "e2e_support.h"
#include "frm_main.h"

using namespace qelvaro;

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    fwprintf(stderr, L"usage: QelvaroDemo.exe QUORVAK.EXE [--screenshot NAME] [--close]\n");
    return e2e::reportExitCode(2);
  }
  const std::wstring quorvak = argv[1];
  std::string shot;
  bool close = false;
  for (int i = 2; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--close") close = true;
    if (a == L"--screenshot" && i + 1 < argc) {
      const std::wstring name = argv[++i];
      shot.assign(name.begin(), name.end());
    }
  }
  const std::wstring folder = quorvak.substr(0, quorvak.find_last_of(L'\\'));
  HANDLE process = e2e::startProgram(quorvak, L"", folder);
  if (!process) {
    fwprintf(stderr, L"cannot start %ls\n", quorvak.c_str());
    return e2e::reportExitCode(1);
  }
  HWND main = e2e::waitForWindow(L"Qelvaro https://www.qelvaro.com", 60000);
  if (!main) {
    fwprintf(stderr, L"Quorvak's window did not appear\n");
    CloseHandle(process);
    return e2e::reportExitCode(1);
  }
  e2e::importRegFile(QELVARO_DEMO_REG);
  HWND check1 = GetDlgItem(main, kCheck1);
  SendMessageW(check1, BM_CLICK, 0, 0);
  SendMessageW(check1, BM_CLICK, 0, 0);
  Sleep(1000);
  if (!shot.empty() && !e2e::screenshot(shot)) fwprintf(stderr, L"no screenshot taken\n");
  if (close) {
    PostMessageW(main, WM_CLOSE, 0, 0);
    WaitForSingleObject(process, 20000);
  }
  CloseHandle(process);
  return e2e::reportExitCode(0);
}
