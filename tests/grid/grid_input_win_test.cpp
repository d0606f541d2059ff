// The grid window's input under Wine, through real window messages: capture during
// a press, the sizing cursor, ticks by mouse and keyboard, the edit box, the tooltip
// window and the drop target.
#include <gtest/gtest.h>
#include <ole2.h>

#include <string>

#include "cell_grid_window.h"

namespace qelvaro::grid {
namespace {

struct InputHost : GridHost {
  int checks = 0, columnClicks = 0;
  void RowCheckChanged(std::int32_t) override { ++checks; }
  void ColumnClick(std::int32_t) override { ++columnClicks; }
  GridFont AmbientFont() const override { return GridFont{"Tahoma", 8.25f}; }
};

void pump(DWORD forMs = 0) {
  const DWORD end = GetTickCount() + forMs;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (forMs) Sleep(10);
  } while (forMs && static_cast<LONG>(end - GetTickCount()) > 0);
}

struct InputWindow : ::testing::Test {
  InputHost host;
  HWND parent = CreateWindowW(L"STATIC", L"input test", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  CellGridWindow* w = CellGridWindow::Create(parent, 7, 0, 0, 600, 400, &host);
  HWND g = w->hwnd();

  void SetUp() override {
    CellGrid& grid = w->grid();
    grid.SetScaleUnits(3);
    grid.AddColumn("Name", 80);
    grid.AddColumn("Class", 120);
    for (int r = 0; r < 20; ++r) grid.AddItem("driver " + std::to_string(r) + " with a long name\tclass " + std::to_string(r));
    grid.SetRowCheckBoxes(true);
    grid.SetRedraw(true);
    SetFocus(g);
    pump();
  }
  void TearDown() override { DestroyWindow(parent); }
  LPARAM at(int x, int y) { return MAKELPARAM(x, y); }
  int rowY(int row) { return w->display().RowTop(row) + 4; }
  int colX(int pos, int dx = 30) { return w->display().Metrics().RowNumberWidth + w->display().ColumnLeft(pos) + dx; }
  void click(int x, int y) {
    SendMessageW(g, WM_MOUSEMOVE, 0, at(x, y));
    SendMessageW(g, WM_LBUTTONDOWN, MK_LBUTTON, at(x, y));
    SendMessageW(g, WM_LBUTTONUP, 0, at(x, y));
  }
  void key(WPARAM vk, wchar_t ch = 0, HWND to = nullptr) {
    SendMessageW(to ? to : g, WM_KEYDOWN, vk, 0);
    if (ch) SendMessageW(to ? to : g, WM_CHAR, ch, 0);
    SendMessageW(to ? to : g, WM_KEYUP, vk, 0);
  }
};

TEST_F(InputWindow, PressCapturesAndTheCheckBoxTicks) {
  const int x = w->display().Metrics().RowNumberWidth + 6;
  SendMessageW(g, WM_LBUTTONDOWN, MK_LBUTTON, at(x, rowY(3)));
  EXPECT_EQ(GetCapture(), g);
  SendMessageW(g, WM_LBUTTONUP, 0, at(x, rowY(3)));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_TRUE(w->grid().RowChecked(3));
  EXPECT_EQ(host.checks, 1);
  EXPECT_EQ(GetFocus(), g);

  // A click on the text makes the row current; Down then Space ticks the next row.
  click(colX(1), rowY(3));
  EXPECT_TRUE(w->grid().RowChecked(3));
  key(VK_DOWN);
  key(VK_SPACE, L' ');
  EXPECT_EQ(w->grid().Row(), 4);
  EXPECT_TRUE(w->grid().RowChecked(4));
  EXPECT_EQ(w->grid().CheckedCount(), 2);
}

TEST_F(InputWindow, ColumnBorderShowsTheSizingCursor) {
  w->grid().SetAllowColumnResizing(true);
  const int edge = colX(0, w->grid().Column(0).PixelWidth);
  const int y = w->display().Metrics().HeaderHeight - 4;
  SendMessageW(g, WM_MOUSEMOVE, 0, at(edge - 1, y));
  SendMessageW(g, WM_SETCURSOR, reinterpret_cast<WPARAM>(g), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_SIZEWE));
  SendMessageW(g, WM_LBUTTONDOWN, MK_LBUTTON, at(edge - 1, y));
  SendMessageW(g, WM_MOUSEMOVE, MK_LBUTTON, at(edge + 40, y));
  SendMessageW(g, WM_LBUTTONUP, 0, at(edge + 40, y));
  EXPECT_EQ(w->grid().Column(0).PixelWidth, 121);
  SendMessageW(g, WM_MOUSEMOVE, 0, at(colX(1), rowY(2)));
  SendMessageW(g, WM_SETCURSOR, reinterpret_cast<WPARAM>(g), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

TEST_F(InputWindow, EditBoxOpensOverTheCellAndEnterCommits) {
  w->grid().SetAllowEdit(true);
  click(colX(1), rowY(2));
  key(VK_F2);
  const HWND edit = w->EditWindow();
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(IsWindowVisible(edit));
  EXPECT_EQ(GetFocus(), edit);
  wchar_t text[64] = {};
  GetWindowTextW(edit, text, 64);
  EXPECT_STREQ(text, L"class 2");
  RECT er;
  GetWindowRect(edit, &er);
  MapWindowPoints(nullptr, g, reinterpret_cast<POINT*>(&er), 2);
  EXPECT_NEAR(er.top, w->display().RowTop(2), 2);
  SetWindowTextW(edit, L"edited");
  key(VK_RETURN, L'\r', edit);
  EXPECT_FALSE(IsWindowVisible(edit));
  EXPECT_EQ(w->grid().CellText(2, 1), "edited");
  EXPECT_EQ(GetFocus(), g);
}

// The backup reads the grid's cells, so a text typed and left by clicking elsewhere
// must already be in the cell.
TEST_F(InputWindow, AnOpenEditIsCommittedWhenTheFocusLeavesTheGrid) {
  const HWND other = CreateWindowW(L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 420, 100, 20, parent, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
  w->grid().SetAllowEdit(true);
  click(colX(1), rowY(4));
  key(VK_F2);
  const HWND edit = w->EditWindow();
  ASSERT_EQ(GetFocus(), edit);
  SetWindowTextW(edit, L"typed");
  SetFocus(other);
  pump();
  EXPECT_FALSE(IsWindowVisible(edit));
  EXPECT_EQ(w->grid().CellText(4, 1), "typed");
  EXPECT_FALSE(w->grid().EditPending());
}

TEST_F(InputWindow, CutOffTextGetsAFloatingToolTipAfterTheHover) {
  SendMessageW(g, WM_MOUSEMOVE, 0, at(colX(0), rowY(1)));
  pump(1800);
  const HWND tip = w->ToolTipWindow();
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(IsWindowVisible(tip));
  EXPECT_TRUE(GetWindowLongW(tip, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_EQ(GetParent(tip), nullptr);
  key(VK_DOWN);
  EXPECT_FALSE(IsWindowVisible(tip));
}

TEST_F(InputWindow, RegisteredAsADropTarget) {
  // Revoking succeeds only for a window that registered.
  EXPECT_EQ(RevokeDragDrop(g), S_OK);
}

}  // namespace
}  // namespace qelvaro::grid
