#pragma once
// The grid on screen, without the window: metrics and scrolling, painting, and the
// colour schemes and header looks. It is the CellGrid's view (GridView), and it
// reaches the window system only through the ports of grid_ports.h and the canvas,
// so every rule here runs natively against doubles.
//
// One geometry serves painting and hit testing: DrawHeaderRow stores each displayed
// column's left x, and cells, check boxes, images and hit tests use those positions.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "canvas.h"
#include "cell_grid.h"
#include "grid_colours.h"
#include "grid_ports.h"

namespace qelvaro::grid {

class GridInput;

struct GridMetrics {
  std::int32_t RowHeightDefault = 0;
  std::int32_t HeaderTextHeight = 0;
  std::int32_t CaptionHeight = 0;
  std::int32_t HeaderHeight = 0;
  std::int32_t CheckBoxSize = 0;
  std::int32_t ImageLeftOffset = 0;
  std::int32_t TextLeftOffset = 0;
  std::int32_t RowNumberWidth = 0;
  std::uint32_t DrawTextEllipsis = 0;
  std::int32_t ImageWidth = 0;
  std::int32_t ImageHeight = 0;
};

// The scroll bars of the grid's own window behind one set of operations, whether
// the standard or the flat (common controls) functions drive them.
class ScrollBarWrapper {
 public:
  explicit ScrollBarWrapper(ScrollBarPort& port) : port_(port) {}

  // Chooses flat or standard bars: standard when asked (ScrollBarStyle 1) or when
  // the flat bars cannot be initialised, and then for good.
  void Attach(bool standardWanted, std::int32_t scrollBars);
  void Detach();
  bool Attached() const { return port_.Attached(); }
  bool UsingStandard() const { return standard_; }
  std::int32_t FlatStyle() const { return flatStyle_; }
  void SetFlatStyle(std::int32_t style) { flatStyle_ = style; }

  bool GetInfo(std::int32_t bar, ScrollInfo& info, std::uint32_t mask);
  void SetInfo(std::int32_t bar, const ScrollInfo& info, std::uint32_t mask);
  std::int32_t Min(std::int32_t bar);
  std::int32_t Max(std::int32_t bar);
  std::int32_t Value(std::int32_t bar);
  // nMax = max + page: the highest reachable position (nMax - nPage + 1) is max + 1,
  // where the last k rows that fit (or the last column) start the window.
  void SetMax(std::int32_t bar, std::int32_t max);
  // Writes nPos when it differs; no checks (the grid's rules are in GridDisplay).
  void WriteValue(std::int32_t bar, std::int32_t value);
  void Show(std::int32_t bar, bool show);
  bool Visible(std::int32_t bar) const { return visible_[bar & 1]; }
  std::int32_t LargeChange(std::int32_t bar);
  void SetLargeChange(std::int32_t bar, std::int32_t page);

 private:
  bool flat() const { return !standard_; }
  ScrollBarPort& port_;
  bool standard_ = true;
  bool flatInitialised_ = false;
  std::int32_t flatStyle_ = 0;
  bool visible_[2] = {false, false};
};

// A scroll-bar or wheel message as plain data: which bar, the scroll code and how
// many rows one line step moves.
struct ScrollRequest {
  std::int32_t bar = 1;
  std::int32_t code = 0;
  std::int32_t step = 1;
};

namespace sb {
inline constexpr std::int32_t LineUp = 0, LineDown = 1, PageUp = 2, PageDown = 3, ThumbPosition = 4,
                              ThumbTrack = 5, Top = 6, Bottom = 7, EndScroll = 8;
inline constexpr std::int32_t Horz = 0, Vert = 1;
}  // namespace sb

// From the platform messages: WM_HSCROLL / WM_VSCROLL (low word of wParam is the
// code) and WM_MOUSEWHEEL (Ctrl scrolls columns; three rows a notch).
ScrollRequest ScrollRequestFromScrollMessage(bool vertical, std::uint32_t wParam);
ScrollRequest ScrollRequestFromWheel(std::uint32_t wParam);

class GridDisplay : public GridView {
 public:
  GridDisplay(GridPlatform& platform, GridSurface& surface, ScrollBarPort& scrollPort);
  GridDisplay(const GridDisplay&) = delete;
  GridDisplay& operator=(const GridDisplay&) = delete;

  // The grid drawn here (which must have this display as its view) and the host
  // that receives Scroll, RequestRowData and ThemeChanged.
  void Bind(CellGrid& grid, GridHost* host);
  CellGrid& grid() { return *grid_; }

  // ---- GridView ----
  void Paint() override { DrawGrid(true, false); }
  void Refresh() override;
  void UpdateScrollBars() override;
  void CalcRowMetrics() override;
  void RecalcRowHeight(std::int32_t row) override;
  void EnsureRowVisible(std::int32_t row) override;
  // Scrolls so that the row is the top one (as far as the bar reaches), when the
  // vertical bar is shown.
  void ScrollRowToTop(std::int32_t row);
  float VisibleClientWidth() const override;
  double ScaleXToPixels(double value, std::int32_t scaleUnits) const override;
  void ApplyThemeColor() override;
  void ScrollBarStyleChanged() override;
  void ApplyFreezeRule() override;
  void FrameChanged() override;
  void PropertiesLoaded() override;
  Colour TranslateColour(Colour colour) const override { return Translate(colour); }

  // ---- lifecycle ----
  // The grid is sited at run time: scroll bars attached (flat style 1, large
  // changes 5), colour scheme applied.
  void Site();
  void Unsite();
  // The window changed size.
  void Resize();
  bool Sited() const { return sited_; }

  // ---- geometry (pixels unless said) ----
  const GridMetrics& Metrics() const { return m_; }
  std::int32_t VisibleRowCount() const;
  std::int32_t RowFirstVisible() const { return rowFirstVisible_; }
  std::int32_t RowLastVisible() const { return rowLastVisible_; }
  // Twips.
  std::int32_t VisibleHeight();
  std::int32_t VisibleWidth();
  double TwipsPerPixelX() const { return platform_.TwipsPerPixelX(); }
  double TwipsPerPixelY() const { return platform_.TwipsPerPixelY(); }
  float RowHeight(std::int32_t row) const;
  void SetRowHeight(std::int32_t row, float value);
  void ColWidthAutoSize(std::int32_t col);
  void AutoSizeColumn(std::int32_t col);
  void ColForceFit();
  std::int32_t RowNumberWidthFor(std::int32_t lastShownRow);

  // Row and column stepping from a given row or display position.
  std::int32_t NextRowFrom(std::int32_t row, std::int32_t step, std::int32_t flags) const;
  std::int32_t PrevRowFrom(std::int32_t row, std::int32_t step, std::int32_t flags) const;
  std::int32_t NextColFrom(std::int32_t position, bool startOver) const;
  std::int32_t PrevColFrom(std::int32_t position, bool fromLast) const;

  // ---- scrolling ----
  ScrollBarWrapper& ScrollBars() { return bars_; }
  std::int32_t SBLargeChange(std::int32_t eBar) { return bars_.LargeChange(eBar); }
  void SetSBLargeChange(std::int32_t eBar, std::int32_t value) { bars_.SetLargeChange(eBar, value); }
  // The grid's rules on top of the bar: a hidden bar, or a horizontal value inside
  // the frozen columns, is ignored.
  void SBSetValue(std::int32_t bar, std::int32_t value);
  // Returns true when a scroll value changed (Scroll was raised).
  bool OnScroll(const ScrollRequest& request);
  // Key code of the last navigation key (40 = Down), read by the keep-in-view rule.
  void SetLastKey(std::int32_t key) { lastKey_ = key; }
  std::int32_t LastKey() const { return lastKey_; }

  // ---- themes and colours ----
  // The gradient colours painting uses: the custom colours under the custom scheme
  // (5), else those of the last fixed scheme applied.
  Colour GradientFrom() const;
  Colour GradientTo() const;
  // Takes the stored custom colours as the gradient and applies the stored scheme
  // (after InitProperties or ReadProperties of the grid).
  void LoadThemeFromProperties();
  void SetDefaultThemeColor(std::int32_t index);
  void DetectThemeColor();
  const std::string& VisualStyleColourName() const { return styleColourName_; }
  // WM_THEMECHANGED: raise ThemeChanged, apply the scheme again, repaint.
  void OnThemeChanged();
  Rgb Translate(Colour colour) const { return TranslateColor(colour, platform_); }

  // ---- painting ----
  void SetImageList(std::shared_ptr<GridImageList> list);
  const std::shared_ptr<GridImageList>& ImageList() const { return imageList_; }
  // The full repaint; paint false only records that one is due.
  void DrawGrid(bool paint, bool keepFocusRect);
  bool PaintPending() const { return paintPending_; }
  void DrawCaption(Canvas& c);
  // Returns the x just right of the last header cell.
  std::int32_t DrawHeaderRow(Canvas& c, std::int32_t hotColumn);
  void DrawHeaderCell(Canvas& c, std::int32_t position, std::int32_t state);
  void DrawHeaderBackground(Canvas& c, const Rect& r, std::int32_t state, bool caption = false);
  void DrawSortArrow(Canvas& c, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t lines,
                     std::int32_t direction);
  void DrawCellButton(Canvas& c, Rect r, std::int32_t state);
  void DrawCheckBox(Canvas& c, Rect r, bool checked);
  // Header fill colour of the current look, and its border colour.
  Rgb HeaderFillColour() const;

  // ---- hit testing (shared with painting) ----
  // Left x of a displayed column (relative to the row-number column), -1 when the
  // last paint did not show it.
  std::int32_t ColumnLeft(std::int32_t position) const;
  // part 0 whole cell, 1 check box, 2 image.
  Rect CellRect(std::int32_t position, std::int32_t rowTop, std::int32_t rowHeight, std::int32_t part) const;
  std::int32_t ColumnAtX(std::int32_t x) const;
  std::int32_t RowAtY(std::int32_t y) const;
  std::int32_t RowTop(std::int32_t row) const;

  // Mouse state painting reads (set by the mouse layer).
  void SetHotHeader(std::int32_t position) { hotHeader_ = position; }
  std::int32_t HotHeader() const { return hotHeader_; }
  // The header cell drawn pressed (state 3) or plain while the button is held.
  void SetHeaderPress(std::int32_t position, std::int32_t state) {
    pressedHeader_ = position;
    pressedHeaderState_ = state;
  }
  // Where a carried column would land: a frame round the column it would change
  // places with (swap), or a bar on the side of that position where it would go
  // (drag: right of it when carried rightwards); -1 for none.
  void SetDropMark(std::int32_t position, bool swap, bool rightwards = false) {
    dropMark_ = position;
    dropSwap_ = swap;
    dropRight_ = rightwards;
  }
  std::int32_t ClientHeight() const { return surface_.ClientSize().cy; }
  // Draws the header row again (hot, pressed and drop mark) and shows it.
  void RedrawHeader();
  // The text a cell shows (formatted) and whether its column cuts it off.
  std::string CellShownText(std::int32_t row, std::int32_t position) const;
  bool CellTextCutOff(std::int32_t row, std::int32_t position);
  // The column's pixel width set by dragging its border; the width in ScaleUnits follows.
  void SetColumnPixelWidth(std::int32_t col, std::int32_t pixels);

  // The input layer that owns the edit box and the tooltip.
  void SetInput(GridInput* input) { input_ = input; }
  // ExpandRowImage: the image list index whose box, in a word-wrapped cell, folds
  // and unfolds the row.
  std::int16_t ExpandRowImageIndex() const { return expandRowImage_; }
  // The property as a host reads it: the stored index, or, when that is negative,
  // the key of the image at its absolute value (error 9 when there is no such image).
  std::variant<std::int16_t, std::string> ExpandRowImage() const;
  void SetExpandRowImage(std::int16_t index);
  // A number is stored as the index; any other text is a key of the image list, and
  // the index of its image is stored. A key no image has is refused (invalid
  // procedure call) and the stored index stays.
  void SetExpandRowImage(std::string_view indexOrKey);
  void HideEditor(GridControl* boundControl) override;
  void HideToolTip() override;
  void SetPressedButtonCell(std::int32_t row, std::int32_t position) {
    pressedRow_ = row;
    pressedPos_ = position;
  }

 private:
  struct PaintState;
  bool anyRowImage() const;
  std::int32_t textHeightABCD(Canvas& c);
  std::int32_t toInt32(std::int64_t v) const;
  void keepCurrentRowInView();
  // The scaled size of a check box at the screen's resolution (16 pixels at 96 dpi).
  std::int32_t scaledToScreen(std::int32_t pixelsAt96) const;
  std::vector<std::int32_t> displayedPositions() const;
  bool drawRows(Canvas& c, PaintState& ps, bool keepFocusRect);
  void drawCell(Canvas& c, PaintState& ps, std::int32_t row, const GridRow& record, std::int32_t position,
                std::int32_t y, bool firstColumn);
  void drawCellText(Canvas& c, std::string_view text, Rect r, std::uint32_t flags);
  void drawTotalsLine(Canvas& c, PaintState& ps, std::int32_t top);
  void drawGridLines(Canvas& c, PaintState& ps, std::int32_t bottom);
  void drawFocusRect(Canvas& c, PaintState& ps);
  void drawDropMark(Canvas& c);
  void drawPaintedLook(Canvas& c, const Rect& r, std::int32_t state, bool custom);
  void drawTwoColourLook(Canvas& c, const Rect& r, std::int32_t state);
  void drawGlassLook(Canvas& c, const Rect& r, std::int32_t state, bool caption);
  CanvasFont cellFont(const GridCell& cell) const;
  std::string cellDisplayText(const GridCell& cell, const GridColumn& column) const;
  void setSchemeColour(void (CellGrid::*setter)(Colour), Colour value);

  GridPlatform& platform_;
  GridSurface& surface_;
  ScrollBarWrapper bars_;
  CellGrid* grid_ = nullptr;
  GridHost nullHost_;
  GridHost* host_ = &nullHost_;
  std::shared_ptr<GridImageList> imageList_;

  GridMetrics m_;
  bool sited_ = false;
  std::int32_t rowFirstVisible_ = 0;
  std::int32_t rowLastVisible_ = -1;
  std::int32_t lastKey_ = 0;
  std::vector<std::int32_t> columnLeft_;  // by display position, -1 when not shown
  std::int32_t gridRight_ = 0;

  Colour gradientFrom_ = 0x404080u;
  Colour gradientTo_ = 0xC0E0FFu;
  std::string styleColourName_ = "Classic";

  bool painting_ = false;
  bool paintPending_ = false;
  std::int32_t hotHeader_ = -1;
  std::int32_t pressedHeader_ = -1;
  std::int32_t pressedHeaderState_ = 1;
  std::int32_t dropMark_ = -1;
  bool dropSwap_ = false;
  bool dropRight_ = false;
  GridInput* input_ = nullptr;
  std::int16_t expandRowImage_ = 0;
  std::int32_t pressedRow_ = -1;
  std::int32_t pressedPos_ = -1;
};

}  // namespace qelvaro::grid
