// Geometry and scrolling of the grid display, natively against the doubles.
#include <gtest/gtest.h>

#include "display_test_support.h"
#include "grid_error.h"

namespace qelvaro::grid::testing {
namespace {

TEST(DisplayMetrics, RowHeightHeaderAndCaptionFollowTheHeaderFont) {
  DisplayFixture f;
  const GridMetrics& m = f.display.Metrics();
  EXPECT_EQ(m.HeaderTextHeight, 13);
  EXPECT_EQ(m.RowHeightDefault, 13 + 4 + 2);
  EXPECT_EQ(f.grid.RowHeightDefault(), 19);  // new rows take it
  EXPECT_EQ(m.CaptionHeight, 0);
  EXPECT_EQ(m.HeaderHeight, 26);
  EXPECT_EQ(m.CheckBoxSize, 16);  // from the height before the pass (17)

  f.grid.SetCaption("Drivers");
  f.grid.SetColumnHeaderLines(0);
  EXPECT_EQ(f.grid.ColumnHeaderLines(), 1);
  f.grid.SetColumnHeaderLines(3);
  f.display.CalcRowMetrics();
  EXPECT_EQ(m.CaptionHeight, 20);  // 13 * 1.5 = 19.5, halves to even
  EXPECT_EQ(m.HeaderHeight, 13 + 13 * 3 + 20);
  f.grid.SetColumnHeaderSmall(true);
  f.display.CalcRowMetrics();
  EXPECT_EQ(m.HeaderHeight, 13 * 3 / 3 + 13 + 20);
  f.grid.SetColumnHeaders(false);
  f.display.CalcRowMetrics();
  EXPECT_EQ(m.HeaderHeight, 20);

  // MinRowHeight in twips through the real resolution: 300 twips at 120 dpi (12 twips a pixel) is 25 pixels.
  f.platform.twipsY = 12;
  f.grid.SetScaleUnits(1);
  f.grid.SetMinRowHeight(300);
  f.grid.SetMinVerticalOffset(3);
  f.display.CalcRowMetrics();
  EXPECT_EQ(m.RowHeightDefault, 25 + 6 + 2);
  f.grid.SetRowCheckBoxes(true);
  f.display.CalcRowMetrics();
  EXPECT_EQ(m.TextLeftOffset, 18);
}

TEST(DisplayMetrics, OverflowingMetricsRaiseTheOverflowError) {
  DisplayFixture f;
  // The pass runs in the setter, so the caller of the property hears of it.
  try {
    f.grid.SetMinVerticalOffset(2'000'000'000);
    FAIL() << "no overflow";
  } catch (const GridError& e) {
    EXPECT_EQ(e.code(), 6);
  }
  EXPECT_EQ(f.grid.RowHeightDefault(), 19);  // the failed pass leaves the old height
}

TEST(DisplayMetrics, RowsAddedWhileDrawingIsOffTakeTheNewDefaultHeight) {
  DisplayFixture f;
  f.canvas().lineHeight = [](const CanvasFont& font) { return font.size > 10 ? 20 : 13; };
  f.fill({100}, 1);
  ASSERT_FALSE(f.grid.Redraw());
  f.grid.SetFontHeader(GridFont{"Tahoma", 12});
  f.grid.AddItem("font");
  EXPECT_EQ(f.grid.RowRecord(1).Height, 20 + 4 + 2);
  f.grid.SetMinVerticalOffset(5);
  f.grid.AddItem("offset");
  EXPECT_EQ(f.grid.RowRecord(2).Height, 20 + 10 + 2);
  // That pass started from a cleared height; resuming drawing settles the check box.
  EXPECT_EQ(f.display.Metrics().CheckBoxSize, -4);
  f.grid.SetMinRowHeight(40);  // ScaleUnits are pixels here
  f.grid.AddItem("minimum");
  EXPECT_EQ(f.grid.RowRecord(3).Height, 40 + 10 + 2);
  f.grid.SetCaption("Drivers");
  EXPECT_EQ(f.display.Metrics().CaptionHeight, 30);
  EXPECT_EQ(f.display.Metrics().HeaderHeight, 20 + 20 + 30);
  f.grid.SetRedraw(true);
  EXPECT_EQ(f.display.Metrics().CheckBoxSize, 16);
  EXPECT_EQ(f.grid.RowRecord(0).Height, 13 + 4 + 2);  // rows keep the height they were given
}

TEST(DisplayMetrics, CheckBoxesGrowWithTheScreenResolution) {
  DisplayFixture f;
  f.platform.twipsX = f.platform.twipsY = 10;  // 144 dpi
  f.canvas().lineHeight = [](const CanvasFont&) { return 20; };
  f.grid.SetFontHeader(f.grid.FontHeader());  // measured again at this resolution
  f.grid.SetRowCheckBoxes(true);
  f.grid.AddColumn("Tick", 59, 5, datatype::Boolean);
  f.grid.AddItem("1", -1, true);
  f.grid.SetRedraw(true);
  EXPECT_EQ(f.display.Metrics().RowHeightDefault, 26);
  EXPECT_EQ(f.display.Metrics().CheckBoxSize, 24);  // 16 at 96 dpi
  EXPECT_EQ(f.display.Metrics().TextLeftOffset, 26);
  // Without a visual style the boxes are drawn 21 pixels square (14 at 96 dpi).
  const auto boxes = f.canvas().of(CanvasOp::FrameControl);
  ASSERT_EQ(boxes.size(), 2u);
  for (const CanvasOp& box : boxes) EXPECT_EQ(box.rect.height(), 21);
  f.platform.twipsX = f.platform.twipsY = 15;
  f.grid.SetMinVerticalOffset(2);
  f.grid.Refresh();
  EXPECT_EQ(f.display.Metrics().CheckBoxSize, 16);
}

TEST(DisplayProperties, EverySetterDoesItsScreenWorkWhoeverCallsIt) {
  DisplayFixture f;
  f.fill({150, 150, 150, 150, 150, 150}, 30);
  f.grid.SetRedraw(true);
  f.display.OnScroll({sb::Horz, sb::LineDown, 1});
  // Redraw and FreezeAtCol keep the horizontal value right of the frozen columns.
  f.grid.SetRedraw(false);
  f.grid.SetFreezeAtCol(1);
  EXPECT_EQ(f.scroll.bars[0].nPos, 2);
  f.scroll.bars[0].nPos = 0;
  f.grid.SetRedraw(true);
  EXPECT_EQ(f.scroll.bars[0].nPos, 2);
  // The row numbers keep their place while a cell is edited.
  f.grid.OpenEdit(0, 0, "r0c0");
  f.grid.SetShowRowNumbers(true);
  f.grid.SetShowRowNumbersVary(true);
  EXPECT_FALSE(f.grid.ShowRowNumbers());
  EXPECT_FALSE(f.grid.ShowRowNumbersVary());
  f.grid.UpdateCell(false);
  f.grid.SetShowRowNumbers(true);
  EXPECT_TRUE(f.grid.ShowRowNumbers());
  // The frame and the enabled state reach the window.
  EXPECT_EQ(f.surface.borderStyle, 1);
  EXPECT_EQ(f.surface.appearance, 1);
  f.grid.SetAppearance(0);
  EXPECT_EQ(f.surface.appearance, 0);
  f.grid.SetBorderStyle(0);
  EXPECT_EQ(f.surface.borderStyle, 0);
  f.grid.SetEnabled(false);
  EXPECT_FALSE(f.surface.enabled);
  EXPECT_FALSE(f.grid.InputEnabled());
  f.grid.SetEnabled(true);
  EXPECT_TRUE(f.surface.enabled);
}

TEST(DisplayProperties, LoadingOnALiveWindowAppliesSchemeBarsMetricsAndFrame) {
  DisplayFixture f;
  f.fill({100}, 30);
  f.grid.SetRedraw(true);
  ASSERT_FALSE(f.display.ScrollBars().UsingStandard());
  MemoryPropertyBag bag;
  bag.WriteProperty("ThemeColor", std::int32_t{4});
  bag.WriteProperty("ScrollBarStyle", std::int32_t{1});
  bag.WriteProperty("MinVerticalOffset", std::int32_t{5});
  bag.WriteProperty("BorderStyle", std::int32_t{0});
  bag.WriteProperty("Enabled", false);
  const int shows = f.surface.shows;
  f.grid.ReadProperties(bag);
  EXPECT_EQ(f.grid.BackColorSel(), MakeRgb(142, 116, 55));
  EXPECT_EQ(f.display.GradientTo(), MakeRgb(160, 134, 73));
  EXPECT_TRUE(f.display.ScrollBars().UsingStandard());
  EXPECT_EQ(f.display.Metrics().RowHeightDefault, 13 + 10 + 2);
  EXPECT_EQ(f.surface.borderStyle, 0);
  EXPECT_FALSE(f.surface.enabled);
  EXPECT_GT(f.surface.shows, shows);  // drawing was on: shown again at once
  EXPECT_TRUE(f.scroll.shown[1]);     // the rows still overflow the window
}

TEST(DisplayMetrics, WrappedRowsGrowToTheirTextUpToMaxLineCount) {
  DisplayFixture f;
  f.grid.SetAllowWordWrap(true);
  f.grid.AddColumn("A", 100 - 1, 4, 0, {}, {}, 4, true);
  f.grid.AddColumn("B", 100 - 1);
  // 30 characters of 8 pixels in 95 pixels: 3 lines of 13.
  f.grid.AddItem(std::string(30, 'x') + "\tshort");
  // The wrapped measure starts 2 pixels down, and its bottom is the height.
  EXPECT_EQ(f.grid.RowRecord(0).Height, 2 + 39 + 4);
  f.grid.AddItem("\tone line");
  EXPECT_EQ(f.grid.RowRecord(1).Height, 13 + 4);  // two pixels less than the default
  f.grid.SetMaxLineCount(2);
  f.display.SetRowHeight(0, -1);
  EXPECT_EQ(f.grid.RowRecord(0).Height, 26 + 4);
  f.display.SetRowHeight(1, 40.6f);
  EXPECT_EQ(f.display.RowHeight(1), 41);
  f.display.SetRowHeight(7, 50);  // no such row: nothing
}

TEST(DisplayMetrics, AutoSizeAndForceFit) {
  DisplayFixture f;
  f.fill({50, 60, 70}, 3);
  f.grid.SetCellText(1, 1, std::string(20, 'w'));  // 160 pixels
  f.display.ColWidthAutoSize(1);
  // (m + TwipsPerPixelX) * TwipsPerPixelX twips, given back in pixels (ScaleUnits 3).
  EXPECT_FLOAT_EQ(f.grid.ColWidth(1), 160.0f + 15.0f);
  f.grid.AddColumn("Tick", 99, 4, datatype::Boolean);
  f.display.AutoSizeColumn(3);
  EXPECT_FLOAT_EQ(f.grid.ColWidth(3), 32.0f);  // 480 twips
  EXPECT_THROW(f.display.AutoSizeColumn(9), GridError);

  f.grid.SetColVisible(3, false);
  f.display.ColForceFit();
  const double visible = f.display.VisibleWidth() / 15.0;
  EXPECT_NEAR(f.grid.ColWidth(0) + f.grid.ColWidth(1) + f.grid.ColWidth(2), visible, 0.01);
}

TEST(DisplayMetrics, VisibleRowCountAndVisibleSizesInTwips) {
  DisplayFixture f;
  f.fill({100}, 50);
  f.grid.SetRedraw(true);
  // (300 - 26 - 4) / 19 = 14.2
  EXPECT_EQ(f.display.VisibleRowCount(), 14);
  f.platform.twipsX = f.platform.twipsY = 12;  // 120 dpi
  // Window 304 pixels, border allowance 4, horizontal bar hidden: 300 * 12.
  EXPECT_EQ(f.display.VisibleHeight(), 300 * 12);
  // 404 - 4 - 16 (vertical bar) - 1 pixel - no row numbers.
  EXPECT_EQ(f.display.VisibleWidth(), (404 - 4 - 16 - 1) * 12);
}

TEST(DisplayScrolling, EmptyGridHidesBothBarsAndFullGridShowsTheVerticalOne) {
  DisplayFixture f;
  f.grid.SetRedraw(true);
  EXPECT_FALSE(f.scroll.shown[0]);
  EXPECT_FALSE(f.scroll.shown[1]);
  f.fill({100, 100}, 40);
  f.display.Refresh();
  EXPECT_TRUE(f.scroll.shown[1]);
  EXPECT_FALSE(f.scroll.shown[0]);
  // 14 rows of 19 fit below the 26-pixel header in 300 pixels.
  EXPECT_EQ(f.scroll.bars[1].nMax - f.scroll.bars[1].nPage + 1, 40 - 14);  // rows 26 to 39 fill the window
  // A refresh that changes no range leaves the bars alone: each set redraws a bar.
  const int sets = f.scroll.sets;
  f.display.Refresh();
  EXPECT_EQ(f.scroll.sets, sets);
  f.grid.SetScrollBars(0);
  f.display.UpdateScrollBars();
  EXPECT_FALSE(f.scroll.shown[1]);
}

TEST(DisplayScrolling, LinesPagesWheelAndTrack) {
  DisplayFixture f;
  f.fill({100, 100}, 100);
  f.grid.SetRedraw(true);
  f.grid.SetRowVisible(2, false);
  f.display.OnScroll({sb::Vert, sb::LineDown, 1});
  EXPECT_EQ(f.display.RowFirstVisible(), 1);
  f.display.OnScroll({sb::Vert, sb::LineDown, 1});
  EXPECT_EQ(f.display.RowFirstVisible(), 3);  // the hidden row is skipped
  EXPECT_EQ(f.host.scrolls, 2);
  f.display.OnScroll(ScrollRequestFromWheel(static_cast<std::uint32_t>(-120) << 16));
  EXPECT_EQ(f.display.RowFirstVisible(), 6);  // three rows a notch
  f.display.OnScroll(ScrollRequestFromWheel(120u << 16));
  EXPECT_EQ(f.display.RowFirstVisible(), 3);
  f.display.OnScroll({sb::Vert, sb::PageDown, 1});
  EXPECT_EQ(f.display.RowFirstVisible(), 8);
  f.display.OnScroll({sb::Vert, sb::Bottom, 1});
  const std::int32_t bottom = f.display.RowFirstVisible();
  EXPECT_EQ(bottom, 100 - 14);
  EXPECT_FALSE(f.display.OnScroll({sb::Vert, sb::LineDown, 1}));  // nothing changes at the end
  f.display.OnScroll({sb::Vert, sb::Top, 1});
  EXPECT_EQ(f.display.RowFirstVisible(), 0);
  EXPECT_FALSE(f.display.OnScroll({sb::Vert, sb::ThumbPosition, 1}));

  // Without ScrollTrack the thumb moves the value but paints only at the end.
  f.grid.SetScrollTrack(false);
  const int shows = f.surface.shows;
  f.scroll.bars[1].nTrackPos = 40;
  EXPECT_TRUE(f.display.OnScroll({sb::Vert, sb::ThumbTrack, 1}));
  EXPECT_EQ(f.scroll.bars[1].nPos, 40);
  EXPECT_EQ(f.surface.shows, shows);
  f.display.OnScroll({sb::Vert, sb::EndScroll, 1});
  EXPECT_EQ(f.surface.shows, shows + 1);
  EXPECT_EQ(f.display.RowFirstVisible(), 40);
}

TEST(DisplayScrolling, CtrlWheelScrollsColumnsAndFrozenColumnsStayPut) {
  DisplayFixture f;
  f.fill({150, 150, 150, 150, 150, 150}, 5);
  f.grid.SetRedraw(true);
  ASSERT_TRUE(f.scroll.shown[0]);
  f.display.OnScroll(ScrollRequestFromWheel((static_cast<std::uint32_t>(-120) << 16) | 0x8));
  EXPECT_EQ(f.scroll.bars[0].nPos, 1);
  EXPECT_EQ(f.scroll.bars[1].nPos, 0);

  f.grid.SetFreezeAtCol(2);
  EXPECT_EQ(f.scroll.bars[0].nPos, 3);
  for (int i = 0; i < 3; ++i) f.display.OnScroll({sb::Horz, sb::LineUp, 1});
  EXPECT_EQ(f.scroll.bars[0].nPos, 3);
  f.display.SBSetValue(sb::Horz, 1);
  EXPECT_EQ(f.scroll.bars[0].nPos, 3);
  f.display.OnScroll({sb::Horz, sb::LineDown, 1});
  EXPECT_EQ(f.scroll.bars[0].nPos, 4);
  f.paint();
  // Frozen columns first, then the scrolled ones from position 4.
  EXPECT_EQ(f.display.ColumnLeft(0), 0);
  EXPECT_EQ(f.display.ColumnLeft(2), 300);
  EXPECT_EQ(f.display.ColumnLeft(3), -1);
  EXPECT_EQ(f.display.ColumnLeft(4), 450);
  EXPECT_EQ(f.canvas().of(CanvasOp::Clip).front().rect.left, 450);
}

TEST(DisplayScrolling, VerticalBarOnlyWhenTheVisibleRowsOverflowTheWindow) {
  // The header (26), a line of text (13) and the visible rows decide. Rows ending right
  // at the bottom need no bar, one pixel more does, and hidden rows take no room
  // however many there are before the rows that overflow.
  DisplayFixture f;
  f.surface.client.cy = 26 + 13 + 14 * 19;
  f.fill({100}, 14);
  f.grid.SetRedraw(true);
  EXPECT_FALSE(f.scroll.shown[1]);
  f.display.SetRowHeight(13, 20);
  EXPECT_TRUE(f.scroll.shown[1]);
  f.display.SetRowHeight(13, 19);
  EXPECT_FALSE(f.scroll.shown[1]);

  f.grid.SetRedraw(false);
  for (int i = 0; i < 2000; ++i) f.grid.AddItem("hidden", 5, false, false, false, false);
  f.grid.SetRedraw(true);
  EXPECT_FALSE(f.scroll.shown[1]);
  f.grid.AddItem("last");
  EXPECT_TRUE(f.scroll.shown[1]);
  f.display.OnScroll({sb::Vert, sb::Bottom, 1});
  f.paint();
  EXPECT_EQ(f.display.RowLastVisible(), 2014);
}

TEST(DisplayScrolling, HorizontalBarStaysWhileScrolledEvenWhenColumnsFit) {
  DisplayFixture f;
  f.fill({250, 250}, 3);
  f.grid.SetRedraw(true);
  ASSERT_TRUE(f.scroll.shown[0]);
  f.display.OnScroll({sb::Horz, sb::LineDown, 1});
  ASSERT_EQ(f.scroll.bars[0].nPos, 1);
  f.grid.SetColWidth(0, 50);
  f.grid.SetColWidth(1, 50);
  f.display.UpdateScrollBars();
  EXPECT_TRUE(f.scroll.shown[0]);
  f.display.OnScroll({sb::Horz, sb::LineUp, 1});
  f.display.UpdateScrollBars();
  EXPECT_FALSE(f.scroll.shown[0]);
}

TEST(DisplayScrolling, FlatBarsFallBackToStandardForGood) {
  DisplayFixture f;
  EXPECT_FALSE(f.display.ScrollBars().UsingStandard());
  EXPECT_EQ(f.scroll.flatProps[0x200], 1);
  EXPECT_EQ(f.scroll.flatProps[0x100], 1);
  f.grid.SetScrollBarStyle(1);
  EXPECT_TRUE(f.display.ScrollBars().UsingStandard());
  EXPECT_FALSE(f.scroll.flatInitialised);
  f.scroll.flatWorks = false;
  f.grid.SetScrollBarStyle(0);
  EXPECT_TRUE(f.display.ScrollBars().UsingStandard());
  f.fill({100}, 30);
  f.scroll.flatCalls = 0;
  f.grid.SetRedraw(true);
  EXPECT_EQ(f.scroll.flatCalls, 0);
  // Large change: nMax follows the page, so the reachable range stays.
  const std::int32_t reach = f.scroll.bars[1].nMax - f.scroll.bars[1].nPage;
  f.display.SetSBLargeChange(1, 9);
  EXPECT_EQ(f.display.SBLargeChange(1), 9);
  EXPECT_EQ(f.scroll.bars[1].nMax - f.scroll.bars[1].nPage, reach);
}

TEST(DisplayStepping, RowsSkipHiddenAndLockedColumnsWrap) {
  DisplayFixture f;
  f.fill({40, 40, 40, 40}, 6);
  f.grid.SetRowVisible(1, false);
  f.grid.SetRowLocked(2, true);
  EXPECT_EQ(f.display.NextRowFrom(0, 1, 0), 3);
  EXPECT_EQ(f.display.NextRowFrom(0, 1, rowflag::Locked), 2);
  EXPECT_EQ(f.display.NextRowFrom(4, 5, 0), 5);
  EXPECT_EQ(f.display.PrevRowFrom(3, 1, 0), 0);
  f.grid.SetColLocked(1, true);
  f.grid.SetColVisible(2, false);
  EXPECT_EQ(f.display.NextColFrom(0, false), 3);
  EXPECT_EQ(f.display.NextColFrom(3, false), 0);
  EXPECT_EQ(f.display.PrevColFrom(0, false), 3);
  EXPECT_EQ(f.display.PrevColFrom(0, true), 3);
}

TEST(DisplayGeometry, CellPartsFollowAlignmentAndHitTestsAgreeWithPainting) {
  DisplayFixture f;
  f.fill({100, 60}, 3);
  f.grid.SetRedraw(true);
  // Column 1 at x 100, row at y 45 of height 19; check box 16 pixels.
  f.grid.SetColAlignment(1, 5);
  EXPECT_EQ(f.display.CellRect(1, 45, 19, 1), (Rect{122, 46, 138, 62}));  // 46.5 halves to even
  f.grid.SetColAlignment(1, 10);
  EXPECT_EQ(f.display.CellRect(1, 45, 19, 1), (Rect{143, 46, 159, 62}));
  f.grid.SetColAlignment(1, 0);
  EXPECT_EQ(f.display.CellRect(1, 45, 19, 1), (Rect{101, 47, 117, 63}));
  f.grid.SetColAlignment(1, 3);
  EXPECT_EQ(f.display.CellRect(1, 45, 19, 1), (Rect{0, 0, 16, 16}));
  EXPECT_EQ(f.display.ColumnAtX(99), 0);
  EXPECT_EQ(f.display.ColumnAtX(100), 1);
  EXPECT_EQ(f.display.ColumnAtX(161), -1);
  EXPECT_EQ(f.display.RowAtY(26), -1);
  EXPECT_EQ(f.display.RowAtY(27), 0);
  EXPECT_EQ(f.display.RowAtY(45), 1);
  EXPECT_EQ(f.display.RowTop(2), 64);
}

}  // namespace
}  // namespace qelvaro::grid::testing
