// One CellGrid with every feature on: caption, row numbers, row check boxes and
// images, typed columns (number with totals, date, check box, progress, button,
// wrapped text), cell colours and fonts, a frozen column, a sort arrow, a hidden
// row, selection and the focus rectangle, Chinese text.
//
//   grid_demo.exe             shows the window until it is closed
//   grid_demo.exe DIR         saves a screenshot per header look (ThemeStyle 0-7), per
//                             colour scheme (ThemeColor 0-4) and one in the main window's
//                             fonts (character set 134) as DIR\grid_*.bmp, then exits
//   grid_demo.exe --dpi N DIR the screen set to N dots per inch, then two screenshots (the
//                             default look, and a gradient scheme with a gradient selection
//                             bar) as DIR\grid_dpiN_*.bmp
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "cell_grid_window.h"

using namespace qelvaro::grid;

namespace {

struct DemoHost : GridHost {
  GridFont AmbientFont() const override { return GridFont{"MS Shell Dlg 2", 9.0f}; }
};

HIMAGELIST makeImages() {
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 4, 0);
  const COLORREF colours[] = {RGB(200, 40, 40), RGB(40, 150, 40), RGB(40, 80, 200), RGB(220, 160, 0)};
  HDC screen = GetDC(nullptr);
  for (COLORREF c : colours) {
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all{0, 0, 16, 16};
    HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc, &all, magenta);
    DeleteObject(magenta);
    HBRUSH brush = CreateSolidBrush(c);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    Ellipse(dc, 1, 1, 15, 15);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteDC(dc);
    ImageList_AddMasked(list, bmp, RGB(255, 0, 255));
    DeleteObject(bmp);
  }
  ReleaseDC(nullptr, screen);
  return list;
}

std::shared_ptr<Win32Picture> makePicture() {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 32, 16);
  HGDIOBJ old = SelectObject(dc, bmp);
  TRIVERTEX v[2] = {{0, 0, 0xff00, 0x8000, 0, 0}, {32, 16, 0x2000, 0x4000, 0xff00, 0}};
  GRADIENT_RECT g{0, 1};
  GradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_H);
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return std::make_shared<Win32Picture>(bmp);
}

void fill(CellGridWindow& w) {
  CellGrid& g = w.grid();
  g.SetCaption("Qelvaro 驱动备份 — CellGrid demo");
  g.SetScaleUnits(3);
  g.SetShowRowNumbers(true);
  g.SetRowCheckBoxes(true);
  g.SetTotalsLineShow(true);
  g.SetAllowWordWrap(true);
  g.SetMultiSelect(true);
  g.SetAlphaBlendSelection(true);
  g.SetFocusRectMode(1);
  g.SetFocusRectStyle(2);
  g.SetColumnHeaderLines(2);
  g.SetGridLines(1);

  g.AddColumn("Driver description 驱动", 190);
  g.AddColumn("Size (KB)", 80, 6, datatype::Number, "#,##0.0");
  g.AddColumn("Date", 80, 4, datatype::Date, "yyyy-mm-dd");
  g.AddColumn("Signed", 50, 4, datatype::Boolean);
  g.AddColumn("Progress", 90, 4, datatype::Progress);
  g.AddColumn("Action", 60, 5, datatype::Button);
  g.AddColumn("Notes (wrapped)", 150, 0, datatype::Text, {}, {}, 4, true);
  g.AddColumn("Pic", 40, 4, datatype::Text, {}, {}, 5);

  const char* rows[] = {
      "Realtek PCIe GbE Family Controller\t1234.5\t2023-04-11\t1\t\tOpen\tNetwork adapter driver with a long note that wraps\t",
      "NVIDIA GeForce 显示适配器\t45210\t2024-01-20\t1\t\tOpen\tDisplay\t",
      "Intel(R) Serial IO I2C Host Controller\t88.25\t2022-11-02\t0\t\tOpen\tSystem devices\t",
      "HP LaserJet 打印机\t5120\t2021-07-30\t1\t\tOpen\tPrinter with files in numbered folders\t",
      "Hidden row\t1\t2020-01-01\t0\t\tOpen\t\t",
      "Synaptics Pointing Device\t730\t2023-09-09\t0\t\tOpen\tMouse\t",
      "Bluetooth 蓝牙 Adapter\t215.75\t2024-03-03\t1\t\tOpen\tRadio\t",
      "USB Composite Device\t12\t2019-05-05\t1\t\tOpen\tUSB\t",
      "Audio 音频 Controller\t980\t2022-02-22\t0\t\tOpen\tSound, video and game controllers\t",
      "Storage Controller\t3300\t2023-12-12\t1\t\tOpen\tDisk drives\t",
  };
  int i = 0;
  for (const char* r : rows) {
    g.AddItem(r, -1, i % 3 != 1);
    g.SetCellProgressValue(i, 4, (i * 23) % 101);
    ++i;
  }
  w.SetImageList(makeImages(), {"red", "green", "blue", "amber"});
  for (int r = 0; r < g.Rows(); ++r) g.SetRowImage(r, r % 4 + 1);
  g.SetRowVisible(4, false);
  g.SetCellBackColor(2, 0, RGB(255, 240, 200));
  g.SetCellForeColor(2, 1, RGB(200, 0, 0));
  g.SetCellFontBold(5, 0, true);
  g.SetCellFontItalic(6, 0, true);
  g.SetCellFontUnderline(7, 6, true);
  g.SetCellImage(8, 6, 3);
  g.CellPicture(makePicture(), 1, 7);
  g.SetTotalsLineCaption(0, "Total");
  g.SetTotalsLineCaption(1, "Σ");
  // The box sits by the column's alignment, the text (1 or 0) by the cells'.
  g.FormatCellsAlignment(0, -1, 3, 3, 6);
  g.SetFreezeAtCol(0);
  g.Sort(2, 2);  // replaced by the next primary: the Date header shows no arrow
  g.Sort(1, 2);
  g.SetRow(3);
  g.SetRowSelected(6, true);
  for (int r = 0; r < g.Rows(); ++r) w.display().SetRowHeight(r, -1);
  w.grid().SetRedraw(true);
}

bool saveShot(HWND window, const std::wstring& path) {
  RECT rc;
  GetWindowRect(window, &rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
  SelectObject(mem, old);
  BITMAPINFOHEADER bi = {};
  bi.biSize = sizeof bi;
  bi.biWidth = w;
  bi.biHeight = h;
  bi.biPlanes = 1;
  bi.biBitCount = 24;
  bi.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  std::string pixels(static_cast<std::size_t>(stride) * h, '\0');
  GetDIBits(mem, bmp, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER fh = {};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi;
  fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return false;
  fwrite(&fh, sizeof fh, 1, f);
  fwrite(&bi, sizeof bi, 1, f);
  fwrite(pixels.data(), 1, pixels.size(), f);
  fclose(f);
  return true;
}

void settle() {
  MSG msg;
  for (int i = 0; i < 20; ++i) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(20);
  }
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SIZE) {
    if (HWND grid = GetDlgItem(hwnd, 1)) MoveWindow(grid, 8, 8, LOWORD(lParam) - 16, HIWORD(lParam) - 16, TRUE);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

// The resolution is read when a process starts: the setting is written, then the demo
// runs itself again to take the screenshots.
int rerunAtDpi(DWORD dpi, const char* dir) {
  const DWORD value = dpi;
  for (auto [root, path] : {std::pair{HKEY_CURRENT_USER, L"Control Panel\\Desktop"},
                            std::pair{HKEY_CURRENT_CONFIG, L"Software\\Fonts"}}) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) return 3;
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
  }
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --shots-at " + std::to_wstring(dpi) + L" \"" +
                         std::wstring(dir, dir + std::strlen(dir)) + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 4;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--dpi") == 0) return rerunAtDpi(static_cast<DWORD>(std::atoi(argv[2])), argv[3]);
  // Drawn at the real resolution, as Quorvak.exe (whose manifest says so) is.
  SetProcessDPIAware();
  std::wstring dpiPrefix;
  if (argc >= 4 && std::strcmp(argv[1], "--shots-at") == 0) {
    dpiPrefix = L"dpi" + std::wstring(argv[2], argv[2] + std::strlen(argv[2])) + L"_";
    argv += 2;
    argc -= 2;
  }
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = FrameProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"GridDemoFrame";
  RegisterClassW(&wc);
  HWND frame = CreateWindowW(L"GridDemoFrame", L"Qelvaro CellGrid demo", WS_POPUP | WS_BORDER, 0, 0, 900, 470,
                             nullptr, nullptr, instance, nullptr);
  DemoHost host;
  CellGridWindow* grid = CellGridWindow::Create(frame, 1, 8, 8, 884, 454, &host);
  if (!grid) return 2;
  fill(*grid);
  ShowWindow(frame, SW_SHOW);
  UpdateWindow(frame);
  settle();

  if (argc < 2) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return 0;
  }
  const std::wstring dir = std::wstring(argv[1], argv[1] + std::strlen(argv[1]));
  int failures = 0;
  if (!dpiPrefix.empty()) {
    HDC screen = GetDC(nullptr);
    std::printf("screen at %d dpi\n", GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
    failures += !saveShot(frame, dir + L"\\grid_" + dpiPrefix + L"style_2.bmp");
    grid->grid().SetThemeStyle(3);
    grid->grid().SetThemeColor(0);
    // A gradient selection bar: the scheme gives its text the window text colour.
    grid->grid().SetFocusRowHighlightStyle(1);
    settle();
    failures += !saveShot(frame, dir + L"\\grid_" + dpiPrefix + L"scheme_0.bmp");
    DestroyWindow(frame);
    return failures == 0 ? 0 : 1;
  }
  grid->grid().SetThemeColor(0);
  for (int style = 0; style <= 7; ++style) {
    grid->grid().SetThemeStyle(style);
    settle();
    failures += !saveShot(frame, dir + L"\\grid_style_" + std::to_wstring(style) + L".bmp");
  }
  grid->grid().SetThemeStyle(3);
  for (int scheme = 0; scheme <= 4; ++scheme) {
    grid->grid().SetThemeColor(scheme);
    settle();
    failures += !saveShot(frame, dir + L"\\grid_scheme_" + std::to_wstring(scheme) + L".bmp");
  }
  // The main window's fonts: stored as 宋体 9 points in character set 134 (GB2312),
  // the cells then in bold Arial of the same set.
  GridFont song{"宋体", 9.0f};
  song.charset = 134;
  grid->grid().SetFontHeader(song);
  song.name = "Arial";
  song.bold = true;
  grid->grid().SetFont(song);
  for (int r = 0; r < grid->grid().Rows(); ++r) grid->display().SetRowHeight(r, -1);
  settle();
  failures += !saveShot(frame, dir + L"\\grid_charset_134.bmp");
  DestroyWindow(frame);
  std::printf("%d screenshots failed\n", failures);
  return failures == 0 ? 0 : 1;
}
