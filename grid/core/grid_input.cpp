#include "grid_input.h"

#include <algorithm>
#include <cstdlib>

#include "base/utf8.h"

namespace qelvaro::grid {

namespace {

bool inside(const Rect& r, std::int32_t x, std::int32_t y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

std::string utf8Of(std::uint32_t cp) {
  std::string out;
  base::appendUtf8(out, cp);
  return out;
}

}  // namespace

GridInput::GridInput(CellGrid& grid, GridDisplay& display, InputPort& port)
    : grid_(grid), display_(display), port_(port) {
  display_.SetInput(this);
}

// ---------------------------------------------------------------- helpers

GridInput::Hit GridInput::hitTest(std::int32_t x, std::int32_t y) const {
  Hit h;
  if (grid_.Cols() == 0) return h;
  h.pos = display_.ColumnAtX(x);
  h.row = display_.RowAtY(y);
  return h;
}

bool GridInput::onHeader(std::int32_t y) const {
  const GridMetrics& m = display_.Metrics();
  return grid_.ColumnHeaders() && y >= m.CaptionHeight && y < m.HeaderHeight;
}

std::int32_t GridInput::rowTop(std::int32_t row) const { return display_.RowTop(row); }

Rect GridInput::cellRect(std::int32_t row, std::int32_t pos, std::int32_t part) const {
  return display_.CellRect(pos, rowTop(row), grid_.RowRecord(row).Height, part);
}

std::int32_t GridInput::colAt(std::int32_t pos) const { return grid_.ColumnAtPosition(pos); }

bool GridInput::rowLocked(std::int32_t row) const {
  return row >= 0 && row < grid_.Rows() && (grid_.RowRecord(row).Flags & rowflag::Locked);
}

bool GridInput::commitEdit() { return grid_.UpdateCell(false); }

void GridInput::setPointer(std::int32_t shape) {
  if (shape == pointer_) return;
  pointer_ = shape;
  port_.SetPointer(shape);
}

void GridInput::redrawHeader() { display_.RedrawHeader(); }

void GridInput::repaint() {
  if (grid_.Drawing()) display_.DrawGrid(true, false);
}

bool GridInput::selectRow(std::int32_t row, bool on) {
  if (row < 0 || row >= grid_.Rows()) return false;
  if (((grid_.RowRecord(row).Flags & rowflag::Selected) != 0) == on) return false;
  grid_.SuspendDrawing();
  grid_.SetRowSelected(row, on);
  grid_.RestoreDrawing();
  return true;
}

bool GridInput::clearSelection() {
  const bool any = grid_.SelectedCount() > 0;
  if (any) grid_.SelectedClearAll();
  return any;
}

bool GridInput::selectRange(std::int32_t from, std::int32_t to) {
  if (from < 0) from = to;
  if (from > to) std::swap(from, to);
  bool changed = false;
  // Rows outside the range lose their mark, rows inside gain it.
  for (std::int32_t r = 0; r < grid_.Rows(); ++r) changed |= selectRow(r, r >= from && r <= to);
  return changed;
}

void GridInput::makeCurrent(std::int32_t row, std::int32_t pos) { grid_.MoveCurrentCell(row, pos); }

void GridInput::toggleCellCheck(std::int32_t row, std::int32_t col) {
  bool cancel = false;
  grid_.Host().BeforeEdit(row, col, cancel);
  if (cancel) return;
  grid_.SuspendDrawing();
  grid_.SetCellChecked(row, col, !grid_.CellChecked(row, col));
  grid_.SetCellChanged(row, col, true);
  grid_.RestoreDrawing();
}

void GridInput::endResizeMarks() {
  resizeCol_ = resizeRow_ = -1;
  resized_ = false;
}

// ---------------------------------------------------------------- mouse

void GridInput::MouseDown(std::int16_t button, std::int16_t shift, std::int32_t x, std::int32_t y) {
  if (!grid_.InputEnabled()) return;
  HideToolTip();
  if (toolTipWaiting_) toolTipCancelled_ = true;
  // The sizing mark armed by the hover stays: it is what this press drags.
  dragSource_ = swapSource_ = dropTarget_ = -1;
  display_.SetDropMark(-1, false);
  downShift_ = shift;
  pressIgnored_ = pressOnHeader_ = pressOnRow_ = false;
  downSizingCol_ = pointer_ == pointer::SizeWE ? resizeCol_ : -1;
  bool selectionChanged = false;

  if (button != 0 && grid_.Cols() > 0) {
    display_.SetLastKey(0);
    stopAutoScroll();
    const Hit h = hitTest(x, y);
    downX_ = x;
    const std::int32_t multi = grid_.MultiSelect();

    if (!(button & mousebutton::Left)) {
      downRow_ = h.row;
      if (h.row >= 0 && (!grid_.RowSelected(h.row) || multi == 0) && commitEdit()) {
        selectionChanged = clearSelection();
        selectionChanged |= selectRow(h.row, true);
        makeCurrent(h.row, h.pos >= 0 ? h.pos : grid_.ColPosition());
        repaint();
      }
    } else if (rowLocked(h.row)) {
      pressIgnored_ = true;
      return;
    } else {
      downRow_ = h.row;
      port_.SetCapture(true);
      captured_ = true;
      if (h.row < 0 && onHeader(y)) {
        pressOnHeader_ = true;
        if ((grid_.AllowColumnSort() || grid_.AllowColumnDrag() || grid_.AllowColumnSwap()) &&
            pointer_ != pointer::SizeWE && h.pos >= 0) {
          pressedHeader_ = h.pos;
          display_.SetHeaderPress(h.pos, 3);
          redrawHeader();
        }
      } else if (pointer_ == pointer::SizeNS && resizeRow_ >= 0) {
        // A press on a row's sizing edge sizes the row; it selects nothing.
      } else if (h.row >= 0 && grid_.Rows() > 0) {
        pressOnRow_ = true;
        dragLastRow_ = h.row;
        if (commitEdit()) {
          bool changed = false;
          const GridMetrics& m = display_.Metrics();
          const std::int32_t strip = m.RowNumberWidth + std::max<std::int32_t>(15, m.CheckBoxSize);
          const bool buttonCell = h.pos >= 0 && grid_.Column(colAt(h.pos)).DataType == datatype::Button;
          if (x > strip || !grid_.RowCheckBoxes()) {
            if (h.pos >= 0) {
              const std::int32_t col = colAt(h.pos);
              if (grid_.Column(col).DataType == datatype::Boolean && !grid_.ColLocked(col) &&
                  inside(cellRect(h.row, h.pos, 1), x, y)) {
                const bool before = grid_.CellChecked(h.row, col);
                toggleCellCheck(h.row, col);
                changed = before != grid_.CellChecked(h.row, col);
              }
            }
            const bool ctrl = shift & shiftkey::Ctrl;
            if (multi != 0) {
              if (ctrl || multi == 2) {
                selectionChanged |= selectRow(h.row, !grid_.RowSelected(h.row));
              } else if (shift & shiftkey::Shift) {
                selectionChanged |= selectRange(grid_.Row() >= 0 ? grid_.Row() : h.row, h.row);
              } else {
                selectionChanged |= clearSelection();
                selectionChanged |= selectRow(h.row, true);
              }
            } else if (ctrl) {
              const bool flipped = !grid_.RowSelected(h.row);
              selectionChanged |= clearSelection();
              selectionChanged |= selectRow(h.row, flipped);
            } else if (!grid_.RowSelected(h.row)) {
              selectionChanged |= clearSelection();
              selectionChanged |= selectRow(h.row, true);
            }
            const std::int32_t before = grid_.Row(), beforePos = grid_.ColPosition();
            makeCurrent(h.row, h.pos >= 0 ? h.pos : grid_.ColPosition());
            changed |= before != grid_.Row() || beforePos != grid_.ColPosition();
          } else {
            grid_.SuspendDrawing();
            grid_.SetRowChecked(h.row, !grid_.RowChecked(h.row));
            grid_.RestoreDrawing();
            grid_.Host().RowCheckChanged(h.row);
            changed = true;
          }
          if (buttonCell) display_.SetPressedButtonCell(h.row, h.pos);
          if (changed || selectionChanged || buttonCell) repaint();
        }
      }
    }
  }
  if (selectionChanged) grid_.Host().SelectionChanged();
  float fx = static_cast<float>(x), fy = static_cast<float>(y);
  grid_.Host().MouseDown(button, shift, fx, fy);
}

void GridInput::MouseMove(std::int16_t button, std::int16_t shift, std::int32_t x, std::int32_t y) {
  if (!grid_.InputEnabled()) return;
  if (!inside_) MouseEnter();
  const Hit h = hitTest(x, y);
  if (grid_.Rows() > 0 && (h.row != mouseRow_ || h.pos != mousePos_)) {
    HideToolTip();
    mouseRow_ = h.row;
    mousePos_ = h.pos;
    grid_.SetMouseCell(h.row, h.pos);
    if (h.row == -1) {
      if (toolTipWaiting_) toolTipCancelled_ = true;
    } else {
      startToolTipWait();
    }
  }
  const bool left = button & mousebutton::Left;

  if (pressedHeader_ >= 0 && left) {
    const std::int32_t state = h.row < 0 && onHeader(y) && h.pos == pressedHeader_ ? 3 : 1;
    display_.SetHeaderPress(pressedHeader_, state);
    if (state != pressedState_) {
      pressedState_ = state;
      redrawHeader();
    }
  }

  if (button == 0 && grid_.AllowColumnHover()) {
    const std::int32_t hot = h.row < 0 && onHeader(y) ? h.pos : -1;
    if (hot != hotHeader_) {
      hotHeader_ = hot;
      display_.SetHotHeader(hot);
      redrawHeader();
    }
  }

  if (left) {
    if (pressOnHeader_ && pressedHeader_ >= 0 && (grid_.AllowColumnDrag() || grid_.AllowColumnSwap())) {
      const bool swap = !grid_.AllowColumnDrag();
      std::int32_t target = h.pos;
      if (target < 0 && x >= display_.Metrics().RowNumberWidth) target = lastShownPosition();
      (swap ? swapSource_ : dragSource_) = pressedHeader_;
      if (target != dropTarget_) {
        dropTarget_ = target;
        display_.SetDropMark(target == pressedHeader_ ? -1 : target, swap, target > pressedHeader_);
        redrawHeader();
      }
    } else if (resizeCol_ >= 0) {
      const std::int32_t width = x - resizeColLeft_;
      // A column is never dragged narrower than 5 pixels.
      if (width > 4) resizeColumnTo(width);
    } else if (resizeRow_ >= 0) {
      const std::int32_t height = y - resizeRowTop_;
      if (height > display_.Metrics().RowHeightDefault) {
        display_.SetRowHeight(resizeRow_, static_cast<float>(height));
        resized_ = true;
      }
    } else if (captured_ && pressOnRow_) {
      if (y < 0) {
        startAutoScroll(1);
      } else if (y > display_.Metrics().HeaderHeight && y > surfaceHeight()) {
        startAutoScroll(2);
      } else if (h.row >= 0) {
        stopAutoScroll();
        if (!(shift & shiftkey::Shift) && h.row != dragLastRow_) {
          dragLastRow_ = h.row;
          bool changed;
          if (grid_.MultiSelect() != 0) {
            changed = selectRange(downRow_, h.row);
          } else {
            changed = clearSelection();
            changed |= selectRow(h.row, true);
          }
          makeCurrent(h.row, h.pos >= 0 ? h.pos : grid_.ColPosition());
          if (changed) grid_.Host().SelectionChanged();
          repaint();
        }
      }
    }
  } else if (button == 0) {
    std::int32_t shape = pointer::Default;
    resizeCol_ = resizeRow_ = -1;
    const GridMetrics& m = display_.Metrics();
    if (h.row < 0 && onHeader(y) && grid_.AllowColumnResizing()) {
      for (std::int32_t pos = 0; pos < grid_.Cols(); ++pos) {
        const std::int32_t left = display_.ColumnLeft(pos);
        if (left < 0) continue;
        const std::int32_t edge = m.RowNumberWidth + left + grid_.Column(colAt(pos)).PixelWidth;
        if (x > edge - 4 && x < edge + 4) {
          shape = pointer::SizeWE;
          resizeCol_ = pos;
          resizeColLeft_ = m.RowNumberWidth + left;
          break;
        }
      }
    } else if (y > m.HeaderHeight && grid_.AllowRowResizing() && grid_.Rows() > 0) {
      // The row whose bottom edge lies within 4 pixels of the pointer.
      const std::int32_t r = h.row >= 0 ? h.row : display_.RowLastVisible();
      for (std::int32_t cand : {r, r - 1}) {
        if (cand < 0 || rowTop(cand) < 0) continue;
        const std::int32_t bottom = rowTop(cand) + grid_.RowRecord(cand).Height;
        if (y > bottom - 4 && y < bottom + 4) {
          shape = pointer::SizeNS;
          resizeRow_ = cand;
          resizeRowTop_ = rowTop(cand);
          break;
        }
      }
    }
    if (shape == pointer::Default && h.row >= 0 && h.pos >= 0 && grid_.CellHandPointer(h.row, colAt(h.pos)))
      shape = pointer::Hand;
    setPointer(shape);
  }
  float fx = static_cast<float>(x), fy = static_cast<float>(y);
  grid_.Host().MouseMove(button, shift, fx, fy);
}

std::int32_t GridInput::lastShownPosition() const {
  std::int32_t last = -1, lastLeft = -1;
  for (std::int32_t pos = 0; pos < grid_.Cols(); ++pos) {
    const std::int32_t left = display_.ColumnLeft(pos);
    if (left > lastLeft) {
      lastLeft = left;
      last = pos;
    }
  }
  return last;
}

std::int32_t GridInput::surfaceHeight() const { return display_.ClientHeight(); }

void GridInput::resizeColumnTo(std::int32_t width) {
  const std::int32_t col = colAt(resizeCol_);
  if (grid_.Column(col).PixelWidth == width) return;
  display_.SetColumnPixelWidth(col, width);
  resized_ = true;
  repaint();
  grid_.Host().ColumnSizeChanged(col, grid_.Column(col).MoveControl ? 1 : 0);
  if (grid_.EditPending()) PlaceEditor();
}

void GridInput::MouseUp(std::int16_t button, std::int16_t shift, std::int32_t x, std::int32_t y) {
  if (!grid_.InputEnabled()) return;
  if (captured_) port_.SetCapture(false);
  const Hit h = hitTest(x, y);
  mouseRow_ = h.row;
  mousePos_ = h.pos;
  grid_.SetMouseCell(h.row, h.pos);
  const bool leftUp = button & mousebutton::Left;

  if (leftUp && pressIgnored_) {
    pressIgnored_ = false;
    if (clearSelection()) {
      grid_.Host().SelectionChanged();
      repaint();
    }
    captured_ = false;
    if (h.pos >= 0) grid_.Host().ColumnClick(colAt(h.pos));
    return;
  }

  bool moved = false;
  if (dropTarget_ >= 0 && (swapSource_ >= 0 || dragSource_ >= 0)) {
    std::vector<std::int32_t> order = grid_.ColumnOrder();
    if (swapSource_ >= 0 && dropTarget_ != swapSource_) {
      std::swap(order[static_cast<std::size_t>(swapSource_)], order[static_cast<std::size_t>(dropTarget_)]);
      moved = true;
    } else if (dragSource_ >= 0 && dropTarget_ != dragSource_) {
      const std::int32_t carried = order[static_cast<std::size_t>(dragSource_)];
      order.erase(order.begin() + dragSource_);
      order.insert(order.begin() + dropTarget_, carried);
      moved = true;
    }
    if (moved) grid_.SetColumnOrder(order);
  }
  display_.SetDropMark(-1, false);
  display_.SetHeaderPress(-1, 1);
  if (moved) repaint();

  if ((resizeCol_ >= 0 || resizeRow_ >= 0) && resized_) {
    display_.UpdateScrollBars();
    repaint();
  }

  if (h.row < 0 && onHeader(y)) {
    if (!moved && pressedHeader_ >= 0 && h.pos == pressedHeader_) {
      if (grid_.AllowColumnSort()) grid_.HeaderClick(h.pos, (shift & shiftkey::Ctrl) != 0);
      else redrawHeader();
    }
    if (h.pos >= 0) grid_.Host().ColumnClick(colAt(h.pos));
  } else if (pressedHeader_ >= 0) {
    redrawHeader();
  }

  if (h.row >= 0 && h.pos >= 0 && pressOnRow_ && leftUp) {
    const std::int32_t col = colAt(h.pos);
    const Rect imageBox = cellRect(h.row, h.pos, 2);
    const bool onImage = inside(imageBox, x, y);
    if (onImage && grid_.CellImage(h.row, col) != 0) grid_.Host().CellImageClick(h.row, col);
    if (onImage && grid_.AllowWordWrap() && display_.ExpandRowImageIndex() > 0 && grid_.CellWordWrap(h.row, col) &&
        grid_.Row() >= 0) {
      const GridMetrics& m = display_.Metrics();
      const std::int32_t oneLine = m.HeaderTextHeight + 2 * grid_.MinVerticalOffset() + 2;
      const std::int32_t cur = grid_.Row();
      if (grid_.RowRecord(cur).Height != oneLine) display_.SetRowHeight(cur, static_cast<float>(oneLine));
      else display_.SetRowHeight(cur, -1.0f);
    }
    if (grid_.Column(col).DataType == datatype::Button) {
      display_.SetPressedButtonCell(-1, -1);
      repaint();
      grid_.Host().CellButtonClick(h.row, col);
    }
    if (pointer_ == pointer::Hand) {
      std::int16_t s = downShift_;
      grid_.Host().CellHandClick(h.row, col, s);
    }
  } else if (pressOnRow_) {
    display_.SetPressedButtonCell(-1, -1);
  }

  captured_ = false;
  stopAutoScroll();
  const bool headerPress = pressedHeader_ >= 0;
  pressedHeader_ = -1;
  pressedState_ = 3;
  dragSource_ = swapSource_ = dropTarget_ = -1;
  endResizeMarks();
  if (headerPress) redrawHeader();
  float fx = static_cast<float>(x), fy = static_cast<float>(y);
  grid_.Host().MouseUp(button, shift, fx, fy);
}

void GridInput::Click() {
  if (!grid_.InputEnabled()) return;
  const std::int32_t row = mouseRow_;
  if (pressOnRow_ && row >= 0 && !rowLocked(row) && (grid_.EditTrigger() & 8) && !grid_.EditPending())
    ToggleEdit(false);
  if (pressOnRow_) {
    grid_.Host().Click();
    std::int16_t s = downShift_;
    grid_.Host().CellClick(grid_.Row(), grid_.Col(), s);
  }
}

void GridInput::DblClick() {
  if (!grid_.InputEnabled()) return;
  const std::int32_t row = mouseRow_;
  if (pressOnRow_ && row >= 0 && !rowLocked(row) && (grid_.EditTrigger() & 16) && !grid_.EditPending()) {
    display_.SetLastKey(vk::F2);
    ToggleEdit(false);
  }
  if (pressOnHeader_ && downSizingCol_ >= 0 && grid_.AllowColumnResizing()) {
    display_.ColWidthAutoSize(colAt(downSizingCol_));
    display_.UpdateScrollBars();
    repaint();
  } else {
    grid_.Host().DblClick();
  }
}

void GridInput::MouseEnter() {
  if (inside_) return;
  inside_ = true;
  port_.TrackMouseLeave();
  grid_.Host().MouseEnter();
}

void GridInput::MouseLeave() {
  if (!inside_) return;
  inside_ = false;
  HideToolTip();
  if (toolTipWaiting_) toolTipCancelled_ = true;
  mouseRow_ = mousePos_ = -1;
  setPointer(pointer::Default);
  hotHeader_ = -1;
  display_.SetHotHeader(-1);
  redrawHeader();
  grid_.Host().MouseLeave();
}

void GridInput::DropText(std::int32_t x, std::int32_t y, std::string_view text) {
  if (!grid_.AllowEdit() || !grid_.InputEnabled()) return;
  const Hit h = hitTest(x, y);
  if (h.row < 0 || h.pos < 0) return;
  const std::int32_t col = colAt(h.pos);
  const std::int16_t type = grid_.Column(col).DataType;
  if (type == datatype::Number || type == datatype::Boolean) grid_.SetCellValue(h.row, col, std::string(text));
  else grid_.SetCellText(h.row, col, text);
}

// ---------------------------------------------------------------- auto-scroll

void GridInput::startAutoScroll(std::int32_t direction) {
  if (autoScroll_ == direction) return;
  autoScroll_ = direction;
  port_.StartTimer(inputtimer::AutoScroll, inputtimer::AutoScrollStep);
}

void GridInput::stopAutoScroll() {
  if (autoScroll_ == 0) return;
  autoScroll_ = 0;
  port_.StopTimer(inputtimer::AutoScroll);
}

void GridInput::AutoScrollLoopStep() {
  if (autoScroll_ == 0 || grid_.Rows() == 0) {
    stopAutoScroll();
    return;
  }
  ScrollBarWrapper& bars = display_.ScrollBars();
  const std::int32_t value = bars.Value(sb::Vert);
  const bool multi = grid_.MultiSelect() != 0;
  const std::int32_t pos = grid_.ColPosition();
  std::int32_t edgeRow;
  if (autoScroll_ == 1) {
    if (bars.Min(sb::Vert) >= value) return;
    const std::int32_t top = display_.PrevRowFrom(value, 1, 0);
    display_.SBSetValue(sb::Vert, top);
    edgeRow = top;
    if (multi) selectRange(std::min(downRow_, top), std::max(downRow_, grid_.Row()));
  } else {
    if (value >= bars.Max(sb::Vert)) return;
    const std::int32_t top = display_.NextRowFrom(value, 1, 0);
    display_.SBSetValue(sb::Vert, top);
    edgeRow = std::min(top + display_.VisibleRowCount() - 1, grid_.Rows() - 1);
    if (multi) selectRange(std::min(downRow_, grid_.Row()), std::max(downRow_, edgeRow));
  }
  if (!multi) {
    clearSelection();
    selectRow(edgeRow, true);
  }
  dragLastRow_ = edgeRow;
  makeCurrent(edgeRow, pos);
  grid_.Host().SelectionChanged();
  grid_.Host().Scroll();
  repaint();
}

// ---------------------------------------------------------------- tooltip

void GridInput::startToolTipWait() {
  if (!grid_.AutoToolTips() || toolTipWaiting_ || grid_.EditPending()) return;
  if (mouseRow_ < 0 || mousePos_ < 0) return;
  if (grid_.Column(colAt(mousePos_)).DataType == datatype::Boolean) return;
  toolTipWaiting_ = true;
  toolTipCancelled_ = false;
  port_.StartTimer(inputtimer::ToolTip, inputtimer::ToolTipDelay);
}

void GridInput::showToolTip() {
  const std::int32_t row = mouseRow_, pos = mousePos_;
  if (row < 0 || pos < 0 || row >= grid_.Rows() || pos >= grid_.Cols() || grid_.EditPending()) return;
  if (grid_.Column(colAt(pos)).DataType == datatype::Boolean || rowTop(row) < 0) return;
  if (!display_.CellTextCutOff(row, pos)) return;
  const std::int32_t col = colAt(pos);
  CanvasFont font = canvasFont(grid_.Font());
  font.bold = font.bold || grid_.CellFontBold(row, col);
  font.italic = font.italic || grid_.CellFontItalic(row, col);
  port_.ShowToolTip(cellRect(row, pos, 0), display_.CellShownText(row, pos), font, 0,
                    display_.Translate(0x80000018u));
  toolTipShown_ = true;
}

void GridInput::HideToolTip() {
  if (!toolTipShown_) return;
  toolTipShown_ = false;
  port_.HideToolTip();
}

void GridInput::Timer(std::int32_t id) {
  if (id == inputtimer::AutoScroll) {
    AutoScrollLoopStep();
  } else if (id == inputtimer::ToolTip) {
    port_.StopTimer(inputtimer::ToolTip);
    const bool cancelled = toolTipCancelled_;
    toolTipWaiting_ = false;
    toolTipCancelled_ = false;
    if (!cancelled) showToolTip();
  }
}

// ---------------------------------------------------------------- keyboard

std::int32_t GridInput::prevRow(std::int32_t from) const {
  if (from < 0) return grid_.Rows() > 0 ? display_.NextRowFrom(-1, 1, rowflag::Locked) : -1;
  return display_.PrevRowFrom(from, 1, rowflag::Locked);
}

std::int32_t GridInput::nextRow(std::int32_t from) const {
  if (grid_.Rows() == 0) return -1;
  return display_.NextRowFrom(from, 1, rowflag::Locked);
}

bool GridInput::KeyDown(std::int16_t key, std::int16_t shift) {
  if (!grid_.InputEnabled()) return false;
  HideToolTip();
  if (toolTipWaiting_) toolTipCancelled_ = true;
  endResizeMarks();
  shift_ = shift;
  bool single = true;
  const std::int32_t cur = grid_.Row();
  std::int32_t newRow = cur;
  std::int32_t newPos = grid_.ColPosition();
  bool moved = false;
  bool consumed = false;
  const bool editing = grid_.EditPending();
  const std::int32_t multi = grid_.MultiSelect();
  const bool ctrl = shift & shiftkey::Ctrl;
  const bool withShift = shift & shiftkey::Shift;
  const std::int32_t rows = grid_.Rows();
  ScrollBarWrapper& bars = display_.ScrollBars();

  switch (key) {
    case vk::Enter:
    case vk::Esc:
      display_.SetLastKey(key);
      if (!(grid_.EditTrigger() & 32)) {
        if (key == vk::Esc) {
          consumed = editing;
          CancelEdit();
        } else {
          consumed = ToggleEdit(false);
        }
      }
      break;
    case vk::Insert:
      if (grid_.AllowInsert() && !editing) {
        keyInsert();
        consumed = true;
      }
      break;
    case vk::Delete:
      if (grid_.AllowDelete() && !editing && rows > 0) {
        keyDelete();
        consumed = true;
      }
      break;
    case vk::F2:
      display_.SetLastKey(vk::F2);
      if (grid_.EditTrigger() & 4) consumed = ToggleEdit(false);
      break;
    case vk::Space:
      // A space typed into the open editor is text, not a tick.
      if (!editing) {
        keyHandled_ = true;
        keySpace();
        consumed = true;
      }
      break;
    case vk::A:
      if (ctrl && !editing) {
        keyHandled_ = true;
        if ((multi & 2) && rows > 0) {
          if (selectRange(0, rows - 1)) grid_.Host().SelectionChanged();
          repaint();
        }
        consumed = true;
      }
      break;
    case vk::C:
      if (ctrl) {
        keyHandled_ = true;
        if (!editing) {
          port_.CopyText(selectionText());
          consumed = true;
        }
      }
      break;
    case vk::V:
      if (ctrl) keyHandled_ = true;
      break;
    case vk::Up:
    case vk::Down:
      display_.SetLastKey(key);
      if (withShift && (multi & 1)) single = false;
      if (rows > 0 && commitEdit()) {
        newRow = key == vk::Up ? prevRow(cur) : nextRow(cur);
        moved = consumed = true;
      }
      break;
    case vk::Left:
    case vk::Right:
      if (editing) {
        if (display_.LastKey() != vk::F2) {
          const std::int32_t caret = port_.EditorCaret();
          if ((key == vk::Left && caret <= 0) || (key == vk::Right && caret >= port_.EditorLength()))
            consumed = ToggleEdit(false);
        }
      } else if (grid_.Cols() > 0) {
        display_.SetLastKey(key);
        newPos = key == vk::Left ? display_.PrevColFrom(newPos, newPos < 0) : display_.NextColFrom(newPos, newPos < 0);
        moved = consumed = rows > 0;
      }
      break;
    case vk::PageUp:
      if (!editing && rows > 0 && commitEdit()) {
        display_.SetLastKey(key);
        display_.SBSetValue(sb::Vert, std::max(display_.RowFirstVisible() - display_.VisibleRowCount(), 0));
        repaint();
        consumed = true;
      }
      break;
    case vk::PageDown:
      if (!editing && rows > 0 && commitEdit()) {
        display_.SetLastKey(key);
        if (cur < rows - 1) display_.SBSetValue(sb::Vert, std::min(display_.RowLastVisible(), rows - 1));
        repaint();
        consumed = true;
      }
      break;
    case vk::Home:
    case vk::End: {
      const bool home = key == vk::Home;
      if ((withShift || ctrl) && rows > 0) {
        if (!commitEdit()) break;
        display_.SetLastKey(key);
        newRow = home ? nextRow(-1) : display_.PrevRowFrom(rows, 1, rowflag::Locked);
        if (withShift) {
          single = false;
          if (multi != 0 && selectRange(std::min(newRow, std::max(cur, 0)), std::max(newRow, std::max(cur, 0))))
            grid_.Host().SelectionChanged();
        }
        bars.WriteValue(sb::Vert, home ? bars.Min(sb::Vert) : bars.Max(sb::Vert));
        moved = consumed = true;
      } else if (!editing && grid_.Cols() > 0 && rows > 0) {
        display_.SetLastKey(key);
        newPos = home ? display_.NextColFrom(0, true) : display_.PrevColFrom(0, true);
        display_.SBSetValue(sb::Horz, home ? bars.Min(sb::Horz) : bars.Max(sb::Horz));
        moved = consumed = true;
      }
      break;
    }
    default:
      break;
  }

  if (moved && newRow >= 0) {
    bool changed = false;
    if (newRow != cur && single) changed |= clearSelection();
    changed |= selectRow(newRow, true);
    if (changed) grid_.Host().SelectionChanged();
    // An arrow that leaves the window starts the next page with the new row, rather
    // than creeping along one row at a time at the edge.
    const bool arrow = key == vk::Up || key == vk::Down;
    const bool offScreen = newRow < display_.RowFirstVisible() || newRow > display_.RowLastVisible();
    makeCurrent(newRow, newPos);
    if (arrow && offScreen) display_.ScrollRowToTop(newRow);
    repaint();
  }
  std::int16_t k = key, s = shift;
  grid_.Host().KeyDown(k, s);
  return consumed;
}

void GridInput::keyInsert() {
  const std::int32_t cur = grid_.Row();
  bool cancel = false;
  grid_.Host().BeforeInsert(cur, cancel);
  if (cancel) return;
  const std::int32_t at = cur >= 0 ? cur : 0;
  grid_.AddItem({}, grid_.Rows() == 0 ? -1 : at);
  grid_.RowColSet(at, -1);
  grid_.Host().AfterInsert(at + 1);
}

void GridInput::keyDelete() {
  const std::int32_t cur = grid_.Row();
  if (cur < 0) return;
  if (grid_.FocusRectMode() != 2) {
    bool cancel = false;
    grid_.Host().BeforeDelete(cur, cancel);
    if (cancel) return;
    grid_.RemoveItem(-1);
    grid_.Host().AfterDelete();
    return;
  }
  const std::int32_t col = grid_.Col();
  if (col < 0 || grid_.Column(col).DataType == datatype::Boolean || grid_.ColLocked(col)) return;
  bool cancel = false;
  grid_.Host().BeforeEdit(cur, col, cancel);
  grid_.Host().BeforeDelete(cur, cancel);
  if (cancel) return;
  grid_.SetCellText(cur, col, "");
  std::string empty;
  bool ignored = false;
  grid_.Host().AfterEdit(cur, col, empty, ignored);
  grid_.Host().AfterDelete();
}

void GridInput::keySpace() {
  const std::int32_t row = grid_.Row();
  if (row < 0) return;
  if (grid_.RowCheckBoxes()) {
    grid_.SuspendDrawing();
    grid_.SetRowChecked(row, !grid_.RowChecked(row));
    grid_.RestoreDrawing();
    grid_.Host().RowCheckChanged(row);
    repaint();
    return;
  }
  const std::int32_t col = grid_.Col();
  if (col < 0) return;
  if (grid_.CellHandPointer(row, col)) {
    std::int16_t s = shift_;
    grid_.Host().CellHandClick(row, col, s);
  }
  const GridColumn& column = grid_.Column(col);
  if (column.DataType == datatype::Button) grid_.Host().CellButtonClick(row, col);
  if (column.DataType == datatype::Boolean && !grid_.ColLocked(col) && !rowLocked(row)) {
    const bool before = grid_.CellChecked(row, col);
    toggleCellCheck(row, col);
    if (before != grid_.CellChecked(row, col)) {
      std::string text = grid_.CellText(row, col);
      bool cancel = false;
      grid_.Host().AfterEdit(row, col, text, cancel);
    }
    repaint();
  }
}

std::string GridInput::selectionText() const {
  std::string out;
  const std::vector<std::int32_t>& order = grid_.ColumnOrder();
  auto appendRow = [&](std::int32_t row) {
    bool first = true;
    for (std::int32_t col : order) {
      if (!grid_.ColVisible(col)) continue;
      if (!first) out += '\t';
      first = false;
      out += grid_.CellText(row, col);
    }
    out += "\r\n";
  };
  if (grid_.SelectedCount() > 1) {
    for (std::int32_t r = 0; r < grid_.Rows(); ++r)
      if (grid_.RowRecord(r).Visible && (grid_.RowRecord(r).Flags & rowflag::Selected)) appendRow(r);
  } else if (grid_.Row() >= 0 && grid_.Col() >= 0) {
    out = grid_.CellText(grid_.Row(), grid_.Col());
  }
  return out;
}

bool GridInput::KeyPress(std::uint32_t character) {
  if (!grid_.InputEnabled() || !grid_.Enabled()) return false;
  bool swallowed = false;
  const std::int32_t trigger = grid_.EditTrigger();
  if (trigger & 32) {
    if (grid_.EditPending()) {
      if (character == vk::Esc) {
        CancelEdit();
        swallowed = true;
      } else if (character == vk::Enter) {
        ToggleEdit(true);
        swallowed = true;
      }
    } else if (!keyHandled_ && (character == vk::Enter || character >= 32) && grid_.AllowEdit() &&
               grid_.Row() >= 0 && grid_.ColPosition() >= 0) {
      ToggleEdit(false);
      if (grid_.EditPending()) {
        swallowed = true;
        if (character != vk::Enter) {
          const std::uint32_t kept = EditorKeyPress(character);
          if (kept != 0) {
            const std::string text = utf8Of(kept);
            port_.SetEditorText(text);
            grid_.SetEditText(text);
          }
        }
      }
    }
  }
  if (!swallowed && (character == vk::Enter || character == vk::Esc) && (trigger & 2)) swallowed = true;
  if (!swallowed && !keyHandled_ && !grid_.EditPending() && port_.IsAlphaNumeric(character)) search(character);
  if (!swallowed) {
    std::int16_t k = static_cast<std::int16_t>(character);
    grid_.Host().KeyPress(k);
  }
  return swallowed;
}

void GridInput::search(std::uint32_t character) {
  const std::uint32_t now = port_.TickCount();
  if (!searchStarted_ || now - searchTime_ > 999) searchText_.clear();
  searchText_ += utf8Of(character);
  searchTime_ = now;
  searchStarted_ = true;
  const std::int32_t col = grid_.SearchColumn();
  if (col < 0 || col >= grid_.Cols() || grid_.Rows() == 0) return;
  // Typed text finds the first row that begins with it. (Mode 4, "same first letter
  // and sorting at or before", would never find "banana" from "b".)
  const std::int32_t found = grid_.FindItem(searchText_, col, 5, false, 0);
  if (found < 0) return;
  ScrollBarWrapper& bars = display_.ScrollBars();
  display_.SBSetValue(sb::Vert, std::min(found, bars.Max(sb::Vert)));
  const std::int32_t pos = grid_.ColPosition();
  grid_.RowColSet(found, pos >= 0 ? colAt(pos) : -1);
  repaint();
}

void GridInput::KeyUp(std::int16_t key, std::int16_t shift) {
  keyHandled_ = false;
  std::int16_t k = key, s = shift;
  grid_.Host().KeyUp(k, s);
  shift_ = shift;
}

std::uint32_t GridInput::EditorKeyPress(std::uint32_t character) {
  const std::int32_t col = grid_.EditCol();
  if (col < 0) return character;
  const std::string& filter = grid_.Column(col).InputFilter;
  if (!filter.empty() && filter != "<" && filter != ">" && character != vk::Back && character != '.' &&
      filter.find(utf8Of(character)) == std::string::npos)
    character = 0;
  std::int16_t k = static_cast<std::int16_t>(character);
  grid_.Host().EditKeyPress(col, k);
  return static_cast<std::uint16_t>(k);
}

// ---------------------------------------------------------------- editing

bool GridInput::ToggleEdit(bool moveAfter) {
  if (!grid_.AllowEdit()) return false;
  if (grid_.EditPending()) grid_.UpdateCell(moveAfter);
  else BeginEdit(grid_.Row(), grid_.ColPosition());
  return true;
}

EditorLook GridInput::editorLook(std::int32_t row, std::int32_t pos) const {
  const std::int32_t col = colAt(pos);
  EditorLook look;
  look.text = grid_.CellText(row, col);
  look.fore = display_.Translate(grid_.ForeColorEdit());
  look.back = display_.Translate(grid_.BackColorEdit());
  look.font = canvasFont(grid_.Font());
  const std::string own = grid_.CellFontName(row, col);
  if (!own.empty()) look.font.name = own;
  look.font.bold = grid_.CellFontBold(row, col) || grid_.Font().bold;
  look.font.italic = grid_.CellFontItalic(row, col) || grid_.Font().italic;
  look.font.underline = grid_.CellFontUnderline(row, col) || grid_.Font().underline;
  std::int32_t align = grid_.CellAlignment(row, col);
  if (align == 0) align = grid_.Column(col).Alignment;
  switch (align) {
    case 1: case 5: case 9: look.alignment = 2; break;
    case 0: case 4: case 8: look.alignment = 0; break;
    default: look.alignment = 1; break;
  }
  const std::string& filter = grid_.Column(col).InputFilter;
  look.letterCase = filter == "<" ? 1 : filter == ">" ? 2 : 0;
  look.multiLine = grid_.AllowWordWrap() && grid_.CellWordWrap(row, col);
  look.rect = editorRect(row, pos);
  return look;
}

Rect GridInput::editorRect(std::int32_t row, std::int32_t pos) const {
  const GridMetrics& m = display_.Metrics();
  const std::int32_t top = rowTop(row);
  const std::int32_t left = display_.ColumnLeft(pos);
  if (top < 0 || left < 0) return Rect{};
  const std::int32_t line = grid_.GridLines() != 0 ? grid_.GridLineWidth() : 0;
  const bool firstShown = left == 0;
  std::int32_t x = m.RowNumberWidth + left + (firstShown ? 0 : line);
  // The first column's row check box stays visible and clickable beside the editor.
  if (firstShown && grid_.RowCheckBoxes()) x = m.RowNumberWidth + m.TextLeftOffset;
  const std::int32_t right = m.RowNumberWidth + left + grid_.Column(colAt(pos)).PixelWidth;
  return Rect{x, top + line, right, top + grid_.RowRecord(row).Height};
}

void GridInput::BeginEdit(std::int32_t row, std::int32_t pos) {
  if (row < 0 || pos < 0 || row >= grid_.Rows() || pos >= grid_.Cols()) return;
  const std::int32_t col = colAt(pos);
  if (grid_.ColLocked(col) || rowLocked(row) || grid_.Column(col).DataType == datatype::Boolean) return;
  bool cancel = false;
  grid_.Host().BeforeEdit(row, col, cancel);
  if (cancel) return;
  HideToolTip();
  // The editor sits over the cell, so the cell must be on screen first.
  if (rowTop(row) < 0 || display_.ColumnLeft(pos) < 0) {
    display_.EnsureRowVisible(row);
    repaint();
  }
  const EditorLook look = editorLook(row, pos);
  grid_.OpenEdit(row, pos, look.text);
  if (const std::shared_ptr<GridControl>& bound = grid_.Column(col).EditControl) port_.ShowBoundControl(*bound, look);
  else port_.ShowEditor(look);
}

void GridInput::ForceCellEdit(std::int32_t lNewRow, std::int32_t lNewCol, bool bBlankCell) {
  if (!grid_.UpdateCell(false)) return;
  grid_.RowColSet(lNewRow, lNewCol);
  display_.SetLastKey(vk::F2);
  // Opened whether or not editing is allowed; the flag is not touched, so the
  // focus rectangle keeps its mode.
  BeginEdit(grid_.Row(), grid_.ColPosition());
  if (bBlankCell && grid_.EditPending()) {
    port_.SetEditorText("");
    grid_.SetEditText("");
  }
}

void GridInput::CancelEdit() { grid_.CancelEdit(); }

void GridInput::PlaceEditor() {
  if (!grid_.EditPending()) return;
  const std::int32_t row = grid_.EditRow(), pos = grid_.EditColPosition();
  if (row < 0 || pos < 0) return;
  const Rect r = editorRect(row, pos);
  if (const std::shared_ptr<GridControl>& bound = grid_.Column(colAt(pos)).EditControl) port_.MoveBoundControl(*bound, r);
  else port_.MoveEditor(r);
}

void GridInput::EditorHidden(GridControl* bound) {
  if (bound) port_.HideBoundControl(*bound);
  else port_.HideEditor();
}

}  // namespace qelvaro::grid
