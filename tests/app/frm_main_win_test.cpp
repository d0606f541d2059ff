// The main window in this process: its controls and layout, and its handlers on a
// registry seeded from the inventory fixture.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "frm_main.h"
#include "inventory_expectations.h"
#include "qelvaro_version.h"
#include "win32_registry.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

namespace fixture = inventory_fixture;

class MainWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(e2e::importRegFile(std::string(QELVARO_FIXTURES_DIR) + "/registry/inventory.reg"));
    ASSERT_TRUE(FrmMain::RegisterWindowClasses(GetModuleHandleW(nullptr)));
  }
  void SetUp() override {
    frm_ = std::make_unique<FrmMain>(GetModuleHandleW(nullptr), registry_, fixture::kRoot);
    frm_->SetQuitOnDestroy(false);
    ASSERT_NE(frm_->Create(), nullptr);
    frm_->Show();
  }
  void click(FrmMainControl id) { SendMessageW(frm_->control(id), BM_CLICK, 0, 0); }

  Win32Registry registry_;
  std::unique_ptr<FrmMain> frm_;
};

TEST_F(MainWindow, LayoutCaptionsAndTabOrder) {
  HWND hwnd = frm_->hwnd();
  EXPECT_EQ(e2e::windowText(hwnd), L"Qelvaro https://www.qelvaro.com");
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_TRUE(style & WS_SYSMENU);

  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, TwipsToPixels(12495, dpi));
  EXPECT_EQ(client.bottom, TwipsToPixels(6990, dpi));
  const RECT grid = e2e::childRect(frm_->control(kCellGrid1));
  EXPECT_EQ(grid.left, 0);
  EXPECT_EQ(grid.top, TwipsToPixels(360, dpi));
  EXPECT_EQ(grid.right - grid.left, TwipsToPixels(12450, dpi));
  const RECT backup = e2e::childRect(frm_->control(kCmdDoBackup));
  EXPECT_EQ(backup.left, TwipsToPixels(10665, dpi));
  EXPECT_EQ(backup.top, TwipsToPixels(6465, dpi));

  EXPECT_EQ(e2e::windowText(frm_->control(kCmdDoBackup)), base::widen("\xE5\xBC\x80\xE5\xA7\x8B\xE5\xA4\x87\xE4\xBB\xBD"));
  EXPECT_EQ(e2e::windowText(frm_->control(kLabel1)), base::widen("\xE5\xA4\x87\xE4\xBB\xBD\xE6\x96\xB9\xE5\xBC\x8F:"));
  EXPECT_EQ(e2e::windowText(frm_->control(kLblStatus)), L"");
  HWND combo = frm_->control(kCombo1);
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
  wchar_t item[64] = {};
  SendMessageW(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(item));
  EXPECT_EQ(std::wstring(item), base::widen("\xE5\xA4\x87\xE4\xBB\xBD\xE9\xA9\xB1\xE5\x8A\xA8\xE4\xB8\xBA"
                                      "Zip\xE5\x8E\x8B\xE7\xBC\xA9\xE6\x96\x87\xE4\xBB\xB6"));

  // Tab order: the check box, then the buttons and the grid in the order they were laid out.
  const FrmMainControl order[] = {kCheck1, kCmdSelectAll, kCmdDoBackup, kCellGrid1,
                                  kCmdInvertSelection, kCombo1, kCommand1};
  HWND at = frm_->control(kCheck1);
  for (std::size_t i = 1; i < std::size(order); ++i) {
    at = GetNextDlgTabItem(hwnd, at, FALSE);
    EXPECT_EQ(GetDlgCtrlID(at), order[i]) << "tab stop " << i;
  }
  EXPECT_EQ(GetNextDlgTabItem(hwnd, at, FALSE), frm_->control(kCheck1));
}

TEST_F(MainWindow, LoadFilterAndSelectionButtons) {
  grid::CellGrid& g = frm_->grid();
  EXPECT_EQ(g.ItemCount(), 7);
  EXPECT_EQ(g.CheckedCount(), 7);
  EXPECT_EQ(g.CellText(0, 0), "Qelvaro Demo Graphics Adapter");
  EXPECT_EQ(g.CellText(6, 0), "After the long name");
  EXPECT_EQ(SendMessageW(frm_->control(kCheck1), BM_GETCHECK, 0, 0), BST_CHECKED);

  click(kCmdInvertSelection);
  EXPECT_EQ(g.CheckedCount(), 0);
  click(kCmdSelectAll);
  EXPECT_EQ(g.CheckedCount(), 7);
  g.SetRowChecked(2, false);

  click(kCheck1);  // the filter off: every driver with a description, all ticked again
  EXPECT_EQ(SendMessageW(frm_->control(kCheck1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(g.ItemCount(), 11);
  EXPECT_EQ(g.CheckedCount(), 11);
  EXPECT_EQ(frm_->DriverKeys().size(), 14u);
  click(kCheck1);
  EXPECT_EQ(g.ItemCount(), 7);
}

// The demo drivers under the real class root, as Quorvak.exe reads them at start.
TEST(MainWindowDemo, TheDemoDriversAllTickedAndMicrosoftsBehindTheFilter) {
  ASSERT_TRUE(e2e::importRegFile(std::string(QELVARO_FIXTURES_DIR) + "/registry/demo-drivers.reg"));
  ASSERT_TRUE(FrmMain::RegisterWindowClasses(GetModuleHandleW(nullptr)));
  const Win32Registry registry;
  FrmMain frm(GetModuleHandleW(nullptr), registry);
  frm.SetQuitOnDestroy(false);
  ASSERT_NE(frm.Create(), nullptr);
  grid::CellGrid& g = frm.grid();
  std::vector<std::string> rows;
  for (std::int32_t i = 0; i < g.ItemCount(); ++i) rows.push_back(g.CellText(i, 0));
  EXPECT_EQ(rows, (std::vector<std::string>{"Qelvaro Demo Graphics Adapter",
                                            "Qelvaro Demo Ethernet \xE4\xBB\xA5\xE5\xA4\xAA\xE7\xBD\x91"
                                            "\xE6\x8E\xA7\xE5\x88\xB6\xE5\x99\xA8",
                                            "Qelvaro Demo LaserJet 3000"}));
  EXPECT_EQ(g.CheckedCount(), g.ItemCount());

  SendMessageW(frm.control(kCheck1), BM_CLICK, 0, 0);
  bool microsoft = false;
  for (std::int32_t i = 0; i < g.ItemCount(); ++i) {
    microsoft = microsoft || g.CellText(i, 0) == "Microsoft Kernel Debug Network Adapter";
  }
  EXPECT_TRUE(microsoft);
  EXPECT_GT(g.ItemCount(), 3);  // the system's own drivers join (Wine has a display adapter)
  EXPECT_EQ(g.CheckedCount(), g.ItemCount());
  SendMessageW(frm.control(kCmdInvertSelection), BM_CLICK, 0, 0);
  EXPECT_EQ(g.CheckedCount(), 0);
  SendMessageW(frm.control(kCmdSelectAll), BM_CLICK, 0, 0);
  EXPECT_EQ(g.CheckedCount(), g.ItemCount());
}

TEST_F(MainWindow, AboutMessage) {
  std::wstring text;
  std::thread closer([&] {
    if (HWND box = e2e::waitForWindow(L"Quorvak", 10000, L"#32770")) {
      wchar_t buffer[256] = {};
      GetDlgItemTextW(box, 0xFFFF, buffer, 256);
      text = buffer;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  });
  click(kCommand1);
  closer.join();
  EXPECT_EQ(text, base::widen("Qelvaro " QELVARO_VERSION "\r\n\r\n\xE7\xBD\x91\xE5\x9D\x80\xEF\xBC\x9Ahttps://www.qelvaro.com"));
}

// A second click on the filter box that waits in the queue when a scan starts: the
// scan lets it run, and the list ends up matching the box.
TEST_F(MainWindow, AFilterClickDuringAScanLeavesTheListMatchingTheBox) {
  grid::CellGrid& g = frm_->grid();
  ASSERT_EQ(g.ItemCount(), 7);
  HWND check1 = frm_->control(kCheck1);
  PostMessageW(check1, BM_CLICK, 0, 0);  // handled while the scan below pumps
  click(kCheck1);
  EXPECT_EQ(SendMessageW(check1, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(g.ItemCount(), 7);
  EXPECT_FALSE(frm_->Running());
  EXPECT_TRUE(IsWindowEnabled(frm_->control(kCellGrid1)));
}

// A close request that arrives while a scan runs is refused with a message; the
// window and its grid stay.
TEST_F(MainWindow, ACloseDuringAScanIsRefused) {
  std::wstring text;
  std::thread closer([&] {
    if (HWND box = e2e::waitForWindow(base::widen("提示"), 10000, L"#32770")) {
      wchar_t buffer[256] = {};
      GetDlgItemTextW(box, 0xFFFF, buffer, 256);
      text = buffer;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  });
  PostMessageW(frm_->hwnd(), WM_CLOSE, 0, 0);  // handled while the scan below pumps
  click(kCheck1);
  closer.join();
  EXPECT_EQ(text, base::widen("正在扫描或备份驱动程序, 请等待完成后再关闭窗口."));
  ASSERT_TRUE(IsWindow(frm_->hwnd()));
  EXPECT_EQ(frm_->grid().ItemCount(), 11);
  // Idle again: a close closes.
  SendMessageW(frm_->hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(frm_->hwnd(), nullptr);
}

// Cancelling the folder browser ends the backup there: no run, so no end message,
// and nothing written where a run without a folder would write (the current drive's
// root, here the throwaway prefix's C:).
TEST_F(MainWindow, CancellingTheFolderBrowserWritesNothing) {
  auto written = [] {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(L"C:\\Quorvak*", &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    return true;
  };
  ASSERT_FALSE(written());
  wchar_t cwd[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\"));
  std::atomic<bool> returned{false};
  bool browsed = false;
  std::vector<std::wstring> messages;
  std::thread canceller([&] {
    HWND browser = e2e::waitForOwnedDialog(frm_->hwnd(), 90000);
    if (!browser) return;
    browsed = true;
    PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    // A run would end with a message box, which has to be closed for the click to return.
    while (!returned) {
      if (HWND box = e2e::waitForOwnedDialog(frm_->hwnd(), 200, browser))
        messages.push_back(e2e::takeMessage(box, "cancelled-browser"));
    }
  });
  click(kCmdDoBackup);
  returned = true;
  canceller.join();
  SetCurrentDirectoryW(cwd);
  EXPECT_TRUE(browsed);
  EXPECT_EQ(messages, std::vector<std::wstring>{});
  EXPECT_FALSE(written());
  EXPECT_FALSE(frm_->Running());
}

}  // namespace
}  // namespace qelvaro
