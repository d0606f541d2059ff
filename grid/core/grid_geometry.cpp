// Metrics, visible range, row heights, column sizing and the twips conversions.
#include <algorithm>
#include <cmath>
#include <limits>

#include "grid_display.h"
#include "grid_error.h"
#include "grid_input.h"
#include "grid_text.h"

namespace qelvaro::grid {

namespace {
constexpr const char* kMeasureText = "ABCDWXYZ";

std::int32_t roundEven(double v) { return static_cast<std::int32_t>(std::nearbyint(v)); }
}  // namespace

GridDisplay::GridDisplay(GridPlatform& platform, GridSurface& surface, ScrollBarPort& scrollPort)
    : platform_(platform), surface_(surface), bars_(scrollPort) {}

void GridDisplay::Bind(CellGrid& grid, GridHost* host) {
  grid_ = &grid;
  host_ = host ? host : &nullHost_;
}

std::int32_t GridDisplay::toInt32(std::int64_t v) const {
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    throwOverflow("grid metric out of range");
  return static_cast<std::int32_t>(v);
}

double GridDisplay::ScaleXToPixels(double value, std::int32_t scaleUnits) const {
  return scaleToPixels(value, scaleUnits, platform_.TwipsPerPixelX());
}

float GridDisplay::VisibleClientWidth() const {
  // In ScaleUnits: the client width less a pixel, as a new full-width column takes.
  const double px = surface_.ClientSize().cx - 1;
  const double perUnit = scaleToPixels(1.0, grid_->ScaleUnits(), platform_.TwipsPerPixelX());
  return perUnit > 0 ? static_cast<float>(px / perUnit) : 0.0f;
}

bool GridDisplay::anyRowImage() const {
  for (std::int32_t r = 0; r < grid_->Rows(); ++r)
    if (grid_->RowRecord(r).Image != 0) return true;
  return false;
}

std::int32_t GridDisplay::scaledToScreen(std::int32_t pixelsAt96) const {
  // Rows grow with the font at a higher resolution; a box of fixed pixels would
  // shrink beside them (96 dpi is 15 twips per pixel).
  const double twips = platform_.TwipsPerPixelX();
  return twips > 0 ? roundEven(pixelsAt96 * 15.0 / twips) : pixelsAt96;
}

std::int32_t GridDisplay::textHeightABCD(Canvas& c) { return c.TextHeight(kMeasureText); }

void GridDisplay::CalcRowMetrics() {
  if (!grid_) return;
  Canvas& c = surface_.DrawingCanvas();
  const std::int32_t before = grid_->RowHeightDefault();
  m_.CheckBoxSize = before < scaledToScreen(17) ? before - 4 : scaledToScreen(16);
  m_.TextLeftOffset = grid_->RowCheckBoxes() ? m_.CheckBoxSize + 2 : 3;
  m_.ImageLeftOffset = m_.TextLeftOffset;
  m_.ImageWidth = m_.ImageHeight = 0;
  if (imageList_) {
    m_.ImageWidth = imageList_->ImageWidth();
    m_.ImageHeight = imageList_->ImageHeight();
    if (anyRowImage()) m_.TextLeftOffset = toInt32(std::int64_t{m_.TextLeftOffset} + m_.ImageWidth + 2);
  }

  c.SetFont(canvasFont(grid_->FontHeader()));
  const std::int32_t h = textHeightABCD(c);
  m_.HeaderTextHeight = h;
  m_.CaptionHeight = grid_->Caption().empty() ? 0 : toInt32(roundEven(h * 1.5));
  const std::int64_t lines = grid_->ColumnHeaderLines();
  if (!grid_->ColumnHeaders()) m_.HeaderHeight = m_.CaptionHeight;
  else if (grid_->ColumnHeaderSmall())
    m_.HeaderHeight = toInt32(std::llround(std::nearbyint(static_cast<double>(h) * lines / 3.0 + h + m_.CaptionHeight)));
  else m_.HeaderHeight = toInt32(std::int64_t{h} + std::int64_t{h} * lines + m_.CaptionHeight);
  c.SetFont(canvasFont(grid_->Font()));

  const double minRow = scaleToPixels(grid_->MinRowHeight(), grid_->ScaleUnits(), platform_.TwipsPerPixelY());
  std::int64_t base = std::llround(std::nearbyint(minRow));
  if (base < m_.HeaderTextHeight) base = m_.HeaderTextHeight;
  m_.RowHeightDefault = toInt32(base + 2 * std::int64_t{grid_->MinVerticalOffset()} + 2);
  grid_->SetRowHeightDefault(m_.RowHeightDefault);
  m_.DrawTextEllipsis = grid_->DisplayEllipsis() ? dt::WordEllipsis : 0;
}

CanvasFont GridDisplay::cellFont(const GridCell& cell) const {
  CanvasFont f = canvasFont(grid_->Font());
  if (cell.FormatIndex >= 0) {
    const std::string& name = grid_->Formats().at(cell.FormatIndex).FontName;
    if (!name.empty()) f.name = name;
  }
  // The cell's own style adds to the grid font's, the way the in-place editor shows
  // it, so a cell does not change weight when it is opened.
  f.bold = f.bold || (cell.Flags & cellflag::Bold);
  f.italic = f.italic || (cell.Flags & cellflag::Italic);
  f.underline = f.underline || (cell.Flags & cellflag::Underline);
  return f;
}

void GridDisplay::RecalcRowHeight(std::int32_t row) {
  if (!grid_ || !grid_->AllowWordWrap()) return;
  if (row < 0 || row >= grid_->Rows()) return;
  Canvas& c = surface_.DrawingCanvas();
  const GridRow& record = grid_->RowRecord(row);
  std::int32_t m = 0;
  for (std::int32_t col = 0; col < grid_->Cols(); ++col) {
    const GridCell& cell = record.Cells[static_cast<std::size_t>(col)];
    const std::int32_t width = grid_->Column(col).PixelWidth;
    c.SetFont(cellFont(cell));
    Rect r;
    if (cell.Flags & cellflag::WordWrap)
      r = c.DrawString(cell.Text.view(), Rect{0, 2, width - 5, 0},
                       dt::CalcRect | dt::WordBreak | dt::NoPrefix | m_.DrawTextEllipsis);
    else
      r = c.DrawString(cell.Text.view(), Rect{0, 0, width, 0}, dt::CalcRect | dt::NoPrefix | m_.DrawTextEllipsis);
    m = std::max(m, r.bottom);
  }
  c.SetFont(canvasFont(grid_->Font()));
  const std::int32_t offset = grid_->MinVerticalOffset();
  const std::int32_t b = m_.RowHeightDefault - 2 * offset - 2;
  std::int32_t h;
  if (m < b) h = b;
  else if (grid_->MaxLineCount() > 0 && m > grid_->MaxLineCount() * b) h = grid_->MaxLineCount() * b;
  else h = m;
  grid_->SetRowHeightPixels(row, h + 2 * offset);
}

std::int32_t GridDisplay::VisibleRowCount() const {
  if (m_.RowHeightDefault <= 0) return 0;
  const std::int32_t b = grid_->BorderStyle() == 1 ? 4 : 0;
  return roundEven(static_cast<double>(surface_.ClientSize().cy - m_.HeaderHeight - b) / m_.RowHeightDefault);
}

std::int32_t GridDisplay::RowNumberWidthFor(std::int32_t lastShownRow) {
  if (!grid_->ShowRowNumbers()) return 0;
  Canvas& c = surface_.DrawingCanvas();
  const std::int32_t w = c.TextWidth(std::to_string(static_cast<std::int64_t>(lastShownRow) + 1)) + 5;
  return std::max(w, 19);
}

std::int32_t GridDisplay::VisibleHeight() {
  if (!grid_->Redraw()) UpdateScrollBars();
  const double tx = platform_.TwipsPerPixelX(), ty = platform_.TwipsPerPixelY();
  const double border = grid_->BorderStyle() == 1 ? 4.0 * platform_.BorderMetric() * ty : 0.0;
  double v = surface_.WindowSize().cy * ty - border;
  if (bars_.Visible(sb::Horz)) v -= platform_.ThumbMetric() * ty;
  (void)tx;
  return roundEven(v);
}

std::int32_t GridDisplay::VisibleWidth() {
  if (!grid_->Redraw()) UpdateScrollBars();
  const double tx = platform_.TwipsPerPixelX();
  const double border = grid_->BorderStyle() == 1 ? 4.0 * platform_.BorderMetric() * tx : 0.0;
  double v = surface_.WindowSize().cx * tx - border;
  if (bars_.Visible(sb::Vert)) v -= platform_.ThumbMetric() * tx;
  v -= tx;
  v -= m_.RowNumberWidth * tx;
  return roundEven(v);
}

float GridDisplay::RowHeight(std::int32_t row) const {
  if (row < 0 || row >= grid_->Rows()) return 0;
  return static_cast<float>(grid_->RowRecord(row).Height);
}

void GridDisplay::SetRowHeight(std::int32_t row, float value) {
  if (row < 0 || row >= grid_->Rows()) return;
  if (value == -1.0f) RecalcRowHeight(row);
  else grid_->SetRowHeightPixels(row, roundEven(value));
  UpdateScrollBars();
  if (grid_->Drawing()) DrawGrid(true, false);
}

void GridDisplay::ColWidthAutoSize(std::int32_t col) {
  if (col == -1) {
    for (std::int32_t c = 0; c < grid_->Cols(); ++c) AutoSizeColumn(c);
  } else {
    AutoSizeColumn(col);
  }
  UpdateScrollBars();
}

void GridDisplay::AutoSizeColumn(std::int32_t col) {
  const GridColumn& column = grid_->Column(col);  // bounds error for a bad column
  const double tppx = platform_.TwipsPerPixelX();
  const auto twipsToUnits = [&](double twips) {
    const double perUnit = scaleToPixels(1.0, grid_->ScaleUnits(), tppx) * tppx;
    return perUnit > 0 ? twips / perUnit : twips;
  };
  if (column.DataType == datatype::Boolean) {
    grid_->SetColWidth(col, static_cast<float>(twipsToUnits(480)));
    return;
  }
  if (column.DataType == datatype::Progress || column.DataType == datatype::Button || grid_->Rows() == 0) return;

  Canvas& c = surface_.DrawingCanvas();
  std::int32_t m = 0;
  if (grid_->TotalsLineShow() && column.DataType == datatype::Number) {
    const auto total = grid_->TotalsLineValue(col);
    const std::string figure = total ? FormatCellText(grid_->locale().formatNumber(*total), column.Format, grid_->locale()) : "";
    c.SetFont(canvasFont(grid_->Font()));
    m = c.TextWidth(grid_->TotalsLineCaption(col) + figure);
  }
  const bool first = grid_->Cols() > 0 && grid_->ColumnAtPosition(0) == col;
  for (std::int32_t r = 0; r < grid_->Rows(); ++r) {
    const GridRow& record = grid_->RowRecord(r);
    const GridCell& cell = record.Cells[static_cast<std::size_t>(col)];
    c.SetFont(cellFont(cell));
    std::int32_t w = c.TextWidth(FormatCellText(cell.Text.view(), column.Format, grid_->locale()));
    if (imageList_) {
      if (first ? record.Image != 0 : (cell.FormatIndex >= 0 && grid_->Formats().at(cell.FormatIndex).Image != 0))
        w += imageList_->ImageWidth();
    }
    m = std::max(m, w);
  }
  c.SetFont(canvasFont(grid_->Font()));
  // The width is worked out in twips; a grid measuring in another unit gets it in that unit.
  grid_->SetColWidth(col, static_cast<float>(twipsToUnits((m + tppx) * tppx)));
}

void GridDisplay::ColForceFit() {
  try {
    grid_->SuspendDrawing();
    double sum = 0;
    for (std::int32_t col = 0; col < grid_->Cols(); ++col) {
      if (!grid_->ColVisible(col)) continue;
      sum = std::nearbyint(sum + grid_->ColWidth(col));
      if (sum > std::numeric_limits<std::int32_t>::max()) throwOverflow("column widths");
    }
    if (grid_->ShowRowNumbers() && m_.RowNumberWidth == 0) m_.RowNumberWidth = 19;
    if (sum != 0) {
      // VisibleWidth is in twips; the widths are in ScaleUnits.
      const double tppx = platform_.TwipsPerPixelX();
      const double perUnit = scaleToPixels(1.0, grid_->ScaleUnits(), tppx) * tppx;
      const double target = VisibleWidth() / (perUnit > 0 ? perUnit : 1.0);
      const double f = target / sum;
      for (std::int32_t col = 0; col < grid_->Cols(); ++col)
        grid_->SetColWidth(col, static_cast<float>(grid_->ColWidth(col) * f));
    }
  } catch (const GridError&) {
    // The fit is a convenience: a failure leaves the widths as far as they got.
  }
  grid_->RestoreDrawing();
  if (grid_->Redraw()) Refresh();
}

// ---------------------------------------------------------------- stepping

std::int32_t GridDisplay::NextRowFrom(std::int32_t row, std::int32_t step, std::int32_t flags) const {
  const std::int32_t last = grid_->Rows() - 1;
  if (last < 0) return -1;
  for (std::int32_t k = 0; k < std::max(step, 0); ++k) {
    std::int32_t next = row + 1;
    while (next <= last) {
      const GridRow& r = grid_->RowRecord(next);
      if (r.Visible && (!(r.Flags & rowflag::Locked) || (flags & rowflag::Locked))) break;
      ++next;
    }
    if (next > last) return last;
    row = next;
  }
  return row;
}

std::int32_t GridDisplay::PrevRowFrom(std::int32_t row, std::int32_t step, std::int32_t flags) const {
  if (grid_->Rows() == 0) return -1;
  for (std::int32_t k = 0; k < std::max(step, 0); ++k) {
    std::int32_t prev = row - 1;
    while (prev >= 0) {
      const GridRow& r = grid_->RowRecord(prev);
      if (r.Visible && (!(r.Flags & rowflag::Locked) || (flags & rowflag::Locked))) break;
      --prev;
    }
    if (prev < 0) return 0;
    row = prev;
  }
  return row;
}

std::int32_t GridDisplay::NextColFrom(std::int32_t position, bool startOver) const {
  const std::int32_t n = grid_->Cols();
  if (n == 0) return -1;
  const std::int32_t start = startOver ? 0 : std::clamp(position, 0, n - 1);
  for (std::int32_t k = startOver ? 0 : 1; k <= n; ++k) {
    const std::int32_t pos = (start + k) % n;
    const std::int32_t col = grid_->ColumnAtPosition(pos);
    if (grid_->ColVisible(col) && !grid_->ColLocked(col)) return pos;
  }
  return start;
}

std::int32_t GridDisplay::PrevColFrom(std::int32_t position, bool fromLast) const {
  const std::int32_t n = grid_->Cols();
  if (n == 0) return -1;
  const std::int32_t start = fromLast ? n - 1 : std::clamp(position, 0, n - 1);
  for (std::int32_t k = fromLast ? 0 : 1; k <= n; ++k) {
    const std::int32_t pos = ((start - k) % n + n) % n;
    const std::int32_t col = grid_->ColumnAtPosition(pos);
    if (grid_->ColVisible(col) && !grid_->ColLocked(col)) return pos;
  }
  return start;
}

// ---------------------------------------------------------------- hit testing

std::int32_t GridDisplay::ColumnLeft(std::int32_t position) const {
  if (position < 0 || position >= static_cast<std::int32_t>(columnLeft_.size())) return -1;
  return columnLeft_[static_cast<std::size_t>(position)];
}

Rect GridDisplay::CellRect(std::int32_t position, std::int32_t rowTop, std::int32_t rowHeight, std::int32_t part) const {
  const std::int32_t cx = ColumnLeft(position);
  const std::int32_t col = grid_->ColumnAtPosition(position);
  const GridColumn& column = grid_->Column(col);
  const std::int32_t w = column.PixelWidth;
  std::int32_t f = w, d = rowHeight, a = column.Alignment;
  if (part == 1) f = d = m_.CheckBoxSize;
  else if (part == 2) {
    f = m_.ImageWidth;
    d = m_.ImageHeight;
    a = column.ImageAlignment;
  }
  std::int32_t x = 0, y = 0;
  bool known = true;
  switch (a) {
    case 0: case 4: case 8: x = cx + 1; break;
    case 1: case 5: case 9: x = roundEven(cx + w / 2.0 - f / 2.0); break;
    case 2: case 6: case 10: x = cx + w - f - 1; break;
    default: known = false;
  }
  switch (a) {
    case 0: case 1: case 2: y = rowTop + 2; break;
    case 4: case 5: case 6: y = roundEven(rowTop + rowHeight / 2.0 - d / 2.0); break;
    case 8: case 9: case 10: y = rowTop + rowHeight - d - 2; break;
    default: known = false;
  }
  if (!known) x = y = 0;
  return Rect{m_.RowNumberWidth + x, y, m_.RowNumberWidth + x + f, y + d};
}

std::int32_t GridDisplay::ColumnAtX(std::int32_t x) const {
  for (std::int32_t pos = 0; pos < static_cast<std::int32_t>(columnLeft_.size()); ++pos) {
    const std::int32_t left = columnLeft_[static_cast<std::size_t>(pos)];
    if (left < 0) continue;
    const std::int32_t l = m_.RowNumberWidth + left;
    if (x >= l && x < l + grid_->Column(grid_->ColumnAtPosition(pos)).PixelWidth) return pos;
  }
  return -1;
}

std::int32_t GridDisplay::RowAtY(std::int32_t y) const {
  if (y <= m_.HeaderHeight || grid_->Rows() == 0) return -1;
  std::int32_t top = m_.HeaderHeight;
  const std::int32_t height = surface_.ClientSize().cy;
  for (std::int32_t r = std::max(rowFirstVisible_, 0); r < grid_->Rows() && top <= height; ++r) {
    const GridRow& record = grid_->RowRecord(r);
    if (!record.Visible) continue;
    if (y >= top && y < top + record.Height) return r;
    top += record.Height;
  }
  return -1;
}

std::int32_t GridDisplay::RowTop(std::int32_t row) const {
  if (row < rowFirstVisible_ || row > rowLastVisible_) return -1;
  std::int32_t top = m_.HeaderHeight;
  for (std::int32_t r = rowFirstVisible_; r < row; ++r) {
    const GridRow& record = grid_->RowRecord(r);
    if (record.Visible) top += record.Height;
  }
  return grid_->RowRecord(row).Visible ? top : -1;
}


std::string GridDisplay::CellShownText(std::int32_t row, std::int32_t position) const {
  const std::int32_t col = grid_->ColumnAtPosition(position);
  const GridRow& record = grid_->RowRecord(row);
  return cellDisplayText(record.Cells[static_cast<std::size_t>(col)], grid_->Column(col));
}

bool GridDisplay::CellTextCutOff(std::int32_t row, std::int32_t position) {
  const std::int32_t col = grid_->ColumnAtPosition(position);
  const GridColumn& column = grid_->Column(col);
  const std::string text = CellShownText(row, position);
  if (text.empty()) return false;
  Canvas& c = surface_.DrawingCanvas();
  c.SetFont(cellFont(grid_->RowRecord(row).Cells[static_cast<std::size_t>(col)]));
  const std::int32_t needed = c.TextWidth(text);
  c.SetFont(canvasFont(grid_->Font()));
  // The text starts TextLeftOffset in and keeps a pixel clear of the grid line.
  return needed > column.PixelWidth - m_.TextLeftOffset - 2;
}

void GridDisplay::SetColumnPixelWidth(std::int32_t col, std::int32_t pixels) {
  const double perUnit = ScaleXToPixels(1.0, grid_->ScaleUnits());
  if (perUnit <= 0) return;
  grid_->SetColWidth(col, static_cast<float>(pixels / perUnit));
}

// The view's hooks into the input handling, which owns the editor and the tooltip.
void GridDisplay::HideEditor(GridControl* boundControl) {
  if (input_) input_->EditorHidden(boundControl);
}

void GridDisplay::HideToolTip() {
  if (input_) input_->HideToolTip();
}

}  // namespace qelvaro::grid
