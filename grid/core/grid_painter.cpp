// DrawGrid and the painters it calls, in the order of the passes: background,
// caption, header, rows (row number, background or selection, cells, lines),
// totals line or closing line, column lines, focus rectangle, one show.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "grid_display.h"
#include "grid_error.h"
#include "grid_text.h"

namespace qelvaro::grid {

namespace {
std::int32_t roundEven(double v) { return static_cast<std::int32_t>(std::nearbyint(v)); }
}  // namespace

struct GridDisplay::PaintState {
  Size client;
  Rgb gridColour = 0;
  Rgb headerFill = 0;
  Rgb headerBorder = 0;
  Rgb backColour = 0;
  Rgb rowColour = 0;  // the background of the row being drawn
  std::vector<std::int32_t> positions;  // frozen ones first, then the scrolled ones
  std::size_t frozenCount = 0;
  std::int32_t frozenRight = 0;
  std::int32_t right = 0;
  std::int32_t currentTop = -1;
  std::int32_t currentHeight = 0;
};

void GridDisplay::SetImageList(std::shared_ptr<GridImageList> list) {
  imageList_ = std::move(list);
  if (!grid_) return;
  if (grid_->Drawing()) Refresh();
}

std::vector<std::int32_t> GridDisplay::displayedPositions() const {
  std::vector<std::int32_t> out;
  const std::int32_t n = grid_->Cols();
  const std::int32_t freeze = grid_->FreezeAtCol();
  for (std::int32_t pos = 0; pos <= std::min(freeze, n - 1); ++pos)
    if (grid_->ColVisible(grid_->ColumnAtPosition(pos))) out.push_back(pos);
  std::int32_t from = const_cast<ScrollBarWrapper&>(bars_).Attached() ? const_cast<ScrollBarWrapper&>(bars_).Value(sb::Horz) : 0;
  from = std::max(from, freeze + 1);
  for (std::int32_t pos = std::max(from, 0); pos < n; ++pos)
    if (grid_->ColVisible(grid_->ColumnAtPosition(pos))) out.push_back(pos);
  return out;
}

void GridDisplay::drawCellText(Canvas& c, std::string_view text, Rect r, std::uint32_t flags) {
  c.DrawString(text, r, flags | dt::NoPrefix | m_.DrawTextEllipsis);
}

std::string GridDisplay::cellDisplayText(const GridCell& cell, const GridColumn& column) const {
  return FormatCellText(cell.Text.view(), column.Format, grid_->locale());
}

void GridDisplay::DrawGrid(bool paint, bool keepFocusRect) {
  if (!grid_) return;
  if (!paint) {
    paintPending_ = true;
    return;
  }
  if (painting_) return;
  painting_ = true;
  platform_.DoEvents();
  paintPending_ = false;
  bool ranOut = false;
  Canvas& c = surface_.DrawingCanvas();
  try {
    ApplyFreezeRule();
    PaintState ps;
    ps.client = surface_.ClientSize();
    ps.gridColour = Translate(grid_->GridColor());
    ps.headerFill = HeaderFillColour();
    ps.headerBorder = ShadeColor(ps.headerFill, -40);
    ps.backColour = Translate(grid_->BackColor());

    c.ClearClip();
    c.FillRect(Rect{0, 0, ps.client.cx, ps.client.cy}, Translate(grid_->BackColorBkg()));

    const std::int32_t lastRow = grid_->Rows() - 1;
    if (lastRow < 0) {
      m_.RowNumberWidth = RowNumberWidthFor(0);
      rowFirstVisible_ = 0;
      rowLastVisible_ = -1;
      DrawCaption(c);
      DrawHeaderRow(c, hotHeader_);
      c.SetFont(canvasFont(grid_->Font()));
      surface_.Show();
      painting_ = false;
      host_->RequestRowData(-1);
      return;
    }

    rowFirstVisible_ = std::clamp(bars_.Attached() ? bars_.Value(sb::Vert) : rowFirstVisible_, 0, lastRow);
    std::int32_t provisionalLast = std::min(rowFirstVisible_ + VisibleRowCount(), lastRow);
    keepCurrentRowInView();
    provisionalLast = std::min(rowFirstVisible_ + VisibleRowCount(), lastRow);

    m_.RowNumberWidth = RowNumberWidthFor(grid_->ShowRowNumbersVary() ? provisionalLast : lastRow);
    DrawCaption(c);
    ps.right = DrawHeaderRow(c, hotHeader_);
    ps.positions = displayedPositions();
    const std::int32_t freeze = grid_->FreezeAtCol();
    ps.frozenRight = m_.RowNumberWidth;
    for (std::int32_t pos : ps.positions) {
      if (pos > freeze) break;
      ++ps.frozenCount;
      ps.frozenRight = m_.RowNumberWidth + ColumnLeft(pos) + grid_->Column(grid_->ColumnAtPosition(pos)).PixelWidth;
    }

    ranOut = drawRows(c, ps, keepFocusRect);
    c.SetFont(canvasFont(grid_->Font()));
    surface_.Show();
  } catch (const GridError&) {
    // A failing element stays undrawn; the paint itself never fails its caller.
  }
  painting_ = false;
  if (ranOut) host_->RequestRowData(rowLastVisible_);
}

bool GridDisplay::drawRows(Canvas& c, PaintState& ps, bool keepFocusRect) {
  const std::int32_t lastRow = grid_->Rows() - 1;
  const bool evenEnabled = grid_->BackColorEvenRowsEnabled();
  const Rgb evenColour = Translate(grid_->BackColorEvenRows());
  const bool multi = grid_->MultiSelect();
  const bool highlight = grid_->FocusRowHighlight();
  const Rgb selColour = Translate(grid_->BackColorSel());
  const std::int32_t lineWidth = grid_->GridLineWidth();
  const std::int32_t gridLines = grid_->GridLines();
  const std::int32_t rnw = m_.RowNumberWidth;

  // Stripes count the visible rows only, so that hiding a row, above the first one on
  // screen or among those shown, never puts two stripes side by side.
  // Without hidden rows that count is the first row's index, and a repaint far down
  // a long grid costs no more than one at the top.
  std::int64_t shownBefore = 0;
  if (grid_->HiddenRowCount() == 0) shownBefore = std::clamp(rowFirstVisible_, 0, lastRow + 1);
  else
    for (std::int32_t r = 0; r < rowFirstVisible_ && r <= lastRow; ++r) shownBefore += grid_->RowRecord(r).Visible ? 1 : 0;
  bool even = (shownBefore + 1) % 2 == 0;
  std::int32_t y = m_.HeaderHeight;
  std::int32_t reached = rowFirstVisible_;
  bool ranOut = true;
  for (std::int32_t r = rowFirstVisible_; r <= lastRow; ++r) {
    const GridRow& record = grid_->RowRecord(r);
    if (!record.Visible) continue;
    if (y > ps.client.cy) {
      ranOut = false;
      break;
    }
    const std::int32_t h = record.Height;
    const bool selected = (record.Flags & rowflag::Selected) && (multi || highlight);

    if (grid_->ShowRowNumbers()) {
      c.FillRect(Rect{0, y, rnw, y + h}, ps.headerFill);
      c.SetFont(canvasFont(grid_->Font()));
      c.SetTextColour(Translate(grid_->ForeColorHdr()));
      drawCellText(c, std::to_string(static_cast<std::int64_t>(r) + 1), Rect{0, y, rnw - 3, y + h},
                   dt::Center | dt::VCenter | dt::SingleLine);
    }
    ps.rowColour = evenEnabled && even ? evenColour : ps.backColour;
    if (!selected) {
      c.FillRect(Rect{rnw, y + 1, ps.right, y + h + 1}, ps.rowColour);
    } else {
      Rgb colour = selColour;
      if (grid_->AlphaBlendSelection()) {
        const GridCell& first = record.Cells[0];
        const Rgb own = first.FormatIndex >= 0 ? Translate(grid_->Formats().at(first.FormatIndex).BackColor) : ps.backColour;
        colour = BlendColor(own == ps.backColour ? selColour : own, ps.backColour, 150);
      }
      const Rect bar{rnw - 1, y + 1, ps.right, y + h + 1};
      switch (grid_->FocusRowHighlightStyle()) {
        case 1: c.Gradient(bar, colour, ps.backColour, true); break;
        case 2: c.Gradient(bar, colour, ps.backColour, false); break;
        default: c.FillRect(bar, colour); break;
      }
    }

    for (std::size_t k = 0; k < ps.positions.size(); ++k) {
      if (k == ps.frozenCount && ps.frozenCount > 0) c.ClipTo(Rect{ps.frozenRight, y, ps.right, y + h + 1});
      drawCell(c, ps, r, record, ps.positions[k], y, k == 0);
    }
    c.ClearClip();
    if (gridLines == 1 || gridLines == 3) c.Line(rnw, y, ps.right, y, ps.gridColour, lineWidth);
    if (grid_->ShowRowNumbers()) c.Line(0, y, rnw, y, ps.headerBorder, 1);
    if (r == grid_->Row()) {
      ps.currentTop = y;
      ps.currentHeight = h;
    }
    reached = r;
    y += h;
    even = !even;
  }
  rowLastVisible_ = std::min(reached, lastRow);

  std::int32_t bottom = y;
  if (ranOut) {
    if (grid_->TotalsLineShow()) {
      drawTotalsLine(c, ps, y);
      bottom = y + m_.RowHeightDefault;
    } else {
      c.Line(0, y, ps.right, y, ps.gridColour, lineWidth);
    }
  }
  drawGridLines(c, ps, bottom);
  if (!keepFocusRect) drawFocusRect(c, ps);
  return ranOut;
}

void GridDisplay::drawCell(Canvas& c, PaintState& ps, std::int32_t row, const GridRow& record, std::int32_t position,
                           std::int32_t y, bool firstColumn) {
  const std::int32_t col = grid_->ColumnAtPosition(position);
  const GridColumn& column = grid_->Column(col);
  const GridCell& cell = record.Cells[static_cast<std::size_t>(col)];
  const std::int32_t rnw = m_.RowNumberWidth;
  const std::int32_t x = rnw + ColumnLeft(position);
  const std::int32_t w = column.PixelWidth;
  const std::int32_t h = record.Height;
  const bool selected = (record.Flags & rowflag::Selected) && (grid_->MultiSelect() || grid_->FocusRowHighlight());
  const CellFormat* format = cell.FormatIndex >= 0 ? &grid_->Formats().at(cell.FormatIndex) : nullptr;
  const std::int32_t imageStyle = selected && grid_->ApplySelectionToImages() ? 2 : 1;

  // Every cell carries the grid's BackColor from the moment it was added; only a
  // colour given to the cell is its own. It shows where it differs from the colour
  // its row was filled with (the even-row colour on striped rows).
  if (!selected && format && format->BackColor != grid_->BackColor()) {
    const Rgb own = Translate(format->BackColor);
    if (own != ps.rowColour) c.FillRect(Rect{x, y + 1, x + w, y + h + 1}, own);
  }
  if (firstColumn && !record.GroupHeader && grid_->RowCheckBoxes())
    DrawCheckBox(c, Rect{rnw + 3, y, rnw + m_.CheckBoxSize, y + h}, record.Flags & rowflag::Checked);
  if (firstColumn && imageList_ && record.Image != 0) {
    const std::int32_t iy = grid_->CenterRowImage() ? y + (h - m_.ImageHeight) / 2 : y + grid_->MinVerticalOffset();
    c.Image(*imageList_, std::abs(record.Image), rnw + m_.ImageLeftOffset, iy, imageStyle);
  }
  if (column.DataType == datatype::Boolean && !record.GroupHeader)
    DrawCheckBox(c, CellRect(position, y, h, 1), cell.Flags & cellflag::Checked);
  const bool button = column.DataType == datatype::Button;
  if (button) DrawCellButton(c, Rect{x, y, x + w, y + h}, pressedRow_ == row && pressedPos_ == position ? 3 : 1);
  if (column.DataType == datatype::Progress) {
    const std::int32_t value = std::clamp<std::int32_t>(cell.Flags, 0, 100);
    const std::int32_t fill = roundEven((w - 2) / 100.0 * value);
    const Rect bar{x + 2, y + 2, x + fill, y + h - 2};
    if (!bar.empty()) c.FillRect(bar, Translate(grid_->CellProgressBarColor()));
  }

  const std::string text = cellDisplayText(cell, column);
  if (!text.empty()) {
    Rect tr = firstColumn ? Rect{rnw + m_.TextLeftOffset + 3, y, x + w - 3, y + h} : Rect{x + 3, y, x + w - 3, y + h};
    tr.top += grid_->MinVerticalOffset();
    Rgb fore = Translate(format ? format->ForeColor : grid_->ForeColor());
    if (selected && !grid_->FocusRowHighlightKeepTextForecolor()) fore = Translate(grid_->ForeColorSel());
    if (button) fore = Translate(syscolour::BtnText);
    c.SetFont(cellFont(cell));
    c.SetTextColour(fore);
    const std::uint32_t align = static_cast<std::uint16_t>(cell.Alignment);
    const bool wrap = (cell.Flags & cellflag::WordWrap) && grid_->AllowWordWrap() && text.find('\r') == std::string::npos;
    if (wrap) {
      std::int32_t wrapWidth = tr.width();
      if (imageList_ && (record.GroupHeader || (firstColumn && record.Image != 0))) wrapWidth -= m_.ImageWidth;
      const std::string wrapped = WrapText(c, text, wrapWidth, -1);
      const Rect measured = c.DrawString(wrapped, tr, dt::CalcRect | dt::WordBreak | dt::NoPrefix | m_.DrawTextEllipsis);
      const std::int32_t textHeight = measured.height();
      if (align & dt::VCenter) tr.top = y + (h - textHeight) / 2;
      else if (align & dt::Bottom) tr.top = y + h - textHeight - grid_->MinVerticalOffset();
      drawCellText(c, wrapped, tr, (align & ~(dt::VCenter | dt::Bottom | dt::SingleLine)) | dt::WordBreak);
    } else {
      drawCellText(c, text, tr, align | dt::SingleLine);
    }
  }

  if (auto picture = grid_->CellPictureGet(row, col)) c.Picture(*picture, CellRect(position, y, h, 0));
  if (imageList_ && format && format->Image != 0) {
    const Rect ir = CellRect(position, y, h, 2);
    c.Image(*imageList_, std::abs(format->Image), ir.left, ir.top, imageStyle);
  } else if (imageList_ && expandRowImage_ > 0 && grid_->AllowWordWrap() && (cell.Flags & cellflag::WordWrap)) {
    const Rect ir = CellRect(position, y, h, 2);
    c.Image(*imageList_, expandRowImage_, ir.left, ir.top, imageStyle);
  }
}

void GridDisplay::SetExpandRowImage(std::int16_t index) {
  expandRowImage_ = index;
  DrawGrid(grid_ && grid_->Drawing(), false);
}

namespace {

// The index a text stands for when it is a number (spaces round it allowed, halves
// rounded to even); none when it is not one.
std::optional<std::int16_t> imageNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  value = std::nearbyint(value);
  if (value < INT16_MIN || value > INT16_MAX) throwOverflow("ExpandRowImage is beyond an image index");
  return static_cast<std::int16_t>(value);
}

}  // namespace

void GridDisplay::SetExpandRowImage(std::string_view indexOrKey) {
  if (const std::optional<std::int16_t> number = imageNumber(indexOrKey)) {
    SetExpandRowImage(*number);
    return;
  }
  const std::optional<std::int32_t> index = imageList_ ? imageList_->IndexOfKey(indexOrKey) : std::nullopt;
  if (!index) {
    const std::string what = "ExpandRowImage: no image of the image list has the key \"" + std::string(indexOrKey) + "\"";
    throwInvalidCall(what.c_str());
  }
  if (*index > INT16_MAX) throwOverflow("ExpandRowImage is beyond an image index");
  SetExpandRowImage(static_cast<std::int16_t>(*index));
}

std::variant<std::int16_t, std::string> GridDisplay::ExpandRowImage() const {
  if (expandRowImage_ >= 0) return expandRowImage_;
  const std::int32_t index = -static_cast<std::int32_t>(expandRowImage_);
  if (!imageList_) throwSubscript(("ExpandRowImage: no image list holds image " + std::to_string(index)).c_str());
  return imageList_->Key(index);
}

void GridDisplay::DrawCheckBox(Canvas& c, Rect r, bool checked) {
  if (platform_.StylesAvailable() && c.ThemePart("Button", 3, checked ? 5 : 1, r)) return;
  const std::int32_t side = scaledToScreen(14);
  r.top = (r.top + r.bottom) / 2 - side / 2;
  r.bottom = r.top + side;
  c.FrameControl(r, dfc::Button, checked ? (dfc::ButtonCheck | dfc::Flat | dfc::Checked) : (dfc::ButtonCheck | dfc::Flat));
}

void GridDisplay::DrawCellButton(Canvas& c, Rect r, std::int32_t state) {
  r.right += 1;
  r.bottom += 1;
  if (platform_.StylesAvailable() && c.ThemePart("Button", 1, state, r)) return;
  c.FrameControl(r, dfc::Button, state == 3 ? (dfc::ButtonPush | dfc::Pushed) : dfc::ButtonPush);
}

void GridDisplay::DrawSortArrow(Canvas& c, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t lines,
                                std::int32_t direction) {
  if (direction != 1 && direction != 2) return;
  const Rgb colour = Translate(syscolour::DkShadow3D);
  for (std::int32_t i = 0; i < lines; ++i) {
    const std::int32_t ly = direction == 1 ? y + i : y + lines - 1 - i;
    c.Line(x + i, ly, x + i + width - 2 * i, ly, colour, 1);
  }
}

void GridDisplay::DrawCaption(Canvas& c) {
  if (grid_->Caption().empty()) return;
  const std::int32_t widthPx = roundEven(VisibleWidth() / platform_.TwipsPerPixelX());
  const Rect band{-1, 0, widthPx + 1 + m_.RowNumberWidth, m_.CaptionHeight};
  DrawHeaderBackground(c, band, 1, true);
  c.SetFont(canvasFont(grid_->FontHeader()));
  c.SetTextColour(Translate(grid_->ForeColorHdr()));
  const Rect text{band.left + 15, m_.CaptionHeight / 8, band.right - 15, m_.CaptionHeight};
  drawCellText(c, grid_->Caption(), text, static_cast<std::uint32_t>(grid_->CaptionAlignment()) | dt::SingleLine);
  c.SetFont(canvasFont(grid_->Font()));
}

std::int32_t GridDisplay::DrawHeaderRow(Canvas& c, std::int32_t hotColumn) {
  const std::int32_t rnw = m_.RowNumberWidth;
  if (grid_->ShowRowNumbers() && grid_->ColumnHeaders())
    DrawHeaderBackground(c, Rect{0, m_.CaptionHeight, rnw, m_.HeaderHeight}, 1);
  columnLeft_.assign(static_cast<std::size_t>(grid_->Cols()), -1);
  std::int32_t x = 0;
  for (std::int32_t pos : displayedPositions()) {
    columnLeft_[static_cast<std::size_t>(pos)] = x;
    const std::int32_t state = pos == pressedHeader_ ? pressedHeaderState_ : pos == hotColumn ? 2 : 1;
    DrawHeaderCell(c, pos, state);
    x += grid_->Column(grid_->ColumnAtPosition(pos)).PixelWidth;
  }
  gridRight_ = rnw + x;
  drawDropMark(c);
  return gridRight_;
}

void GridDisplay::drawDropMark(Canvas& c) {
  if (dropMark_ < 0 || !grid_->ColumnHeaders()) return;
  const std::int32_t left = ColumnLeft(dropMark_);
  if (left < 0) return;
  const Rgb colour = Translate(grid_->ForeColorHdr());
  const std::int32_t w = grid_->Column(grid_->ColumnAtPosition(dropMark_)).PixelWidth;
  std::int32_t x = m_.RowNumberWidth + left;
  if (dropSwap_) {
    c.Outline(Rect{x + 1, m_.CaptionHeight + 1, x + w - 1, m_.HeaderHeight - 1}, colour, 2);
  } else {
    // A column running past the window shows the bar at the window's edge.
    if (dropRight_) x = std::min(x + w, surface_.ClientSize().cx - 2);
    c.FillRect(Rect{std::max(x - 1, m_.RowNumberWidth), m_.CaptionHeight, x + 2, m_.HeaderHeight}, colour);
  }
}

void GridDisplay::RedrawHeader() {
  if (!grid_ || !grid_->Drawing() || painting_) return;
  Canvas& c = surface_.DrawingCanvas();
  c.ClearClip();
  DrawHeaderRow(c, hotHeader_);
  c.SetFont(canvasFont(grid_->Font()));
  surface_.Show();
}

void GridDisplay::DrawHeaderCell(Canvas& c, std::int32_t position, std::int32_t state) {
  if (!grid_->ColumnHeaders()) return;
  const std::int32_t left = ColumnLeft(position);
  if (left < 0) return;
  const GridColumn& column = grid_->Column(grid_->ColumnAtPosition(position));
  const Rect r{m_.RowNumberWidth + left, m_.CaptionHeight, m_.RowNumberWidth + left + column.PixelWidth, m_.HeaderHeight};
  DrawHeaderBackground(c, r, state);
  c.SetFont(canvasFont(grid_->FontHeader()));
  c.SetTextColour(Translate(grid_->ForeColorHdr()));
  Rect tr{r.left + 3, r.top, r.right - 3, r.bottom};
  const bool arrow = column.SortState == 1 || column.SortState == 2;
  if (arrow) tr.right -= 12;
  const std::uint32_t align = static_cast<std::uint32_t>(column.Alignment);
  if (grid_->ColumnHeaderLines() > 1) {
    const std::string wrapped = WrapText(c, column.Caption, tr.width(), grid_->ColumnHeaderLines());
    drawCellText(c, wrapped, tr, (align & ~dt::SingleLine) | dt::WordBreak | dt::WordEllipsis);
  } else {
    drawCellText(c, column.Caption, tr, align | dt::SingleLine);
  }
  if (arrow) {
    if (grid_->ColumnHeaderSmall()) DrawSortArrow(c, r.right - 12, r.top + 6, 6, 3, column.SortState);
    else DrawSortArrow(c, r.right - 12, r.top + 6, 9, 5, column.SortState);
  }
  c.SetFont(canvasFont(grid_->Font()));
}

void GridDisplay::drawTotalsLine(Canvas& c, PaintState& ps, std::int32_t top) {
  const std::int32_t h = m_.RowHeightDefault;
  DrawHeaderBackground(c, Rect{0, top, ps.right, top + h}, 1);
  const Rgb fore = Translate(grid_->ForeColorHdr());
  c.Line(0, top, ps.right, top, fore, grid_->GridLineWidth());
  c.SetFont(canvasFont(grid_->Font()));
  c.SetTextColour(fore);
  for (std::int32_t pos : ps.positions) {
    const std::int32_t col = grid_->ColumnAtPosition(pos);
    const GridColumn& column = grid_->Column(col);
    const std::int32_t x = m_.RowNumberWidth + ColumnLeft(pos);
    const std::string caption = grid_->TotalsLineCaption(col);
    std::string text;
    if (column.DataType == datatype::Number) {
      const auto value = grid_->TotalsLineValue(col);
      const std::string figure = value ? FormatCellText(grid_->locale().formatNumber(*value), column.Format, grid_->locale()) : "";
      text = caption.empty() ? figure : caption + " " + figure;
    } else {
      text = caption;
    }
    if (!text.empty())
      drawCellText(c, text, Rect{x + 3, top + 3, x + column.PixelWidth - 3, top + h},
                   static_cast<std::uint32_t>(column.Alignment) | dt::SingleLine);
  }
}

void GridDisplay::drawGridLines(Canvas& c, PaintState& ps, std::int32_t bottom) {
  const std::int32_t lines = grid_->GridLines();
  if (lines != 1 && lines != 2) return;
  const std::int32_t width = grid_->GridLineWidth();
  for (std::size_t k = 0; k < ps.positions.size(); ++k) {
    const std::int32_t pos = ps.positions[k];
    const std::int32_t x = m_.RowNumberWidth + ColumnLeft(pos) + grid_->Column(grid_->ColumnAtPosition(pos)).PixelWidth - 1;
    const bool lastFrozen = ps.frozenCount > 0 && k + 1 == ps.frozenCount;
    c.Line(x, m_.HeaderHeight, x, bottom, ps.gridColour, lastFrozen ? 2 * width : width);
  }
}

void GridDisplay::drawFocusRect(Canvas& c, PaintState& ps) {
  const std::int32_t mode = grid_->FocusRectMode();
  if (mode == 0 || ps.currentTop < 0) return;
  const std::int32_t y = ps.currentTop, h = ps.currentHeight;
  Rect r;
  if (mode == 1) {
    r = Rect{1, y + 1, ps.right, y + h};
  } else {
    const std::int32_t pos = grid_->ColPosition();
    const std::int32_t left = ColumnLeft(pos);
    if (left < 0) return;
    const std::int32_t x = m_.RowNumberWidth + left;
    r = Rect{x, y + 1, x + grid_->Column(grid_->ColumnAtPosition(pos)).PixelWidth, y + h};
  }
  if (r.right <= m_.RowNumberWidth) return;
  const Rgb colour = grid_->FocusRowHighlight() ? Translate(grid_->FocusRectColor()) : ShadeColor(Translate(grid_->BackColorSel()), -50);
  switch (grid_->FocusRectStyle()) {
    case 0: c.FocusRect(r); break;
    case 1: c.Outline(r, colour, 3); break;
    default: c.FrameRect(r, colour); break;
  }
}

}  // namespace qelvaro::grid
