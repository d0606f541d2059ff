// The grid window under Wine: the class, the subclassed messages, scrolling through
// real scroll bars, and a few pixels of a real paint.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include "base/win32/wide_string.h"
#include "cell_grid_window.h"
#include "gdi_canvas.h"
#include "grid_error.h"
#include "win32_locale.h"

namespace qelvaro::grid {
namespace {

struct CountingHost : GridHost {
  int scrolls = 0, themeChanges = 0, enters = 0;
  std::vector<std::int32_t> rowData;
  void Scroll() override { ++scrolls; }
  void ThemeChanged() override { ++themeChanges; }
  void MouseEnter() override { ++enters; }
  void RequestRowData(std::int32_t row) override { rowData.push_back(row); }
  GridFont AmbientFont() const override { return GridFont{"Tahoma", 8.25f}; }
};

HWND makeParent() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"GridTestParent";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    RegisterClassW(&wc);
    registered = true;
  }
  HWND parent = CreateWindowW(L"GridTestParent", L"grid test", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  return parent;
}

void pump() {
  MSG msg;
  for (int i = 0; i < 200 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

struct WindowFixture : ::testing::Test {
  CountingHost host;
  HWND parent = makeParent();
  CellGridWindow* w = CellGridWindow::Create(parent, 101, 10, 10, 600, 400, &host);

  void TearDown() override { DestroyWindow(parent); }
  void fill(int rows, int cols = 3, float width = 1500) {
    CellGrid& g = w->grid();
    for (int c = 0; c < cols; ++c) g.AddColumn("Col " + std::to_string(c), width);
    for (int r = 0; r < rows; ++r) {
      std::string item;
      for (int c = 0; c < cols; ++c) item += (c ? "\t" : "") + std::to_string(r) + "-" + std::to_string(c);
      g.AddItem(item);
    }
    g.SetRedraw(true);
  }
  int scrollPos(int bar) {
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_POS;
    GetScrollInfo(w->hwnd(), bar, &si);
    return si.nPos;
  }
};

TEST(GridWindowClass, RegisteredOnceAndUsableByName) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  EXPECT_TRUE(RegisterCellGridClass(instance));
  EXPECT_TRUE(RegisterCellGridClass(instance));
  HWND parent = makeParent();
  // As a dialog template would create it: by class name only.
  HWND hwnd = CreateWindowExW(0, kCellGridClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 100, parent, nullptr,
                              instance, nullptr);
  ASSERT_TRUE(hwnd);
  CellGridWindow* w = CellGridWindow::FromHwnd(hwnd);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->hwnd(), hwnd);
  EXPECT_EQ(w->grid().AddColumn("A"), 0);
  EXPECT_EQ(CellGridWindow::FromHwnd(parent), nullptr);
  DestroyWindow(hwnd);
  EXPECT_EQ(CellGridWindow::FromHwnd(hwnd), nullptr);
  DestroyWindow(parent);
}

TEST_F(WindowFixture, SubclassedForItsOwnMessages) {
  ASSERT_TRUE(w);
  EXPECT_EQ(GetDlgCtrlID(w->hwnd()), 101);
  const MessageTable* after = w->subclasser().Table(w->hwnd(), MSG_AFTER);
  ASSERT_TRUE(after);
  for (int m : {WM_KILLFOCUS, WM_SETFOCUS, WM_MOUSEWHEEL, WM_MOUSEMOVE, WM_MOUSELEAVE, WM_MOUSEHOVER, WM_HSCROLL,
                WM_VSCROLL, WM_THEMECHANGED})
    EXPECT_TRUE(after->contains(m)) << m;
  EXPECT_EQ(w->subclasser().Table(w->hwnd(), MSG_BEFORE)->count(), 0);

  SendMessageW(w->hwnd(), WM_THEMECHANGED, 0, 0);
  EXPECT_EQ(host.themeChanges, 1);
  SendMessageW(w->hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  SendMessageW(w->hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(6, 5));
  EXPECT_EQ(host.enters, 1);
  EXPECT_TRUE(w->MouseInside());
}

TEST_F(WindowFixture, ScrollMessagesAndWheel) {
  fill(300, 6);
  pump();
  HWND h = w->hwnd();
  EXPECT_EQ(GetWindowLongW(h, GWL_STYLE) & WS_VSCROLL, WS_VSCROLL);
  SendMessageW(h, WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(w->display().RowFirstVisible(), 1);
  EXPECT_EQ(scrollPos(SB_VERT), 1);
  SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
  EXPECT_EQ(w->display().RowFirstVisible(), 4);
  SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_EQ(w->display().RowFirstVisible(), 1);
  SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(-WHEEL_DELTA)), 0);
  EXPECT_EQ(scrollPos(SB_HORZ), 1);
  SendMessageW(h, WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(w->display().RowFirstVisible(), 6);
  SendMessageW(h, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(w->display().RowLastVisible(), 299);
  EXPECT_EQ(host.rowData.back(), 299);
  SendMessageW(h, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(w->display().RowFirstVisible(), 0);
  EXPECT_EQ(host.scrolls, 7);

  // Standard bars on request; the same scrolling through them.
  w->grid().SetScrollBarStyle(1);
  EXPECT_TRUE(w->display().ScrollBars().UsingStandard());
  SendMessageW(h, WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(scrollPos(SB_VERT), 1);
  // Switching the style hides and shows the bars; the resize that follows puts the
  // window back at the top (no current row).
  w->grid().SetScrollBarStyle(0);
  const int before = w->display().RowFirstVisible();
  SendMessageW(h, WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(w->display().RowFirstVisible(), before + 1);
  EXPECT_EQ(scrollPos(SB_VERT), before + 1);

  // A grid that fits shows no vertical bar.
  w->grid().Clear();
  w->grid().AddItem("only");
  w->grid().SetRedraw(true);
  EXPECT_EQ(GetWindowLongW(h, GWL_STYLE) & WS_VSCROLL, 0);
}

TEST_F(WindowFixture, PaintShowsSelectionAndCheckedBoxes) {
  CellGrid& g = w->grid();
  g.SetBackColorSel(RGB(10, 200, 30));
  g.SetBackColorEvenRowsEnabled(false);
  g.SetRowCheckBoxes(true);
  fill(10, 2, 1500);
  g.SetRowChecked(0, true);
  g.SetRow(3);  // selects row 3
  g.Refresh();
  UpdateWindow(w->hwnd());
  pump();
  const GridMetrics& m = w->display().Metrics();
  const int rowTop = [&](int row) { return m.HeaderHeight + row * m.RowHeightDefault; }(3);
  HDC dc = GetDC(w->hwnd());
  // Right end of the first column of row 3: no text there, only the selection bar.
  const int x = w->grid().Column(0).PixelWidth - 10;
  EXPECT_EQ(GetPixel(dc, x, rowTop + m.RowHeightDefault / 2), RGB(10, 200, 30));
  EXPECT_EQ(GetPixel(dc, x, m.HeaderHeight + m.RowHeightDefault / 2), GetSysColor(COLOR_WINDOW));
  // Dark pixels of a check mark in row 0's box, none in row 1's.
  const auto dark = [&](int row) {
    int n = 0;
    const int top = m.HeaderHeight + row * m.RowHeightDefault;
    for (int yy = top; yy < top + m.RowHeightDefault; ++yy)
      for (int xx = 3; xx < m.CheckBoxSize; ++xx) {
        const COLORREF c = GetPixel(dc, xx, yy);
        n += GetRValue(c) < 64 && GetGValue(c) < 64 && GetBValue(c) < 64;
      }
    return n;
  };
  const int checked = dark(0), unchecked = dark(1);
  ReleaseDC(w->hwnd(), dc);
  EXPECT_GT(checked, unchecked + 5);
}

// A left click through the system's input queue, at a point of the window.
void clickAt(HWND hwnd, int x, int y) {
  POINT p{x, y};
  ClientToScreen(hwnd, &p);
  SetCursorPos(p.x, p.y);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
  for (int i = 0; i < 20; ++i) {
    pump();
    Sleep(10);
  }
}

TEST_F(WindowFixture, BorderAppearanceAndEnabledReachTheWindow) {
  HWND h = w->hwnd();
  const auto clientEdge = [&] { return (GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0; };
  const auto border = [&] { return (GetWindowLongPtrW(h, GWL_STYLE) & WS_BORDER) != 0; };
  const auto clientWidth = [&] {
    RECT rc = {};
    GetClientRect(h, &rc);
    return rc.right - rc.left;
  };
  // The defaults, BorderStyle 1 and Appearance 1, give the sunken edge.
  EXPECT_TRUE(clientEdge());
  EXPECT_FALSE(border());
  const int sunken = clientWidth();
  EXPECT_LT(sunken, 600);
  w->grid().SetAppearance(0);
  EXPECT_FALSE(clientEdge());
  EXPECT_TRUE(border());
  EXPECT_GT(clientWidth(), sunken);
  w->grid().SetBorderStyle(0);
  EXPECT_FALSE(clientEdge());
  EXPECT_FALSE(border());
  EXPECT_EQ(clientWidth(), 600);

  // Disabled, the window gets no input: a real click leaves the focus where it was.
  fill(5);
  SetForegroundWindow(parent);
  SetFocus(parent);
  clickAt(h, 100, 60);
  ASSERT_EQ(GetFocus(), h) << "an enabled grid takes the focus on a click";
  w->grid().SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(h));
  SetFocus(parent);
  clickAt(h, 100, 60);
  EXPECT_EQ(GetFocus(), parent);
  w->grid().SetEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(h));
}

// The canvas keeps each drawn style part as an image and copies it afterwards. The
// copy must look as the style's own drawing does over the same background, also
// where the part lets it show through (a check box's corners, a header's edges).
TEST(ThemeParts, CopiesLookAsTheStyleDrawsThemOverAnyBackground) {
  ASSERT_TRUE(IsAppThemed()) << "the test prefix has a visual style";
  HWND window = makeParent();
  constexpr int kW = 160, kH = 40;
  struct Surface {
    HDC dc = CreateCompatibleDC(nullptr);
    std::uint32_t* bits = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    Surface() {
      BITMAPINFO info = {};
      info.bmiHeader = BITMAPINFOHEADER{sizeof info.bmiHeader, kW, -kH, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
      bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
      old = SelectObject(dc, bitmap);
      for (int i = 0; i < kW * kH; ++i) bits[i] = (i % 7) * 0x102030u + (i / kW) * 0x050301u;  // stripes
    }
    ~Surface() {
      SelectObject(dc, old);
      DeleteObject(bitmap);
      DeleteDC(dc);
    }
  };
  const struct {
    const char* themeClass;
    int part, state;
    RECT r;
  } parts[] = {{"Button", 3, 1, {2, 2, 22, 22}},  {"Button", 3, 5, {30, 5, 50, 35}},
               {"Header", 1, 1, {60, 0, 140, 20}}, {"Header", 1, 2, {60, 20, 150, 40}},
               {"Button", 1, 1, {-5, 25, 40, 40}}};
  Surface direct, copied;
  GdiCanvas canvas(copied.dc, window);
  for (const auto& p : parts) {
    HTHEME theme = OpenThemeData(window, base::widen(p.themeClass).c_str());
    ASSERT_NE(theme, nullptr) << p.themeClass;
    const Rect r{p.r.left, p.r.top, p.r.right, p.r.bottom};
    // Twice, over itself: the first draw makes the image, the second only copies it.
    for (int i = 0; i < 2; ++i) {
      DrawThemeBackground(theme, direct.dc, p.part, p.state, &p.r, nullptr);
      EXPECT_TRUE(canvas.ThemePart(p.themeClass, p.part, p.state, r));
    }
    CloseThemeData(theme);
  }
  GdiFlush();
  const Surface background;
  int drawn = 0, worst = 0;
  for (int i = 0; i < kW * kH; ++i) {
    drawn += direct.bits[i] != background.bits[i];
    for (int shift = 0; shift < 24; shift += 8)
      worst = std::max(worst, std::abs(int((direct.bits[i] >> shift) & 255) - int((copied.bits[i] >> shift) & 255)));
  }
  DestroyWindow(window);
  EXPECT_GT(drawn, 1000) << "the parts were drawn at all";
  EXPECT_LE(worst, 2) << "largest difference of a colour channel";
}

// Fonts are made in the character set the grid's font was stored with (the main
// window's is 134, GB2312), and in the default set only when none was stored.
TEST(GdiFonts, MadeInTheStoredCharacterSetOrTheDefaultOne) {
  HDC dc = CreateCompatibleDC(nullptr);
  {
    GdiCanvas canvas(dc, nullptr);
    const struct {
      std::optional<std::int16_t> stored;
      BYTE made;
    } cases[] = {{134, GB2312_CHARSET}, {std::nullopt, DEFAULT_CHARSET}, {0, ANSI_CHARSET}};
    for (const auto& c : cases) {
      CanvasFont font{"\xE5\xAE\x8B\xE4\xBD\x93", 9.0f};  // 宋体
      font.charset = c.stored;
      canvas.SetFont(font);
      LOGFONTW lf = {};
      ASSERT_TRUE(GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof lf, &lf));
      EXPECT_EQ(lf.lfCharSet, c.made) << c.stored.value_or(-1);
      if (c.stored == 134) {
        EXPECT_EQ(GetTextCharset(dc), GB2312_CHARSET) << "a font of that set was chosen";
      }
    }
  }
  DeleteDC(dc);
}

// An image list's keys name its images for ExpandRowImage; refused keys leave the
// list with its caller.
TEST_F(WindowFixture, ImageKeysNameTheExpandRowImage) {
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24, 2, 0);
  ASSERT_TRUE(list);
  ASSERT_TRUE(ImageList_SetImageCount(list, 2));
  EXPECT_THROW(w->SetImageList(list, {"open", "open"}), GridError);
  EXPECT_EQ(w->display().ImageList(), nullptr);
  EXPECT_EQ(ImageList_GetImageCount(list), 2);  // still alive, still the caller's
  w->SetImageList(list, {"open", "fold"});
  w->display().SetExpandRowImage("fold");
  EXPECT_EQ(w->display().ExpandRowImageIndex(), 2);
  w->display().SetExpandRowImage(-1);
  EXPECT_EQ(w->display().ExpandRowImage(), (std::variant<std::int16_t, std::string>(std::string("open"))));
}

TEST(GridWindowLocale, UserLocaleComparesUppercasesAndReadsNumbers) {
  const Locale& l = Win32Locale::user();
  EXPECT_EQ(l.compareNoCase("driver", "DRIVER"), 0);
  EXPECT_LT(l.compareNoCase("alpha", "Beta"), 0);
  EXPECT_LT(l.sortKey("alpha"), l.sortKey("BETA"));
  EXPECT_EQ(l.sortKey("Gamma"), l.sortKey("gAMMA"));
  EXPECT_EQ(l.upper("ä driver"), "Ä DRIVER");
  EXPECT_EQ(l.parseNumber("12.5"), 12.5);
  EXPECT_EQ(l.info(4097), "English");
}

}  // namespace
}  // namespace qelvaro::grid
