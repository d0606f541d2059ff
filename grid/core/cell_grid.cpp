#include "cell_grid.h"

#include <algorithm>
#include <cmath>

#include "grid_error.h"
#include "value_reading.h"

namespace qelvaro::grid {

CellGrid::CellGrid(const Locale& locale, GridHost* host, GridView* view)
    : locale_(&locale), host_(host ? host : &nullHost_), view_(view ? view : &nullView_) {
  rowOrder_.reserve(1);
  localeIsEnglish_ = locale.info(0x1001) == "English";
}

CellGrid::~CellGrid() = default;

// ---------------------------------------------------------------- argument checks

std::int32_t CellGrid::checkCol(std::int32_t vCol) const {
  if (vCol < 0 || vCol >= Cols()) throwSubscript("column index");
  return vCol;
}

std::int32_t CellGrid::checkRow(std::int32_t row) const {
  if (row < 0 || row > lastRow_) throwSubscript("row index");
  return row;
}

bool CellGrid::fixRow(std::int32_t& row) const {
  if (lastRow_ < 0) return false;
  if (row < 0) row = curRow_ >= 0 ? curRow_ : 0;
  if (row > lastRow_) row = lastRow_;
  return true;
}

bool CellGrid::fixRef(std::int32_t& row, std::int32_t& col) const {
  if (!fixRow(row)) return false;
  if (col < 0) {
    const std::int32_t current = Col();
    col = current >= 0 ? current : 0;
  }
  return col < Cols();
}

GridCell* CellGrid::cellRef(std::int32_t row, std::int32_t col) {
  if (!fixRef(row, col)) return nullptr;
  return &rowAt(row).Cells[static_cast<std::size_t>(col)];
}

const GridCell* CellGrid::cellRef(std::int32_t row, std::int32_t col) const {
  if (!fixRef(row, col)) return nullptr;
  return &rowAt(row).Cells[static_cast<std::size_t>(col)];
}

// ---------------------------------------------------------------- drawing state

void CellGrid::repaint() {
  if (drawing_) view_->Paint();
}

void CellGrid::refreshIfRedraw() {
  if (drawing_) {
    view_->Refresh();
    metricsDue_ = scrollBarsDue_ = false;
  } else {
    metricsDue_ = scrollBarsDue_ = true;
  }
}

void CellGrid::RestoreDrawing() {
  drawing_ = redraw_;
  if (drawing_ && (metricsDue_ || scrollBarsDue_)) {
    view_->Refresh();
    metricsDue_ = scrollBarsDue_ = false;
  }
}

void CellGrid::SetRedraw(bool value) {
  view_->ApplyFreezeRule();
  redraw_ = drawing_ = value;
  host_->PropertyChanged("Redraw");
  if (value) {
    if (metricsDue_ || scrollBarsDue_) view_->Refresh();
    else view_->Paint();
  }
  metricsDue_ = scrollBarsDue_ = false;
}

void CellGrid::Refresh() {
  view_->Refresh();
  metricsDue_ = scrollBarsDue_ = false;
}

// ---------------------------------------------------------------- columns

std::int32_t CellGrid::AddColumn(std::string_view Caption, float Width, std::int32_t Alignment,
                                 std::int32_t DataType, std::string_view Format,
                                 std::string_view InputFilter, std::int32_t ImageAlignment,
                                 bool WordWrap, std::int32_t Index, bool bVisible, bool bLocked) {
  settleTotals();
  const std::int32_t newCol = Cols();
  GridColumn column;
  column.Caption = Caption;
  column.Width = Width + 1;
  column.PixelWidth = static_cast<std::int32_t>(
      std::lround(view_->ScaleXToPixels(static_cast<double>(column.Width), props_.ScaleUnits)));
  column.Alignment = Alignment;
  column.ImageAlignment = ImageAlignment;
  column.SortState = 0;
  column.DataType = static_cast<std::int16_t>(DataType);
  column.Format = Format;
  if (!InputFilter.empty()) column.InputFilter = InputFilter;
  else if (DataType == datatype::Number) column.InputFilter = "1234567890.-,";
  else if (DataType == datatype::Date) column.InputFilter = "1234567890./-";
  column.Flags = WordWrap ? cellflag::WordWrap : 0;
  column.Visible = bVisible;
  column.Locked = bLocked;

  columns_.push_back(std::move(column));
  totals_.push_back(0.0);
  totalsOptions_.emplace_back();
  std::int32_t result;
  if (Index > 0 && Index < newCol) {
    colOrder_.insert(colOrder_.begin() + Index, newCol);
    result = Index;
  } else {
    colOrder_.push_back(newCol);
    result = newCol;
  }
  ++generation_;

  if (lastRow_ >= 0) {
    drawing_ = false;
    const GridColumn& col = columns_.back();
    // Every new cell takes the grid-wide defaults; a full format table leaves them on
    // the defaults without an entry, as a format walk skips cells that fail.
    std::int16_t format = -1;
    try {
      format = formats_.acquire(defaultFormat());
    } catch (const GridError&) {
    }
    const std::size_t oldCount = static_cast<std::size_t>(newCol);
    for (GridRow& row : rows_) {
      std::unique_ptr<GridCell[]> cells(new GridCell[oldCount + 1]);
      for (std::size_t c = 0; c < oldCount; ++c) cells[c] = std::move(row.Cells[c]);
      GridCell& cell = cells[oldCount];
      cell.Alignment = static_cast<std::int16_t>(col.Alignment);
      cell.Flags = col.Flags;
      cell.FormatIndex = format;
      row.Cells = std::move(cells);
    }
    if (format >= 0) formats_.addRef(format, static_cast<std::int32_t>(rows_.size()));
    RestoreDrawing();
  }
  refreshIfRedraw();
  return result;
}

void CellGrid::SetColVisible(std::int32_t vCol, bool value) {
  columns_[checkCol(vCol)].Visible = value;
  repaint();
}

bool CellGrid::ColLocked(std::int32_t vCol) const {
  if (vCol == -1 || lockAllColumns_) return true;
  return columns_[checkCol(vCol)].Locked;
}

void CellGrid::SetColLocked(std::int32_t vCol, bool value) {
  columns_[checkCol(vCol)].Locked = value;
  repaint();
}

void CellGrid::SetColAlignment(std::int32_t vCol, std::int32_t value) {
  columns_[checkCol(vCol)].Alignment = value;
  repaint();
}

void CellGrid::SetColImageAlignment(std::int32_t vCol, std::int32_t value) {
  columns_[checkCol(vCol)].ImageAlignment = value;
  repaint();
}

void CellGrid::SetColHeading(std::int32_t vCol, std::string_view value) {
  columns_[checkCol(vCol)].Caption = value;
  repaint();
}

void CellGrid::SetColFormat(std::int32_t vCol, std::string_view value) {
  columns_[checkCol(vCol)].Format = value;
  repaint();
}

void CellGrid::BindControl(std::int32_t vCol, std::shared_ptr<GridControl> Ctrl, bool MoveControl) {
  GridColumn& column = columns_[checkCol(vCol)];
  column.EditControl = std::move(Ctrl);
  column.MoveControl = MoveControl;
}

std::int32_t CellGrid::ColumnAtPosition(std::int32_t position) const {
  if (position < 0 || position >= static_cast<std::int32_t>(colOrder_.size()))
    throwSubscript("display position");
  return colOrder_[static_cast<std::size_t>(position)];
}

std::int32_t CellGrid::PositionOfColumn(std::int32_t vCol) const {
  for (std::size_t i = 0; i < colOrder_.size(); ++i)
    if (colOrder_[i] == vCol) return static_cast<std::int32_t>(i);
  return -1;
}

void CellGrid::SetColumnOrder(const std::vector<std::int32_t>& order) {
  if (order.size() != columns_.size()) throwInvalidCall("column order has the wrong length");
  std::vector<bool> seen(order.size(), false);
  for (std::int32_t c : order) {
    if (c < 0 || c >= Cols() || seen[static_cast<std::size_t>(c)])
      throwInvalidCall("column order is not a permutation of the columns");
    seen[static_cast<std::size_t>(c)] = true;
  }
  colOrder_ = order;
  refreshIfRedraw();
}

std::int32_t CellGrid::Col() const {
  if (curColPos_ < 0 || curColPos_ >= static_cast<std::int32_t>(colOrder_.size())) return -1;
  return colOrder_[static_cast<std::size_t>(curColPos_)];
}

std::int32_t CellGrid::MouseCol() const {
  if (colOrder_.empty()) return 0;
  if (mouseCol_ < 0 || mouseCol_ >= static_cast<std::int32_t>(colOrder_.size())) return -1;
  return colOrder_[static_cast<std::size_t>(mouseCol_)];
}

// ---------------------------------------------------------------- formats

CellFormat CellGrid::defaultFormat() const {
  CellFormat f;
  f.BackColor = props_.BackColor;
  f.ForeColor = props_.ForeColor;
  f.FontName = props_.Font.name;
  f.HandPointer = false;
  f.Image = 0;
  return f;
}

CellFormat CellGrid::currentFormat(const GridCell& cell) const {
  if (cell.FormatIndex < 0) return defaultFormat();
  CellFormat f = formats_.at(cell.FormatIndex);
  f.RefCount = 0;
  return f;
}

void CellGrid::applyCellFormat(GridCell& cell, int mode, const CellFormat& value) {
  if (lastRow_ < 0) return;
  CellFormat combination = currentFormat(cell);
  switch (mode) {
    case 1: combination.BackColor = value.BackColor; break;
    case 2: combination.ForeColor = value.ForeColor; break;
    case 3: combination.Image = value.Image; break;
    case 4: combination.FontName = value.FontName; break;
    case 8: combination.HandPointer = value.HandPointer; break;
    default: return;
  }
  const std::int16_t chosen = formats_.acquire(combination);
  if (chosen != cell.FormatIndex) {
    formats_.addRef(chosen);
    formats_.release(cell.FormatIndex);
    cell.FormatIndex = chosen;
  }
}

void CellGrid::setCellFormatComponent(std::int32_t vRow, std::int32_t vCol, int mode, const CellFormat& value) {
  GridCell* cell = cellRef(vRow, vCol);
  if (!cell) return;
  applyCellFormat(*cell, mode, value);
  repaint();
}

std::int16_t CellGrid::CellFormatIndex(std::int32_t vRow, std::int32_t vCol) const {
  const GridCell* cell = cellRef(vRow, vCol);
  return cell ? cell->FormatIndex : -1;
}

Colour CellGrid::CellBackColor(std::int32_t vRow, std::int32_t vCol) const {
  const GridCell* cell = cellRef(vRow, vCol);
  return cell ? currentFormat(*cell).BackColor : 0;
}

void CellGrid::SetCellBackColor(std::int32_t vRow, std::int32_t vCol, Colour value) {
  CellFormat f;
  f.BackColor = value;
  setCellFormatComponent(vRow, vCol, 1, f);
}

Colour CellGrid::CellForeColor(std::int32_t vRow, std::int32_t vCol) const {
  const GridCell* cell = cellRef(vRow, vCol);
  return cell ? currentFormat(*cell).ForeColor : 0;
}

void CellGrid::SetCellForeColor(std::int32_t vRow, std::int32_t vCol, Colour value) {
  CellFormat f;
  f.ForeColor = value;
  setCellFormatComponent(vRow, vCol, 2, f);
}

std::string CellGrid::CellFontName(std::int32_t vRow, std::int32_t vCol) const {
  const GridCell* cell = cellRef(vRow, vCol);
  return cell ? currentFormat(*cell).FontName : std::string();
}

void CellGrid::SetCellFontName(std::int32_t vRow, std::int32_t vCol, std::string_view value) {
  CellFormat f;
  f.FontName = value;
  setCellFormatComponent(vRow, vCol, 4, f);
}

bool CellGrid::CellHandPointer(std::int32_t vRow, std::int32_t vCol) const {
  const GridCell* cell = cellRef(vRow, vCol);
  return cell ? currentFormat(*cell).HandPointer : false;
}

void CellGrid::SetCellHandPointer(std::int32_t vRow, std::int32_t vCol, bool value) {
  CellFormat f;
  f.HandPointer = value;
  setCellFormatComponent(vRow, vCol, 8, f);
}

std::int16_t CellGrid::CellImage(std::int32_t vRow, std::int32_t vCol) const {
  const GridCell* cell = cellRef(vRow, vCol);
  return cell ? currentFormat(*cell).Image : 0;
}

void CellGrid::SetCellImage(std::int32_t vRow, std::int32_t vCol, std::int16_t value) {
  CellFormat f;
  f.Image = value;
  setCellFormatComponent(vRow, vCol, 3, f);
}

// ---------------------------------------------------------------- row store

void CellGrid::ensureCapacity(std::size_t slots) {
  // The logical capacity follows CacheIncrement; the vectors underneath grow
  // geometrically so that a million AddItem calls do not copy the store each time.
  if (rows_.capacity() < slots) rows_.reserve(std::max(slots, rows_.capacity() + rows_.capacity() / 2));
  if (rowOrder_.capacity() < slots)
    rowOrder_.reserve(std::max(slots, rowOrder_.capacity() + rowOrder_.capacity() / 2));
}

void CellGrid::growRowsFor(std::int32_t newLast) {
  if (newLast < rowCapacity_) return;
  const std::int32_t increment = std::max<std::int32_t>(props_.CacheIncrement, 0);
  const std::int64_t wanted = static_cast<std::int64_t>(newLast) + increment + 1;
  rowCapacity_ = static_cast<std::int32_t>(std::min<std::int64_t>(wanted, INT32_MAX));
  ensureCapacity(static_cast<std::size_t>(rowCapacity_));
}

void CellGrid::shrinkRowsIfSpare() {
  const std::int32_t count = lastRow_ + 1;
  if (rowCapacity_ - count > std::max<std::int32_t>(props_.CacheIncrement, 0)) {
    rowCapacity_ = count;
    rows_.shrink_to_fit();
    rowOrder_.shrink_to_fit();
  }
}

void CellGrid::setRowFlag(GridRow& row, std::uint16_t bit, bool on) {
  const bool was = row.Flags & bit;
  SetFlag(row.Flags, bit, on);
  if (was == on) return;
  const std::int32_t delta = on ? 1 : -1;
  if (bit == rowflag::Checked) checkedCount_ += delta;
  else if (bit == rowflag::Selected) selectedCount_ += delta;
}

std::int32_t CellGrid::AddItem(std::string_view vstrItem, std::int32_t vRow, bool vbRowChecked,
                               bool vbMarkAsNew, bool vbRowLocked, bool vbRowVisible,
                               std::int32_t vRowData) {
  if (columns_.empty())
    AddColumn({}, view_->VisibleClientWidth(), 4, datatype::Text, {}, {}, 4, false, 0, true, false);

  // Taken first: a full format table must fail before the grid changes.
  const std::int16_t format = formats_.acquire(defaultFormat());

  const std::int32_t newLast = lastRow_ + 1;
  if (newLast == INT32_MAX) throwOverflow("too many rows");
  growRowsFor(newLast);
  const std::size_t cols = columns_.size();
  GridRow row;
  row.Height = rowHeightDefault_;
  row.Cells.reset(new GridCell[cols]);

  std::string_view rest = vstrItem;
  bool more = true;
  for (std::size_t c = 0; c < cols; ++c) {
    const GridColumn& column = columns_[c];
    GridCell& cell = row.Cells[c];
    cell.Alignment = static_cast<std::int16_t>(column.Alignment);
    cell.FormatIndex = format;
    cell.Flags = column.Flags;
    if (!more) continue;
    const std::size_t tab = rest.find('\t');
    const std::string_view piece = rest.substr(0, tab);
    if (tab == std::string_view::npos) more = false;
    else rest.remove_prefix(tab + 1);
    if (piece.empty()) continue;
    cell.Text.assign(piece);
    if (column.DataType == datatype::Boolean)
      SetFlag(cell.Flags, cellflag::Checked, grid::rVal(piece, *locale_) != 0);
  }
  formats_.addRef(format, static_cast<std::int32_t>(cols));

  row.RowData = vRowData;
  row.Visible = vbRowVisible;
  if (!vbRowVisible) ++hiddenCount_;
  setRowFlag(row, rowflag::Checked, vbRowChecked);
  setRowFlag(row, rowflag::Locked, vbRowLocked);
  setRowFlag(row, rowflag::New, vbMarkAsNew);

  rows_.push_back(std::move(row));
  const auto stored = static_cast<std::int32_t>(rows_.size() - 1);
  std::int32_t result;
  if (vRow < 0 || vRow >= newLast) {
    rowOrder_.push_back(stored);
    result = newLast;
  } else {
    rowOrder_.insert(rowOrder_.begin() + vRow, stored);
    result = vRow;
  }
  lastRow_ = newLast;
  ++generation_;

  recalcRowHeight(result);
  refreshIfRedraw();
  host_->RowCountChanged();
  return result;
}

void CellGrid::RemoveRow(std::int32_t vRow) {
  if (lastRow_ < 0) return;
  if (vRow == -1) {
    vRow = curRow_;
    if (vRow < 0) return;  // no current row: nothing to remove
  }
  // Rows beyond the last one would address spare slots of the store; they are
  // refused instead of removing whatever a stale slot holds.
  checkRow(vRow);

  settleTotals();
  GridRow& row = rowAt(vRow);
  const bool wasSelected = row.Flags & rowflag::Selected;
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    if (row.Cells[c].FormatIndex >= 0) formats_.release(row.Cells[c].FormatIndex);
    totals_[c] -= grid::rVal(row.Cells[c].Text.view(), *locale_);
  }
  setRowFlag(row, rowflag::Checked, false);
  setRowFlag(row, rowflag::Selected, false);
  if (!row.Visible) --hiddenCount_;

  const std::int32_t stored = rowOrder_[static_cast<std::size_t>(vRow)];
  rows_.erase(rows_.begin() + stored);
  totalsRows_ = rows_.size();  // settled above
  rowOrder_.erase(rowOrder_.begin() + vRow);
  for (std::int32_t& entry : rowOrder_)
    if (entry > stored) --entry;
  const bool wasLast = vRow == lastRow_;
  --lastRow_;
  ++generation_;
  if (edit_.pending) {
    if (edit_.stored == stored) edit_.pending = false;
    else if (edit_.stored > stored) --edit_.stored;
  }

  if (lastRow_ < 0) {
    Clear();
  } else {
    shrinkRowsIfSpare();
    if (wasSelected) {
      if (props_.MultiSelect) host_->SelectionChanged();
      else setRowFlag(rowAt(std::min(vRow, lastRow_)), rowflag::Selected, true);
    }
    if (wasLast && curRow_ >= 0) moveCurrentCell(curRow_ - 1, curColPos_);
    // The current row must keep addressing a row.
    if (curRow_ > lastRow_) moveCurrentCell(lastRow_, curColPos_);
  }
  drawing_ = redraw_;
  refreshIfRedraw();
  host_->RowCountChanged();
}

void CellGrid::DeleteSelected() {
  if (!props_.MultiSelect) {
    RemoveRow(-1);
    return;
  }
  drawing_ = false;
  std::int32_t i = 0;
  while (i <= lastRow_) {
    if (rowAt(i).Flags & rowflag::Selected) RemoveRow(i);
    else ++i;
  }
  RowColSet(0, -1);
  RestoreDrawing();
  repaint();
}

void CellGrid::resetRowState() {
  rows_.clear();
  rows_.shrink_to_fit();
  rowOrder_.clear();
  rowOrder_.shrink_to_fit();
  rowOrder_.reserve(1);
  rowCapacity_ = 1;
  formats_.reset();
  totals_.assign(columns_.size(), 0.0);
  totalsRows_ = 0;
  lastRow_ = -1;
  checkedCount_ = selectedCount_ = hiddenCount_ = 0;
  ++generation_;
}

void CellGrid::Clear() {
  resetRowState();
  curRow_ = curColPos_ = -1;
  mouseRow_ = mouseCol_ = -1;
  sortPrimary_ = sortSecondary_ = -1;
  sortPrimaryIsPosition_ = sortSecondaryIsPosition_ = false;
  cellsChanged_ = false;
  edit_ = PendingEdit{};
  redraw_ = drawing_ = false;
  view_->HideEditor(nullptr);
  view_->HideToolTip();
  view_->Paint();
  // The scroll ranges of the rows that are gone are stale until drawing resumes.
  metricsDue_ = false;
  scrollBarsDue_ = true;
}

void CellGrid::ClearAll() {
  columns_.clear();
  colOrder_.clear();
  totalsOptions_.clear();
  totals_.clear();
  formats_.reset();
  Clear();
}

void CellGrid::SelectedClearAll() {
  for (GridRow& row : rows_) setRowFlag(row, rowflag::Selected, false);
}

// ---------------------------------------------------------------- current cell

void CellGrid::moveCurrentCell(std::int32_t row, std::int32_t colPos) {
  if (row == curRow_ && colPos == curColPos_) return;
  curRow_ = row;
  curColPos_ = colPos;
  host_->RowColChanged();
}

void CellGrid::MoveCurrentCell(std::int32_t row, std::int32_t position) {
  if (row < -1 || row > lastRow_ || position < -1 || position >= Cols()) return;
  moveCurrentCell(row, position);
  if (row >= 0) view_->EnsureRowVisible(row);
}

void CellGrid::RowColSet(std::int32_t vRow, std::int32_t vCol) {
  try {
    std::int32_t colPos = curColPos_;
    if (vCol != -1) {
      if (vCol > Cols() - 1) vCol = Cols() - 1;
      if (!columns_[static_cast<std::size_t>(checkCol(vCol))].Visible) return;
      colPos = std::max<std::int32_t>(PositionOfColumn(vCol), 0);
    }
    if (!fixRow(vRow)) return;
    GridRow& row = rowAt(vRow);
    if (!row.Visible) return;

    bool selectionChanged = false;
    if (vRow != curRow_) {
      const std::int32_t before = selectedCount_;
      SelectedClearAll();
      selectionChanged = before != 0;
    }
    const bool cellMoved = vRow != curRow_ || colPos != curColPos_;
    moveCurrentCell(vRow, colPos);
    if (!(rowAt(vRow).Flags & rowflag::Selected)) {
      setRowFlag(rowAt(vRow), rowflag::Selected, true);
      selectionChanged = true;
      host_->SelectionChanged();
    }
    if (cellMoved || selectionChanged) {
      if (curRow_ >= 0 && curRow_ <= lastRow_) view_->EnsureRowVisible(curRow_);
      repaint();
    }
  } catch (const GridError&) {
    // A bad column or row ends the move silently.
  }
}

std::int32_t CellGrid::NextRow(std::int32_t step, std::int32_t flags) const {
  if (lastRow_ < 0) return -1;
  std::int32_t row = curRow_;
  for (std::int32_t k = 0; k < std::max<std::int32_t>(step, 0); ++k) {
    std::int32_t next = row + 1;
    while (next <= lastRow_) {
      const GridRow& r = rowAt(next);
      if (r.Visible && (!(r.Flags & rowflag::Locked) || (flags & rowflag::Locked))) break;
      ++next;
    }
    if (next > lastRow_) return lastRow_;
    row = next;
  }
  return row;
}

std::int32_t CellGrid::NextCol(bool startOver) const {
  const auto n = static_cast<std::int32_t>(colOrder_.size());
  if (n == 0) return -1;
  const std::int32_t start = startOver ? 0 : std::max<std::int32_t>(curColPos_, 0);
  for (std::int32_t k = startOver ? 0 : 1; k <= n; ++k) {
    const std::int32_t pos = (start + k) % n;
    const GridColumn& column = columns_[static_cast<std::size_t>(colOrder_[static_cast<std::size_t>(pos)])];
    if (column.Visible && !column.Locked && !lockAllColumns_) return pos;
  }
  return start;
}

// ---------------------------------------------------------------- row members

bool CellGrid::RowChecked(std::int32_t vRow) const {
  return fixRow(vRow) && (rowAt(vRow).Flags & rowflag::Checked);
}

void CellGrid::SetRowChecked(std::int32_t vRow, bool value) {
  if (!fixRow(vRow)) return;
  setRowFlag(rowAt(vRow), rowflag::Checked, value);
  repaint();
}

bool CellGrid::RowSelected(std::int32_t vRow) const {
  return fixRow(vRow) && (rowAt(vRow).Flags & rowflag::Selected);
}

void CellGrid::SetRowSelected(std::int32_t vRow, bool value) {
  if (!fixRow(vRow)) return;
  setRowFlag(rowAt(vRow), rowflag::Selected, value);
  repaint();
}

bool CellGrid::RowLocked(std::int32_t vRow) const {
  return fixRow(vRow) && (rowAt(vRow).Flags & rowflag::Locked);
}

void CellGrid::SetRowLocked(std::int32_t vRow, bool value) {
  if (!fixRow(vRow)) return;
  setRowFlag(rowAt(vRow), rowflag::Locked, value);
  repaint();
}

bool CellGrid::RowVisible(std::int32_t vRow) const { return fixRow(vRow) && rowAt(vRow).Visible; }

void CellGrid::SetRowVisible(std::int32_t vRow, bool value) {
  if (!fixRow(vRow)) return;
  GridRow& row = rowAt(vRow);
  if (row.Visible == value) return;
  row.Visible = value;
  hiddenCount_ += value ? -1 : 1;
  if (drawing_) {
    view_->UpdateScrollBars();
    view_->Paint();
  } else {
    scrollBarsDue_ = true;
  }
}

std::int32_t CellGrid::RowData(std::int32_t vRow) const { return fixRow(vRow) ? rowAt(vRow).RowData : 0; }

void CellGrid::SetRowData(std::int32_t vRow, std::int32_t value) {
  if (fixRow(vRow)) rowAt(vRow).RowData = value;
}

void CellGrid::SetRowBackColor(std::int32_t vRow, Colour value) {
  if (!fixRow(vRow)) return;
  CellFormat f;
  f.BackColor = value;
  for (std::size_t c = 0; c < columns_.size(); ++c) applyCellFormat(rowAt(vRow).Cells[c], 1, f);
  repaint();
}

void CellGrid::SetRowForeColor(std::int32_t vRow, Colour value) {
  if (!fixRow(vRow)) return;
  CellFormat f;
  f.ForeColor = value;
  for (std::size_t c = 0; c < columns_.size(); ++c) applyCellFormat(rowAt(vRow).Cells[c], 2, f);
  repaint();
}

void CellGrid::SetRowFontBold(std::int32_t vRow, bool value) {
  if (!fixRow(vRow)) return;
  for (std::size_t c = 0; c < columns_.size(); ++c) SetFlag(rowAt(vRow).Cells[c].Flags, cellflag::Bold, value);
  repaint();
}

RowExtras& CellGrid::extrasOf(GridRow& row) {
  if (!row.Extras) row.Extras = std::make_unique<RowExtras>();
  return *row.Extras;
}

const CellExtra* CellGrid::cellExtra(const GridRow& row, std::int32_t col) const {
  if (!row.Extras) return nullptr;
  for (const CellExtra& e : row.Extras->cells)
    if (e.col == col) return &e;
  return nullptr;
}

CellExtra& CellGrid::cellExtraFor(GridRow& row, std::int32_t col) {
  RowExtras& extras = extrasOf(row);
  for (CellExtra& e : extras.cells)
    if (e.col == col) return e;
  extras.cells.push_back(CellExtra{col, {}, {}});
  return extras.cells.back();
}

std::string CellGrid::RowTag(std::int32_t vRow) const {
  if (!fixRow(vRow)) return {};
  const GridRow& row = rowAt(vRow);
  return row.Extras ? row.Extras->tag : std::string();
}

void CellGrid::SetRowTag(std::int32_t vRow, std::string_view value) {
  if (!fixRow(vRow)) return;
  GridRow& row = rowAt(vRow);
  if (value.empty() && !row.Extras) return;
  extrasOf(row).tag = value;
}

std::int16_t CellGrid::RowGroupHeader(std::int32_t vRow) const {
  return fixRow(vRow) ? rowAt(vRow).GroupHeader : 0;
}

void CellGrid::SetRowGroupHeader(std::int32_t vRow, std::int16_t value) {
  if (fixRow(vRow)) rowAt(vRow).GroupHeader = value;
}

// ---------------------------------------------------------------- cell members

bool CellGrid::cellFlag(std::int32_t vRow, std::int32_t vCol, std::uint16_t bit) const {
  const GridCell* cell = cellRef(vRow, vCol);
  return cell && (cell->Flags & bit);
}

void CellGrid::setCellFlag(std::int32_t vRow, std::int32_t vCol, std::uint16_t bit, bool on) {
  GridCell* cell = cellRef(vRow, vCol);
  if (!cell) return;
  SetFlag(cell->Flags, bit, on);
  repaint();
}

void CellGrid::markCellChanged(GridRow& row, GridCell& cell, bool on) {
  SetFlag(cell.Flags, cellflag::Changed, on);
  cellsChanged_ = true;
  setRowFlag(row, rowflag::Changed, true);
}

void CellGrid::recalcRowHeight(std::int32_t row) {
  if (props_.AllowWordWrap) view_->RecalcRowHeight(row);
}

bool CellGrid::CellChecked(std::int32_t vRow, std::int32_t vCol) const {
  return cellFlag(vRow, vCol, cellflag::Checked);
}

void CellGrid::SetCellChecked(std::int32_t vRow, std::int32_t vCol, bool value) {
  if (!fixRef(vRow, vCol)) return;
  GridRow& row = rowAt(vRow);
  GridCell& cell = row.Cells[static_cast<std::size_t>(vCol)];
  SetFlag(cell.Flags, cellflag::Checked, value);
  if (columns_[static_cast<std::size_t>(vCol)].DataType == datatype::Boolean) {
    storeText(cell, vCol, value ? "True" : "False");
    recalcRowHeight(vRow);
  }
  markCellChanged(row, cell, true);
  repaint();
}

std::string CellGrid::CellTag(std::int32_t vRow, std::int32_t vCol) const {
  if (!fixRef(vRow, vCol)) return {};
  const CellExtra* e = cellExtra(rowAt(vRow), vCol);
  return e ? e->tag : std::string();
}

void CellGrid::SetCellTag(std::int32_t vRow, std::int32_t vCol, std::string_view value) {
  if (!fixRef(vRow, vCol)) return;
  GridRow& row = rowAt(vRow);
  if (value.empty() && !cellExtra(row, vCol)) return;
  cellExtraFor(row, vCol).tag = value;
}

bool CellGrid::CellChanged(std::int32_t vRow, std::int32_t vCol) const {
  return cellFlag(vRow, vCol, cellflag::Changed);
}

void CellGrid::SetCellChanged(std::int32_t vRow, std::int32_t vCol, bool value) {
  if (!fixRef(vRow, vCol)) return;
  GridRow& row = rowAt(vRow);
  markCellChanged(row, row.Cells[static_cast<std::size_t>(vCol)], value);
}

std::int16_t CellGrid::CellProgressValue(std::int32_t vRow, std::int32_t vCol) const {
  if (!fixRef(vRow, vCol)) return 0;
  if (columns_[static_cast<std::size_t>(vCol)].DataType != datatype::Progress) return 0;
  return static_cast<std::int16_t>(rowAt(vRow).Cells[static_cast<std::size_t>(vCol)].Flags);
}

void CellGrid::SetCellProgressValue(std::int32_t vRow, std::int32_t vCol, std::int32_t value) {
  if (!fixRef(vRow, vCol)) return;
  if (columns_[static_cast<std::size_t>(vCol)].DataType != datatype::Progress) return;
  rowAt(vRow).Cells[static_cast<std::size_t>(vCol)].Flags = static_cast<std::uint16_t>(std::clamp(value, 0, 100));
  repaint();
}

std::int16_t CellGrid::CellAlignment(std::int32_t vRow, std::int32_t vCol) const {
  const GridCell* cell = cellRef(vRow, vCol);
  return cell ? cell->Alignment : 0;
}

void CellGrid::SetCellAlignment(std::int32_t vRow, std::int32_t vCol, std::int16_t value) {
  GridCell* cell = cellRef(vRow, vCol);
  if (!cell) return;
  cell->Alignment = value;
  repaint();
}

void CellGrid::CellPicture(std::shared_ptr<GridPicture> picture, std::int32_t vRow, std::int32_t vCol) {
  if (!fixRef(vRow, vCol)) return;
  GridRow& row = rowAt(vRow);
  if (!picture && !cellExtra(row, vCol)) return;
  cellExtraFor(row, vCol).picture = std::move(picture);
}

std::shared_ptr<GridPicture> CellGrid::CellPictureGet(std::int32_t vRow, std::int32_t vCol) const {
  if (!fixRef(vRow, vCol)) return nullptr;
  const CellExtra* e = cellExtra(rowAt(vRow), vCol);
  return e ? e->picture : nullptr;
}

// ---------------------------------------------------------------- lifecycle

void CellGrid::Terminate() {
  terminating_ = true;
  redraw_ = drawing_ = false;
  host_->DoEvents();
  host_->DoEvents();
  columns_.clear();
  colOrder_.clear();
  totals_.clear();
  totalsOptions_.clear();
  resetRowState();
  edit_ = PendingEdit{};
  curRow_ = curColPos_ = -1;
}

}  // namespace qelvaro::grid
