// Quorvak.exe as a user starts it, inside a Wine virtual desktop: it puts qzip.dll
// next to itself and registers it, shows its window with the drivers of the demo set,
// answers its buttons, and closes. Screenshots go to build/screenshots.

#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <fstream>
#include <memory>
#include <vector>
#include <sstream>

#include "base/format_text.h"
#include "base/win32/wide_string.h"
#include "e2e_support.h"
#include "frm_main.h"
#include "backup_texts.h"
#include "frm_main_texts.h"
#include "qelvaro_version.h"

namespace qelvaro::e2e {
namespace {

const std::wstring kCaption = L"Qelvaro https://www.qelvaro.com";
const std::wstring kFolder = L"C:\\Program Files\\Qelvaro";

std::string readAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::wstring registeredQzip() {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Qelvaro\\Components\\qzip", L"Path", RRF_RT_REG_SZ, nullptr,
                   buffer, &size) != ERROR_SUCCESS)
    return {};
  return buffer;
}

// Wine's display driver rebuilds the display class key whenever a program with
// windows starts, dropping the demo display adapter laid in before: put the entries
// back once the window is up, and let the program scan again (the filter box, twice).
void reimportDemoRegistry(HWND main) {
  ASSERT_TRUE(importRegFile(std::string(QELVARO_FIXTURES_DIR) + "/registry/demo-drivers.reg"));
  HWND check1 = GetDlgItem(main, kCheck1);
  SendMessageW(check1, BM_CLICK, 0, 0);
  SendMessageW(check1, BM_CLICK, 0, 0);
  ASSERT_EQ(SendMessageW(check1, BM_GETCHECK, 0, 0), BST_CHECKED);
}

// Quorvak.exe copied into the program folder and started, its window found. The
// process is ended when the test ends unless it has exited by then.
struct RunningQuorvak {
  HANDLE process = nullptr;
  HWND main = nullptr;
  std::unique_ptr<ProcessGuard> guard;
};

void startQuorvak(RunningQuorvak& q) {
  ASSERT_TRUE(copyInto(dosPath(QELVARO_QUORVAK_EXE), kFolder, L"Quorvak.exe"));
  q.process = startProgram(kFolder + L"\\Quorvak.exe", L"", kFolder);
  ASSERT_NE(q.process, nullptr);
  q.guard = std::make_unique<ProcessGuard>(q.process);
  q.main = waitForWindow(kCaption, 30000);
  ASSERT_NE(q.main, nullptr) << "no main window";
}

TEST(Quorvak, StartsShowsTheDriversAndCloses) {
  RunningQuorvak quorvak;
  ASSERT_NO_FATAL_FAILURE(startQuorvak(quorvak));
  HANDLE process = quorvak.process;
  HWND main = quorvak.main;
  reimportDemoRegistry(main);
  // The carried component, written whole next to the program and registered.
  EXPECT_EQ(readAll(kFolder + L"\\qzip.dll"), readAll(dosPath(QELVARO_QZIP_DLL)));
  EXPECT_EQ(CompareStringOrdinal(registeredQzip().c_str(), -1, (kFolder + L"\\qzip.dll").c_str(), -1, TRUE),
            CSTR_EQUAL);

  HWND check1 = GetDlgItem(main, kCheck1);
  EXPECT_EQ(SendMessageW(check1, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(GetDlgItem(main, kCombo1), CB_GETCOUNT, 0, 0), 3);
  Sleep(500);
  screenshot("main-window");

  // A click on the second row's class cell makes it current: the cell gets the focus
  // rectangle of an editable grid.
  HWND grid = GetDlgItem(main, kCellGrid1);
  const LRESULT cell = SendMessageW(grid, RegisterWindowMessageW(L"QelvaroCellGrid.CellPoint"), 1, 1);
  ASSERT_NE(cell, -1);
  const LPARAM inCell = MAKELPARAM(LOWORD(cell) + 20, HIWORD(cell) + 5);
  SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, inCell);
  SendMessageW(grid, WM_LBUTTONUP, 0, inCell);
  Sleep(300);
  screenshot("main-window-current-cell");

  // Untick the filter: Microsoft's drivers join the list.
  SendMessageW(check1, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(check1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  Sleep(300);
  screenshot("main-window-all-drivers");
  // The signature column, last: scrolled into view.
  SendMessageW(grid, WM_HSCROLL, SB_RIGHT, 0);
  Sleep(300);
  screenshot("main-window-signature-column");
  SendMessageW(grid, WM_HSCROLL, SB_LEFT, 0);

  PostMessageW(GetDlgItem(main, kCommand1), BM_CLICK, 0, 0);
  HWND about = waitForOwnedDialog(main, 10000);
  ASSERT_NE(about, nullptr);
  Sleep(300);
  screenshot("about-message");
  PostMessageW(about, WM_COMMAND, IDOK, 0);

  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  EXPECT_EQ(code, 0u);
}

// The demo set's files, as the backup must hold them: driver folder, name, and the
// file it was taken from (read with the real System32 in view).
struct Expected {
  const char* folder;
  const char* name;
  const wchar_t* source;
};

#define kDisplayPackage L"C:\\windows\\system32\\DriverStore\\FileRepository\\qvdisp.inf_amd64_8d2f0c1e4a6b3957"
#define kExtensionPackage L"C:\\windows\\system32\\DriverStore\\FileRepository\\qvdispx.inf_amd64_5c0e7a91d3f24b68"
#define kNetPackage L"C:\\windows\\system32\\DriverStore\\FileRepository\\qvnet.inf_amd64_neutral_3b9e6d0c2f714a85"

const Expected kDemoBackup[] = {
    // Packages in the driver store are taken whole, as the store keeps them.
    {"Display\\Qelvaro Demo Graphics Adapter", "qvdisp.inf", kDisplayPackage L"\\qvdisp.inf"},
    {"Display\\Qelvaro Demo Graphics Adapter", "qvdisp.cat", kDisplayPackage L"\\qvdisp.cat"},
    {"Display\\Qelvaro Demo Graphics Adapter", "qvdisp.sys", kDisplayPackage L"\\qvdisp.sys"},
    {"Display\\Qelvaro Demo Graphics Adapter", "um\\qvdisp_um.dll", kDisplayPackage L"\\um\\qvdisp_um.dll"},
    {"Display\\Qelvaro Demo Graphics Adapter", "qvdisp.hlp", kDisplayPackage L"\\qvdisp.hlp"},
    {"Display\\Qelvaro Demo Graphics Adapter", "qvdisp.v2.sys", kDisplayPackage L"\\qvdisp.v2.sys"},
    // The extension INF for the display adapter's board goes with it.
    {"Extension\\Qelvaro Demo Graphics Board Extension", "qvdispx.inf", kExtensionPackage L"\\qvdispx.inf"},
    {"Extension\\Qelvaro Demo Graphics Board Extension", "qvdispx.cat", kExtensionPackage L"\\qvdispx.cat"},
    {"Extension\\Qelvaro Demo Graphics Board Extension", "qvdispx.dll", kExtensionPackage L"\\qvdispx.dll"},
    {"Net\\Qelvaro Demo Ethernet \xE4\xBB\xA5\xE5\xA4\xAA\xE7\xBD\x91\xE6\x8E\xA7\xE5\x88\xB6\xE5\x99\xA8", "qvnet.inf", kNetPackage L"\\qvnet.inf"},
    {"Net\\Qelvaro Demo Ethernet \xE4\xBB\xA5\xE5\xA4\xAA\xE7\xBD\x91\xE6\x8E\xA7\xE5\x88\xB6\xE5\x99\xA8", "qvnet.cat", kNetPackage L"\\qvnet.cat"},
    {"Net\\Qelvaro Demo Ethernet \xE4\xBB\xA5\xE5\xA4\xAA\xE7\xBD\x91\xE6\x8E\xA7\xE5\x88\xB6\xE5\x99\xA8", "qvnet.sys", kNetPackage L"\\qvnet.sys"},
    {"Net\\Qelvaro Demo Ethernet \xE4\xBB\xA5\xE5\xA4\xAA\xE7\xBD\x91\xE6\x8E\xA7\xE5\x88\xB6\xE5\x99\xA8", "qvnetco.dll", kNetPackage L"\\qvnetco.dll"},
    {"Net\\Qelvaro Demo Ethernet \xE4\xBB\xA5\xE5\xA4\xAA\xE7\xBD\x91\xE6\x8E\xA7\xE5\x88\xB6\xE5\x99\xA8", "qvnet.ini", kNetPackage L"\\qvnet.ini"},
    {"Printer\\Qelvaro Demo LaserJet 3000", "oem5.inf", L"C:\\windows\\inf\\oem5.inf"},
    {"Printer\\Qelvaro Demo LaserJet 3000", "qvprint.cat",
     L"C:\\windows\\system32\\CatRoot\\{127D0A1D-4EF2-11D1-8608-00C04FC295EE}\\qvprint.cat"},
    {"Printer\\Qelvaro Demo LaserJet 3000", "qvprint.gpd", L"C:\\windows\\system32\\spool\\drivers\\w32x86\\3\\qvprint.gpd"},
    {"Printer\\Qelvaro Demo LaserJet 3000", "qvprintui.dll",
     L"C:\\windows\\system32\\spool\\drivers\\w32x86\\3\\qvprintui.dll"},
    {"Printer\\Qelvaro Demo LaserJet 3000", "qvprintres.dll",
     L"C:\\windows\\system32\\spool\\drivers\\w32x86\\3\\qvprintres.dll"},
    {"Printer\\Qelvaro Demo LaserJet 3000", "qvprint.chm", L"C:\\windows\\system32\\spool\\drivers\\w32x86\\qvprint.chm"},
};

std::string readReal(const std::wstring& path) {
  PVOID old = nullptr;
  const BOOL off = Wow64DisableWow64FsRedirection(&old);
  std::string bytes = readAll(path);
  if (off) Wow64RevertWow64FsRedirection(old);
  return bytes;
}

// Every file of a folder tree, relative to it, sorted.
void listTree(const std::wstring& base, const std::wstring& relative, std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((base + relative + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) listTree(base, relative + L"\\" + name, out);
    else out.push_back(relative + L"\\" + name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(out.begin(), out.end());
}

// Clicks the backup button, picks `folder` in the real folder browser (the path is
// written into Quorvak's memory for BFFM_SETSELECTION), and returns the end message.
// The width of the progress fill on screen: the columns of the progress picture whose
// middle pixel is the fill's blue rather than the window's background.
int progressFillOnScreen(HWND main) {
  HWND picture = GetDlgItem(main, kProgress);
  RECT r{};
  GetWindowRect(picture, &r);
  HDC screen = GetDC(nullptr);
  const int y = (r.top + r.bottom) / 2;
  int filled = 0;
  for (int x = r.left + 1; x < r.right - 1; ++x) {
    const COLORREF c = GetPixel(screen, x, y);
    if (GetBValue(c) > GetRValue(c) + 60) ++filled;
  }
  ReleaseDC(nullptr, screen);
  return filled;
}

std::wstring runBackup(HWND main, HANDLE process, const std::wstring& folder, const std::string& shot,
                       std::vector<int>* fills = nullptr) {
  // A scan still running (slow on a loaded machine) keeps the button off.
  if (!clickWhenEnabled(GetDlgItem(main, kCmdDoBackup), 60000)) {
    ADD_FAILURE() << "the backup button stayed disabled";
    return L"<button disabled>";
  }
  HWND browser = chooseFolder(main, process, folder, shot);
  if (!browser) {
    screenshot(shot + "-no-browser");
    ADD_FAILURE() << "no folder browser; windows:\n" << describeWindows(GetProcessId(process));
    return L"<no folder browser>";
  }
  HWND done = nullptr;
  if (fills) {
    // Watch the progress picture while the run goes, with a screenshot at the first
    // two widths between empty and full.
    int shots = 0;
    bool verifyingShot = false;
    const std::wstring verifying = qelvaro::base::widen(texts::kVerifying);
    for (int i = 0; i < 1200 && !done; ++i) {
      Sleep(50);
      if (!verifyingShot && windowText(GetDlgItem(main, kLblStatus)) == verifying) {
        verifyingShot = true;
        screenshot(shot + "-verifying");
      }
      const int fill = progressFillOnScreen(main);
      if (fills->empty() || fills->back() != fill) {
        fills->push_back(fill);
        if (fill > 0 && shots < 2) screenshot(shot + "-progress-" + std::to_string(++shots));
      }
      done = waitForOwnedDialog(main, 0, browser);
    }
  } else {
    Sleep(150);
    screenshot(shot + "-running");
  }
  if (!done) done = waitForOwnedDialog(main, 60000, browser);
  if (!done) {
    ADD_FAILURE() << "no end message; windows:\n" << describeWindows(GetProcessId(process));
    return L"<no end message>";
  }
  return takeMessage(done, shot);
}

// At 150% scaling the window and its controls are laid out from twips at 144 dpi.
TEST(Quorvak, LaysOutItsWindowAtTheScreensDpi) {
  HKEY desktop = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &desktop), ERROR_SUCCESS);
  const DWORD dpi = 144;
  RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
  RegCloseKey(desktop);

  RunningQuorvak quorvak;
  ASSERT_NO_FATAL_FAILURE(startQuorvak(quorvak));
  HANDLE process = quorvak.process;
  HWND main = quorvak.main;
  Sleep(500);
  screenshot("main-window-144dpi");
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, MulDiv(12495, 144, 1440));
  EXPECT_EQ(client.bottom, MulDiv(6990, 144, 1440));
  const RECT backup = childRect(GetDlgItem(main, kCmdDoBackup));
  EXPECT_EQ(backup.left, MulDiv(10665, 144, 1440));
  EXPECT_EQ(backup.bottom - backup.top, MulDiv(375, 144, 1440));
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process, 20000), WAIT_OBJECT_0);

  const DWORD normal = 96;
  RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &desktop);
  RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&normal), sizeof normal);
  RegCloseKey(desktop);
}

// A driver binary of `size` bytes that does not compress (a fixed pseudo-random
// sequence), written into the real System32.
void writeLargeDriverFile(const wchar_t* path, std::size_t size) {
  PVOID old = nullptr;
  const BOOL off = Wow64DisableWow64FsRedirection(&old);
  HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (off) Wow64RevertWow64FsRedirection(old);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<std::uint32_t> block(1 << 18);
  std::uint32_t x = 2463534242u;
  for (std::size_t done = 0; done < size; done += block.size() * 4) {
    for (auto& w : block) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      w = x;
    }
    DWORD written = 0;
    WriteFile(h, block.data(), static_cast<DWORD>(block.size() * 4), &written, nullptr);
  }
  CloseHandle(h);
}

const std::wstring kSuccessText = qelvaro::base::widen(
    "\xE6\x81\xAD\xE5\x96\x9C\xEF\xBC\x8C\xE9\xA9\xB1\xE5\x8A\xA8\xE7\xA8\x8B\xE5\xBA\x8F\xE6\x96\x87"
    "\xE4\xBB\xB6\xE5\xA4\x87\xE4\xBB\xBD\xE5\x88\x9B\xE5\xBB\xBA\xE6\x88\x90\xE5\x8A\x9F\xEF\xBC\x81.");

// The end message without its last paragraph, which must say that the backup was read
// back and every file matched ("已校验 N 个文件, ..."); a message without it is returned
// marked, so that it compares unequal.
// The message without its verify block: the line that everything matched, or, when
// `refused` names files, the block listing exactly those as files whose catalog leaves
// them out (a driver file the test replaced after its package was signed).
std::wstring withoutVerifiedLine(const std::wstring& text, const std::vector<std::string>& refused = {}) {
  const std::string pattern = refused.empty() ? texts::kVerifyAllMatch : texts::kVerifyMismatch;
  const std::wstring head = L"\r\n\r\n" + qelvaro::base::widen(pattern.substr(0, pattern.find("{0}")));
  const auto at = text.rfind(head);
  if (at == std::wstring::npos) return text + L" <not verified>";
  if (refused.empty()) {
    const std::wstring tail = qelvaro::base::widen(pattern.substr(pattern.find("{0}") + 3));
    if (text.size() < tail.size() || text.compare(text.size() - tail.size(), tail.size(), tail) != 0) {
      return text + L" <not verified>";
    }
    return text.substr(0, at);
  }
  std::wstring expected = qelvaro::base::widen(FormatText(texts::kVerifyMismatch, {std::to_string(refused.size()), "N"}));
  std::wstring block = text.substr(at + 4);
  // The count of files checked varies with the test; the lines must not.
  const auto n = expected.find(L"N");
  const auto close = block.find(L")", n);
  if (close == std::wstring::npos || block.compare(0, n, expected, 0, n) != 0) return text + L" <other verify block>";
  block = block.substr(close + 2);
  std::wstring lines;
  for (const std::string& path : refused) {
    const std::wstring line = qelvaro::base::widen(path) + L" (Windows ";
    if (block.rfind(L"\r\n", 0) != 0 || block.compare(2, line.size(), line) != 0) {
      return text + L" <other verify lines>";
    }
    const auto end = block.find(L"\r\n", 2);
    block = end == std::wstring::npos ? std::wstring() : block.substr(end);
  }
  return block.empty() ? text.substr(0, at) : text + L" <more verify lines>";
}

// The display driver's large file, replaced by the tests after its package was signed.
const std::vector<std::string> kReplacedFile{"Display/Qelvaro Demo Graphics Adapter/um/qvdisp_um.dll"};

TEST(Quorvak, BacksUpTheDemoSetToAFolderAndToAZipFile) {
  RunningQuorvak quorvak;
  ASSERT_NO_FATAL_FAILURE(startQuorvak(quorvak));
  HANDLE process = quorvak.process;
  HWND main = quorvak.main;
  reimportDemoRegistry(main);

  // The folder target: the tree, file by file.
  CreateDirectoryW(L"C:\\Backups", nullptr);
  EXPECT_EQ(withoutVerifiedLine(runBackup(main, process, L"C:\\Backups", "backup-folder")), kSuccessText);
  const std::wstring root = L"C:\\Backups\\Quorvak";
  std::vector<std::wstring> expected;
  for (const Expected& e : kDemoBackup) {
    const std::wstring relative = L"\\" + qelvaro::base::widen(e.folder) + L"\\" + qelvaro::base::widen(e.name);
    expected.push_back(relative);
    const std::string source = readReal(e.source);
    EXPECT_FALSE(source.empty()) << "demo source missing: " << e.name;
    const std::string copy = readAll(root + relative);
    EXPECT_TRUE(copy == source) << e.name << ": " << copy.size() << " bytes, source " << source.size();
  }
  // Written last: what the backup holds, and every file's checksum.
  expected.push_back(L"\\SHA256SUMS");
  expected.push_back(L"\\backup.json");
  std::sort(expected.begin(), expected.end());
  std::vector<std::wstring> found;
  listTree(root, L"", found);
  EXPECT_EQ(found, expected);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main, kCmdDoBackup)));

  // The Zip target: Quorvak.zip next to where the root was, the root gone. A large
  // driver file makes the packing last long enough to watch the progress picture move.
  writeLargeDriverFile(kDisplayPackage L"\\um\\qvdisp_um.dll", 160u << 20);
  SendMessageW(GetDlgItem(main, kCombo1), CB_SETCURSEL, 1, 0);
  CreateDirectoryW(L"C:\\ZipBackups", nullptr);
  std::vector<int> fills;
  EXPECT_EQ(withoutVerifiedLine(runBackup(main, process, L"C:\\ZipBackups", "backup-zip", &fills), kReplacedFile), kSuccessText);
  // Packed through the qzip.dll the program wrote and registered: the report has no word of the linked one.
  EXPECT_EQ(readAll(L"C:\\ZipBackups\\Quorvak " + qelvaro::base::widen("备份报告.txt")).find("qzip.dll"), std::string::npos);
  RECT picture{};
  GetClientRect(GetDlgItem(main, kProgress), &picture);
  int between = 0;
  std::string seen;
  for (const int fill : fills) {
    seen += std::to_string(fill) + " ";
    if (fill > 0 && fill < picture.right - 4) ++between;
  }
  EXPECT_GE(between, 2) << "the progress picture should move through partial widths; seen: " << seen;
  EXPECT_EQ(GetFileAttributesW(L"C:\\ZipBackups\\Quorvak"), INVALID_FILE_ATTRIBUTES);
  const std::string zip = readAll(L"C:\\ZipBackups\\Quorvak.zip");
  ASSERT_GT(zip.size(), 100u);
  EXPECT_EQ(zip.substr(0, 2), "PK");
  for (const Expected& e : kDemoBackup) {
    std::string entry = std::string(e.folder) + "/" + e.name;
    std::replace(entry.begin(), entry.end(), '\\', '/');
    EXPECT_NE(zip.find(entry), std::string::npos) << entry;
  }

  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
}

// A file in the real (64-bit) System32 or anywhere else, folders made as needed.
void writeReal(const std::wstring& path, const std::string& bytes) {
  PVOID old = nullptr;
  const BOOL off = Wow64DisableWow64FsRedirection(&old);
  for (std::size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  }
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (off) Wow64RevertWow64FsRedirection(old);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot write " << std::string(path.begin(), path.end());
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

void setClassValue(const std::wstring& key, const wchar_t* name, const std::string& value) {
  HKEY h = nullptr;
  const std::wstring path = L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr),
            ERROR_SUCCESS);
  const std::wstring w = qelvaro::base::widen(value);
  RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                 static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
}

// Two imaging drivers whose INFs carry the forms that real INFs use: a catalog named
// only for each architecture with a comment after it, a commented directory id, files
// listed only in architecture sections, a quoted name; and one whose catalog and one
// file are nowhere on the machine.
void layImagingDrivers(HWND main) {
  const std::wstring sys = L"C:\\windows\\system32\\";
  const std::wstring catRoot = sys + L"CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\";
  ASSERT_NO_FATAL_FAILURE(writeReal(L"C:\\windows\\inf\\oem7.inf",
      "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Image\r\nProvider=%Vendor%\r\n"
      "CatalogFile.NTx86 = qvscan32.cat\r\nCatalogFile.NTamd64 = qvscan.cat ; signed for 64-bit Windows\r\n"
      "[DestinationDirs]\r\nDefaultDestDir = 12 ; DIRID_DRIVERS\r\n"
      "[SourceDisksFiles.x86]\r\nqvscan32.sys = 1,\\x86\r\n"
      "[SourceDisksFiles.amd64]\r\nqvscan.sys = 1,\\x64\r\n\"qvscan umdf.dll\" = 1,\\x64 ; user-mode part\r\n"
      "[SourceDisksFiles]\r\nqvscan.ini = 1\r\n"
      "[Strings]\r\nVendor = \"Qelvaro Demo Imaging\"\r\n"));
  ASSERT_NO_FATAL_FAILURE(writeReal(L"C:\\windows\\inf\\oem8.inf",
      "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile = qvcam.cat ; not installed\r\n"
      "[DestinationDirs]\r\nDefaultDestDir = 11\r\n[SourceDisksFiles]\r\nqvcam.dll = 1\r\nqvcamgone.dll = 1\r\n"));
  ASSERT_NO_FATAL_FAILURE(writeReal(sys + L"drivers\\qvscan.sys", "qvscan 64-bit driver"));
  ASSERT_NO_FATAL_FAILURE(writeReal(sys + L"drivers\\qvscan umdf.dll", "qvscan user-mode part"));
  ASSERT_NO_FATAL_FAILURE(writeReal(sys + L"qvscan.ini", "qvscan settings"));
  ASSERT_NO_FATAL_FAILURE(writeReal(catRoot + L"qvscan.cat", "qvscan catalog"));
  ASSERT_NO_FATAL_FAILURE(writeReal(sys + L"drivers\\qvscan32.sys", "32-bit driver, not for this machine"));
  ASSERT_NO_FATAL_FAILURE(writeReal(catRoot + L"qvscan32.cat", "32-bit catalog, not for this machine"));
  ASSERT_NO_FATAL_FAILURE(writeReal(sys + L"qvcam.dll", "qvcam"));
  const std::wstring image = L"{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
  ASSERT_NO_FATAL_FAILURE(setClassValue(image, L"Class", "Image"));
  ASSERT_NO_FATAL_FAILURE(setClassValue(image + L"\\0100", L"DriverDesc", "Qelvaro Demo Scanner"));
  ASSERT_NO_FATAL_FAILURE(setClassValue(image + L"\\0100", L"ProviderName", "Qelvaro Demo Imaging"));
  ASSERT_NO_FATAL_FAILURE(setClassValue(image + L"\\0100", L"InfPath", "oem7.inf"));
  ASSERT_NO_FATAL_FAILURE(setClassValue(image + L"\\0101", L"DriverDesc", "Qelvaro Demo Camera"));
  ASSERT_NO_FATAL_FAILURE(setClassValue(image + L"\\0101", L"ProviderName", "Qelvaro Demo Imaging"));
  ASSERT_NO_FATAL_FAILURE(setClassValue(image + L"\\0101", L"InfPath", "oem8.inf"));
  ASSERT_NO_FATAL_FAILURE(reimportDemoRegistry(main));
}

// Takes the imaging drivers out of the registry again, so that the later tests see the
// demo set alone.
struct ImagingDriversRemoved {
  ~ImagingDriversRemoved() {
    for (const wchar_t* instance : {L"0100", L"0101"}) {
      RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                     (std::wstring(L"SYSTEM\\CurrentControlSet\\Control\\Class\\{6bdd1fc6-810f-11d0-bec7-08002be2092f}\\") +
                      instance)
                         .c_str());
    }
  }
};

TEST(Quorvak, BacksUpEveryFileOfRealInfFormsAndNamesWhatIsMissing) {
  const ImagingDriversRemoved cleanup;
  RunningQuorvak quorvak;
  ASSERT_NO_FATAL_FAILURE(startQuorvak(quorvak));
  HWND main = quorvak.main;
  ASSERT_NO_FATAL_FAILURE(layImagingDrivers(main));

  CreateDirectoryW(L"C:\\FormsBackup", nullptr);
  const std::wstring text = runBackup(main, quorvak.process, L"C:\\FormsBackup", "backup-inf-forms");
  const std::wstring report = L"C:\\FormsBackup\\Quorvak " + qelvaro::base::widen("备份报告.txt");
  // Windows would refuse the camera (its catalog is missing) and the scanner (its
  // catalog is no catalog) as the verify after the backup says.
  EXPECT_EQ(withoutVerifiedLine(text, {kReplacedFile.front(), "Image/Qelvaro Demo Camera/qvcam.cat",
                                       "Image/Qelvaro Demo Scanner/qvscan.cat"}),
            qelvaro::base::widen("备份已创建, 但有 0 个驱动程序和 2 个文件未能备份:\r\n"
                            "“Qelvaro Demo Camera” (oem8.inf): 2 个文件未找到: qvcam.cat, qvcamgone.dll\r\n\r\n"
                            "完整列表见: ") + report);

  const std::wstring scanner = L"C:\\FormsBackup\\Quorvak\\Image\\Qelvaro Demo Scanner";
  std::vector<std::wstring> files;
  listTree(scanner, L"", files);
  EXPECT_EQ(files, (std::vector<std::wstring>{L"\\oem7.inf", L"\\qvscan umdf.dll", L"\\qvscan.cat", L"\\qvscan.ini",
                                              L"\\qvscan.sys"}));
  EXPECT_EQ(readAll(scanner + L"\\qvscan.sys"), "qvscan 64-bit driver");
  EXPECT_EQ(readAll(scanner + L"\\qvscan.cat"), "qvscan catalog");
  files.clear();
  listTree(L"C:\\FormsBackup\\Quorvak\\Image\\Qelvaro Demo Camera", L"", files);
  EXPECT_EQ(files, (std::vector<std::wstring>{L"\\oem8.inf", L"\\qvcam.dll"}));

  // The report lies beside the backup, not in it, and names every file.
  const std::string written = readAll(report);
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(written.find("[完整] “Qelvaro Demo Scanner” (oem7.inf)"), std::string::npos) << written;
  EXPECT_NE(written.find("    已备份 qvscan.cat <- "), std::string::npos) << written;
  EXPECT_NE(written.find("    已备份 qvscan umdf.dll <- "), std::string::npos) << written;
  EXPECT_NE(written.find("[部分] “Qelvaro Demo Camera” (oem8.inf)"), std::string::npos) << written;
  EXPECT_NE(written.find("    未找到 qvcamgone.dll, 查找位置: "), std::string::npos) << written;
  EXPECT_NE(written.find("[完整] “Qelvaro Demo Graphics Adapter” (oem3.inf)"), std::string::npos) << written;
  EXPECT_EQ(written.find("qvscan32"), std::string::npos);

  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(quorvak.process, 20000), WAIT_OBJECT_0);
}

std::wstring dialogText(HWND box) {
  wchar_t text[2048] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 2048);
  return text;
}

TEST(Quorvak, RefusesToCloseWhileABackupRunsAndFinishesIt) {
  RunningQuorvak quorvak;
  ASSERT_NO_FATAL_FAILURE(startQuorvak(quorvak));
  HWND main = quorvak.main;
  reimportDemoRegistry(main);
  ASSERT_NO_FATAL_FAILURE(writeLargeDriverFile(kDisplayPackage L"\\um\\qvdisp_um.dll", 160u << 20));
  SendMessageW(GetDlgItem(main, kCombo1), CB_SETCURSEL, 1, 0);
  CreateDirectoryW(L"C:\\CloseBackup", nullptr);
  ASSERT_TRUE(clickWhenEnabled(GetDlgItem(main, kCmdDoBackup), 60000));
  HWND browser = chooseFolder(main, quorvak.process, L"C:\\CloseBackup", "close");
  ASSERT_NE(browser, nullptr) << describeWindows(GetProcessId(quorvak.process));

  // Once the packing runs, ask the window to close, as the title bar's X does.
  const std::wstring zipping = qelvaro::base::widen(texts::kZipping);
  for (int i = 0; i < 3000 && windowText(GetDlgItem(main, kLblStatus)) != zipping; ++i) Sleep(10);
  ASSERT_EQ(windowText(GetDlgItem(main, kLblStatus)), zipping);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(main, kCellGrid1)));
  PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  HWND busy = waitForOwnedDialog(main, 20000, browser);
  ASSERT_NE(busy, nullptr) << describeWindows(GetProcessId(quorvak.process));
  Sleep(200);
  screenshot("close-during-backup");
  EXPECT_EQ(dialogText(busy), qelvaro::base::widen(texts::kBusy));
  EXPECT_TRUE(IsWindow(main));
  PostMessageW(busy, WM_COMMAND, IDOK, 0);

  // Reading the archive back is still the backup: a close is refused as well.
  const std::wstring verifying = qelvaro::base::widen(texts::kVerifying);
  for (int i = 0; i < 12000 && windowText(GetDlgItem(main, kLblStatus)) != verifying; ++i) Sleep(5);
  ASSERT_EQ(windowText(GetDlgItem(main, kLblStatus)), verifying);
  screenshot("close-during-verify");
  PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  HWND busyAgain = nullptr;
  for (int i = 0; i < 200 && !busyAgain; ++i) {
    Sleep(100);
    HWND box = waitForOwnedDialog(main, 0, browser);
    if (box && box != busy) busyAgain = box;
  }
  ASSERT_NE(busyAgain, nullptr) << describeWindows(GetProcessId(quorvak.process));
  EXPECT_EQ(dialogText(busyAgain), qelvaro::base::widen(texts::kBusy));
  PostMessageW(busyAgain, WM_COMMAND, IDOK, 0);
  Sleep(300);

  HWND done = nullptr;
  for (int i = 0; i < 1200 && !done; ++i) {
    Sleep(100);
    HWND box = waitForOwnedDialog(main, 0, browser);
    if (box && box != busy && box != busyAgain) done = box;
  }
  ASSERT_NE(done, nullptr) << "no end message; windows:\n" << describeWindows(GetProcessId(quorvak.process));
  EXPECT_EQ(withoutVerifiedLine(dialogText(done), kReplacedFile), kSuccessText);
  PostMessageW(done, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(IsWindow(main));
  EXPECT_EQ(WaitForSingleObject(quorvak.process, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // still running
  EXPECT_EQ(readAll(L"C:\\CloseBackup\\Quorvak.zip").substr(0, 2), "PK");
  EXPECT_EQ(GetFileAttributesW(L"C:\\CloseBackup\\Quorvak"), INVALID_FILE_ATTRIBUTES);
  Sleep(300);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main, kCellGrid1)));

  // Idle again: now the window closes.
  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(quorvak.process, 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(quorvak.process, &code);
  EXPECT_EQ(code, 0u);
}

// The folder a packed backup was collected in ("<parent>\Quorvak.collect-1a2b3c4d"), or "".
std::wstring collectingFolder(const std::wstring& parent) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((parent + L"\\Quorvak.collect-*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return L"";
  FindClose(find);
  return parent + L"\\" + data.cFileName;
}

TEST(Quorvak, AZipLeavesAnEarlierQuorvakFolderAloneAndAFailedOneKeepsTheFiles) {
  RunningQuorvak quorvak;
  ASSERT_NO_FATAL_FAILURE(startQuorvak(quorvak));
  HWND main = quorvak.main;
  reimportDemoRegistry(main);
  // A Quorvak folder of the user's own where the package goes: neither packed nor
  // emptied, even while another process holds a file in it open.
  const std::wstring held = L"C:\\HeldZip\\Quorvak\\notes.txt";
  ASSERT_NO_FATAL_FAILURE(writeReal(held, "kept from an earlier run"));
  HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  SendMessageW(GetDlgItem(main, kCombo1), CB_SETCURSEL, 1, 0);
  const std::wstring text = runBackup(main, quorvak.process, L"C:\\HeldZip", "backup-zip-held");
  CloseHandle(holder);
  EXPECT_EQ(withoutVerifiedLine(text, kReplacedFile), kSuccessText);
  EXPECT_EQ(collectingFolder(L"C:\\HeldZip"), L"") << "the run's own folder is gone";
  const std::string zip = readAll(L"C:\\HeldZip\\Quorvak.zip");
  EXPECT_EQ(zip.find("notes.txt"), std::string::npos);
  for (const Expected& e : kDemoBackup) {
    std::string entry = std::string(e.folder) + "/" + e.name;
    std::replace(entry.begin(), entry.end(), '\\', '/');
    EXPECT_NE(zip.find(entry), std::string::npos) << entry;
  }
  std::vector<std::wstring> left;
  listTree(L"C:\\HeldZip\\Quorvak", L"", left);
  EXPECT_EQ(left, std::vector<std::wstring>{L"\\notes.txt"});

  // A folder where the archive should go: the packing fails, says so, and the
  // collected files stay; no success is claimed.
  CreateDirectoryW(L"C:\\BlockedZip", nullptr);
  CreateDirectoryW(L"C:\\BlockedZip\\Quorvak.zip", nullptr);
  const std::wstring failure = runBackup(main, quorvak.process, L"C:\\BlockedZip", "backup-zip-blocked");
  EXPECT_EQ(failure.rfind(qelvaro::base::widen(texts::kZipFailed), 0), 0u);
  HWND kept = waitForOwnedDialog(main, 20000);
  ASSERT_NE(kept, nullptr) << describeWindows(GetProcessId(quorvak.process));
  const std::wstring collected = collectingFolder(L"C:\\BlockedZip");
  ASSERT_NE(collected, L"");
  EXPECT_EQ(dialogText(kept), qelvaro::base::widen("驱动程序文件已保留在: ") + collected);
  PostMessageW(kept, WM_COMMAND, IDOK, 0);
  left.clear();
  listTree(collected, L"", left);
  EXPECT_EQ(left.size(), std::size(kDemoBackup) + 2);  // with backup.json and SHA256SUMS
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(quorvak.process, 20000), WAIT_OBJECT_0);
}

// The self-extracting target: the package lands in the chosen folder, built from the
// program's own stub whatever lies next to the program, and, run, unpacks and starts
// the restore program with its folder. A stub that cannot be written is named and
// leaves the backup in place.
TEST(Quorvak, BacksUpTheDemoSetAsASelfExtractingPackage) {
  // A program folder nothing can be written to (as root Wine ignores permissions: the
  // files are held open without write sharing), holding another program as sfx.bin
  // and a qzip.dll it did not write (a stale copy, which would register).
  const std::string foreign = readAll(L"C:\\windows\\system32\\notepad.exe");
  ASSERT_GT(foreign.size(), 1000u);
  ASSERT_NO_FATAL_FAILURE(writeReal(kFolder + L"\\sfx.bin", foreign));
  ASSERT_NO_FATAL_FAILURE(writeReal(kFolder + L"\\qzip.dll", readAll(dosPath(QELVARO_QZIP_DLL))));
  std::vector<HANDLE> held;
  for (const wchar_t* name : {L"\\sfx.bin", L"\\qzip.dll"}) {
    held.push_back(CreateFileW((kFolder + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Qelvaro\\Components\\qzip");
  // Its temporary folder is one the test can take away later.
  const std::wstring ownTemp = L"C:\\QuorvakTemp";
  CreateDirectoryW(ownTemp.c_str(), nullptr);
  wchar_t oldTemp[MAX_PATH + 1] = {};
  GetEnvironmentVariableW(L"TEMP", oldTemp, MAX_PATH + 1);
  SetEnvironmentVariableW(L"TEMP", ownTemp.c_str());
  SetEnvironmentVariableW(L"TMP", ownTemp.c_str());
  RunningQuorvak quorvak;
  startQuorvak(quorvak);
  SetEnvironmentVariableW(L"TEMP", oldTemp);
  SetEnvironmentVariableW(L"TMP", oldTemp);
  ASSERT_NE(quorvak.main, nullptr);
  EXPECT_EQ(registeredQzip(), L"") << "a component it could not write is not registered";
  HANDLE process = quorvak.process;
  HWND main = quorvak.main;
  reimportDemoRegistry(main);
  // A large driver file keeps the packing going long enough to see the status line.
  writeLargeDriverFile(kDisplayPackage L"\\um\\qvdisp_um.dll", 96u << 20);
  SendMessageW(GetDlgItem(main, kCombo1), CB_SETCURSEL, 2, 0);
  CreateDirectoryW(L"C:\\SfxBackups", nullptr);
  std::vector<int> fills;
  EXPECT_EQ(withoutVerifiedLine(runBackup(main, process, L"C:\\SfxBackups", "backup-sfx", &fills), kReplacedFile), kSuccessText);
  EXPECT_EQ(GetFileAttributesW(L"C:\\SfxBackups\\Quorvak"), INVALID_FILE_ATTRIBUTES) << "the root is gone";
  for (HANDLE h : held) CloseHandle(h);
  // Packed by the linked-in component, which the report says once.
  const std::string sfxReport = readAll(L"C:\\SfxBackups\\Quorvak " + qelvaro::base::widen("备份报告.txt"));
  const std::string unused = "压缩组件 qzip.dll 不可用: 无法写入 ";
  const auto first = sfxReport.find(unused);
  EXPECT_NE(first, std::string::npos) << sfxReport;
  EXPECT_EQ(sfxReport.find(unused, first + 1), std::string::npos);
  EXPECT_TRUE(readAll(kFolder + L"\\sfx.bin") == foreign);
  EXPECT_EQ(GetFileAttributesW((kFolder + L"\\icon.ico").c_str()), INVALID_FILE_ATTRIBUTES);
  std::vector<std::wstring> left;
  listTree(ownTemp, L"", left);
  EXPECT_TRUE(left.empty()) << "the stub's folder is gone";
  const std::string package = readAll(L"C:\\SfxBackups\\Quorvak.exe");
  ASSERT_GT(package.size(), 100000u);
  EXPECT_EQ(package.substr(0, 2), "MZ");
  // Its icon is the package icon, image by image.
  const std::string ico = readAll(dosPath(QELVARO_PACKAGE_ICO));
  ASSERT_GT(ico.size(), 22u);
  HMODULE icons = LoadLibraryExW(L"C:\\SfxBackups\\Quorvak.exe", nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(icons, nullptr);
  const int images = static_cast<unsigned char>(ico[4]) | (static_cast<unsigned char>(ico[5]) << 8);
  for (int i = 0; i < images; ++i) {
    const auto* e = reinterpret_cast<const unsigned char*>(ico.data() + 6 + 16 * i);
    const std::uint32_t size = e[8] | (e[9] << 8) | (e[10] << 16) | (static_cast<std::uint32_t>(e[11]) << 24);
    const std::uint32_t at = e[12] | (e[13] << 8) | (e[14] << 16) | (static_cast<std::uint32_t>(e[15]) << 24);
    HRSRC r = FindResourceW(icons, MAKEINTRESOURCEW(i + 1), RT_ICON);
    ASSERT_NE(r, nullptr) << "image " << i + 1;
    EXPECT_EQ(std::string(static_cast<const char*>(LockResource(LoadResource(icons, r))), SizeofResource(icons, r)),
              ico.substr(at, size)) << "image " << i + 1;
  }
  EXPECT_NE(FindResourceW(icons, MAKEINTRESOURCEW(1), RT_GROUP_ICON), nullptr);
  FreeLibrary(icons);

  // Run as a user would: no prompt; the restore program shows up with its folder.
  HANDLE run = startProgram(L"C:\\SfxBackups\\Quorvak.exe", L"", L"C:\\SfxBackups");
  ASSERT_NE(run, nullptr);
  ProcessGuard runGuard(run);
  HWND restore = waitForWindow(qelvaro::base::widen("驱动还原 Qelvaro " QELVARO_VERSION), 60000);
  ASSERT_NE(restore, nullptr) << "the restore program did not start";
  Sleep(800);
  screenshot("sfx-restore-program");
  // The restore program lists the three demo drivers and the display driver's
  // extension in its grid, one row each.
  HWND restoreGrid = FindWindowExW(restore, nullptr, L"QelvaroCellGrid", nullptr);
  ASSERT_NE(restoreGrid, nullptr);
  const UINT cellPoint = RegisterWindowMessageW(L"QelvaroCellGrid.CellPoint");
  EXPECT_NE(SendMessageW(restoreGrid, cellPoint, 3, 0), -1);
  EXPECT_EQ(SendMessageW(restoreGrid, cellPoint, 4, 0), -1);
  PostMessageW(restore, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(run, 20000), WAIT_OBJECT_0);
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  // The package unpacked into a folder of its own there, _sfxDriverSetup\sfx-XXXXXXXX.
  std::wstring unpacked = std::wstring(temp) + L"_sfxDriverSetup";
  WIN32_FIND_DATAW own{};
  HANDLE found = FindFirstFileW((unpacked + L"\\sfx-*").c_str(), &own);
  ASSERT_NE(found, INVALID_HANDLE_VALUE) << "no unpack folder of the package's own";
  FindClose(found);
  unpacked += L"\\" + std::wstring(own.cFileName);
  for (const Expected& e : kDemoBackup) {
    const std::wstring file = unpacked + L"\\" + qelvaro::base::widen(e.folder) + L"\\" + qelvaro::base::widen(e.name);
    EXPECT_TRUE(readAll(file) == readReal(e.source)) << e.name;
  }

  // The stub cannot be written (a file stands where its temporary folder was): the
  // failed write is named, no success follows, and the collected files stay.
  RemoveDirectoryW(ownTemp.c_str());
  ASSERT_NO_FATAL_FAILURE(writeReal(ownTemp, "in the way"));
  CreateDirectoryW(L"C:\\SfxBackups2", nullptr);
  const std::wstring failed = runBackup(main, process, L"C:\\SfxBackups2", "backup-sfx-failed");
  EXPECT_EQ(failed.rfind(qelvaro::base::widen("失败. 无法写入创建自解压文件所需的文件 ") + ownTemp + L"\\Quorvak.sfx-*: ", 0), 0u)
      << qelvaro::base::narrow(failed);
  HWND kept = waitForOwnedDialog(main, 20000);
  ASSERT_NE(kept, nullptr);
  Sleep(200);
  screenshot("backup-sfx-failed-kept");
  wchar_t text[4096] = {};
  GetDlgItemTextW(kept, 0xFFFF, text, 4096);
  const std::wstring collected = collectingFolder(L"C:\\SfxBackups2");
  ASSERT_NE(collected, L"");
  EXPECT_NE(std::wstring(text).find(collected), std::wstring::npos);
  PostMessageW(kept, WM_COMMAND, IDOK, 0);
  EXPECT_NE(GetFileAttributesW((collected + L"\\Display").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(L"C:\\SfxBackups2\\Quorvak.exe"), INVALID_FILE_ATTRIBUTES);
  DeleteFileW(ownTemp.c_str());

  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace qelvaro::e2e

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return qelvaro::e2e::reportExitCode(RUN_ALL_TESTS());
}
