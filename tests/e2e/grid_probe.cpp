// Looks into a running Quorvak.exe for the real-input test, which moves the X pointer
// and types with xdotool: where a grid cell is on screen, and a backup run through the
// folder browser.
//   QelvaroProbe.exe cell ROW POSITION [DX] [DY]   prints "X Y" (screen pixels)
//   QelvaroProbe.exe backup FOLDER TARGET OUTFILE  runs a backup, writes the end message (UTF-8)
//   QelvaroProbe.exe close

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "cell_grid_window.h"
#include "e2e_support.h"
#include "frm_main.h"

using namespace qelvaro;

namespace {

const wchar_t kCaption[] = L"Qelvaro https://www.qelvaro.com";

int cell(HWND main, int row, int position, int dx, int dy) {
  HWND grid = GetDlgItem(main, kCellGrid1);
  const LRESULT at = SendMessageW(grid, grid::CellPointMessage(), static_cast<WPARAM>(row), position);
  if (at == -1) {
    fprintf(stderr, "cell %d,%d is not on screen\n", row, position);
    return 1;
  }
  POINT p{static_cast<short>(LOWORD(at)) + dx, static_cast<short>(HIWORD(at)) + dy};
  ClientToScreen(grid, &p);
  printf("%ld %ld\n", p.x, p.y);
  return 0;
}

int backup(HWND main, const std::wstring& folder, int target, const std::wstring& outFile) {
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  if (!process) return 1;
  CreateDirectoryW(folder.c_str(), nullptr);
  SendMessageW(GetDlgItem(main, kCombo1), CB_SETCURSEL, static_cast<WPARAM>(target), 0);
  if (!e2e::clickWhenEnabled(GetDlgItem(main, kCmdDoBackup), 60000)) return 1;
  const std::wstring text = e2e::pickFolderAndWait(main, process, folder, "xinput-backup");
  CloseHandle(process);
  FILE* out = _wfopen(outFile.c_str(), L"wb");
  if (!out) return 1;
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
  fwrite(utf8.data(), 1, utf8.size(), out);
  fclose(out);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  HWND main = e2e::waitForWindow(kCaption, 60000);
  if (!main) {
    fprintf(stderr, "no Quorvak window\n");
    return 1;
  }
  if (command == L"cell" && argc >= 4)
    return cell(main, _wtoi(argv[2]), _wtoi(argv[3]), argc > 4 ? _wtoi(argv[4]) : 30, argc > 5 ? _wtoi(argv[5]) : 6);
  if (command == L"backup" && argc >= 5) return backup(main, argv[2], _wtoi(argv[3]), argv[4]);
  if (command == L"close") {
    PostMessageW(main, WM_CLOSE, 0, 0);
    return 0;
  }
  return 2;
}
