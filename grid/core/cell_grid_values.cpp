// Cell texts and values, the format walks, running totals and the edit commit.
#include <algorithm>
#include <cmath>
#include <limits>

#include "cell_grid.h"
#include "grid_error.h"
#include "value_reading.h"

namespace qelvaro::grid {
namespace {

bool blank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

// Rounds like the classic integer conversions (halves to even); empty when the
// value does not fit.
std::optional<std::int32_t> toLong(double v) {
  const double r = std::nearbyint(v);
  if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
    return std::nullopt;
  return static_cast<std::int32_t>(r);
}

}  // namespace

double CellGrid::rVal(std::string_view vString) const { return grid::rVal(vString, *locale_); }

void CellGrid::settleTotals() const {
  const std::size_t cols = totals_.size();
  for (; totalsRows_ < rows_.size(); ++totalsRows_) {
    const GridCell* cells = rows_[totalsRows_].Cells.get();
    for (std::size_t c = 0; c < cols; ++c) totals_[c] += grid::rVal(cells[c].Text.view(), *locale_);
  }
}

void CellGrid::storeText(GridCell& cell, std::int32_t col, std::string_view text) {
  settleTotals();
  const double newValue = grid::rVal(text, *locale_);
  totals_[static_cast<std::size_t>(col)] += newValue - grid::rVal(cell.Text.view(), *locale_);
  cell.Text.assign(text);
}

std::string CellGrid::CellText(std::int32_t vRow, std::int32_t vCol) const {
  const GridCell* cell = cellRef(vRow, vCol);
  return cell ? cell->Text.str() : std::string();
}

void CellGrid::SetCellText(std::int32_t vRow, std::int32_t vCol, std::string_view value) {
  if (!fixRef(vRow, vCol)) return;
  GridRow& row = rowAt(vRow);
  GridCell& cell = row.Cells[static_cast<std::size_t>(vCol)];
  if (columns_[static_cast<std::size_t>(vCol)].DataType == datatype::Boolean)
    SetFlag(cell.Flags, cellflag::Checked, grid::rVal(value, *locale_) != 0);
  storeText(cell, vCol, value);
  recalcRowHeight(vRow);
  markCellChanged(row, cell, true);
  repaint();
}

CellVariant CellGrid::CellValue(std::int32_t vRow, std::int32_t vCol) const {
  if (!fixRef(vRow, vCol)) return std::monostate{};
  const GridCell& cell = rowAt(vRow).Cells[static_cast<std::size_t>(vCol)];
  if (columns_[static_cast<std::size_t>(vCol)].DataType == datatype::Boolean) {
    if (cell.Text.empty()) return false;
    if (auto b = booleanReading(cell.Text.view(), *locale_)) return *b;
    return std::monostate{};
  }
  return grid::rVal(cell.Text.view(), *locale_);
}

void CellGrid::SetCellValue(std::int32_t vRow, std::int32_t vCol, const CellVariant& value) {
  if (!fixRef(vRow, vCol)) return;
  std::string textForm;
  if (const bool* b = std::get_if<bool>(&value)) textForm = *b ? "True" : "False";
  else if (const double* d = std::get_if<double>(&value)) textForm = locale_->formatNumber(*d);
  else if (const std::string* s = std::get_if<std::string>(&value)) textForm = *s;
  const std::string text = locale_->formatNumber(grid::rVal(textForm, *locale_));

  GridRow& row = rowAt(vRow);
  GridCell& cell = row.Cells[static_cast<std::size_t>(vCol)];
  // Every column's total follows its texts, check-box columns included.
  if (columns_[static_cast<std::size_t>(vCol)].DataType == datatype::Boolean)
    SetFlag(cell.Flags, cellflag::Checked, grid::rVal(text, *locale_) != 0);
  storeText(cell, vCol, text);
  recalcRowHeight(vRow);
  markCellChanged(row, cell, true);
  repaint();
}

void CellGrid::FormatCells(std::int32_t RowFrom, std::int32_t RowTo, std::int32_t ColFrom, std::int32_t ColTo,
                           std::int32_t Mode, std::string_view vNewValue) {
  if (lastRow_ < 0) return;
  if (RowTo == -1) RowTo = lastRow_;
  if (ColTo == -1) ColTo = Cols() - 1;
  // Rows past the last one and negative rows address the last and the current row
  // again, so each is visited once.
  RowTo = std::min(RowTo, lastRow_);
  ColTo = std::min(ColTo, Cols() - 1);
  const double number = grid::rVal(vNewValue, *locale_);
  const bool flagOn = number != 0;

  // One repaint at the end rather than one per cell.
  const bool wasDrawing = drawing_;
  drawing_ = false;
  auto apply = [&](std::int32_t r, std::int32_t c) {
    try {
      switch (Mode) {
        case 1:
        case 2: {
          const auto colour = toLong(number);
          if (!colour) return;
          if (Mode == 1) SetCellBackColor(r, c, static_cast<Colour>(*colour));
          else SetCellForeColor(r, c, static_cast<Colour>(*colour));
          break;
        }
        case 3: {
          const auto image = toLong(number);
          if (!image || *image < INT16_MIN || *image > INT16_MAX) return;
          SetCellImage(r, c, static_cast<std::int16_t>(*image));
          break;
        }
        case 4:
          if (!blank(vNewValue)) SetCellFontName(r, c, vNewValue);
          break;
        case 5: SetCellFontBold(r, c, flagOn); break;
        case 6: SetCellFontItalic(r, c, flagOn); break;
        case 7: SetCellFontUnderline(r, c, flagOn); break;
        case 8: SetCellHandPointer(r, c, flagOn); break;
        default: break;
      }
    } catch (const GridError&) {
      // A cell that cannot take the format is skipped.
    }
  };
  auto walkColumns = [&](std::int32_t r) {
    std::int32_t c = ColFrom;
    if (c < 0) {
      apply(r, -1);
      c = 0;
    }
    for (; c <= ColTo; ++c) apply(r, c);
  };
  std::int32_t r = RowFrom;
  if (r < 0 && r <= RowTo) {
    walkColumns(-1);
    r = 0;
  }
  for (; r <= RowTo; ++r) walkColumns(r);
  drawing_ = wasDrawing;
  repaint();
}

void CellGrid::FormatCellsAlignment(std::int32_t RowFrom, std::int32_t RowTo, std::int32_t ColFrom,
                                    std::int32_t ColTo, std::int32_t vAlignment) {
  if (lastRow_ < 0) return;
  if (RowTo == -1) RowTo = lastRow_;
  if (ColTo == -1) ColTo = Cols() - 1;
  RowFrom = std::max(RowFrom, 0);
  ColFrom = std::max(ColFrom, 0);
  RowTo = std::min(RowTo, lastRow_);
  ColTo = std::min(ColTo, Cols() - 1);
  for (std::int32_t r = RowFrom; r <= RowTo; ++r) {
    GridRow& row = rowAt(r);
    for (std::int32_t c = ColFrom; c <= ColTo; ++c)
      row.Cells[static_cast<std::size_t>(c)].Alignment = static_cast<std::int16_t>(vAlignment);
  }
  repaint();
}

double CellGrid::TotalsCol(std::int32_t vCol) const {
  if (vCol < 0 || vCol >= Cols()) return 0;
  settleTotals();
  return totals_[static_cast<std::size_t>(vCol)];
}

bool CellGrid::TotalsLineColAvg(std::int32_t Index) const {
  if (Index < 0 || Index >= Cols()) return false;
  return totalsOptions_[static_cast<std::size_t>(Index)].Average;
}

void CellGrid::SetTotalsLineColAvg(std::int32_t Index, bool value) {
  if (Index < 0 || Index >= Cols()) return;
  totalsOptions_[static_cast<std::size_t>(Index)].Average = value;
  repaint();
}

std::string CellGrid::TotalsLineCaption(std::int32_t Index) const {
  if (Index < 0 || Index >= Cols()) return {};
  return totalsOptions_[static_cast<std::size_t>(Index)].Caption;
}

void CellGrid::SetTotalsLineCaption(std::int32_t Index, std::string_view value) {
  if (Index < 0 || Index >= Cols()) return;
  totalsOptions_[static_cast<std::size_t>(Index)].Caption = value;
  repaint();
}

std::optional<double> CellGrid::TotalsLineValue(std::int32_t vCol) const {
  if (vCol < 0 || vCol >= Cols()) return std::nullopt;
  settleTotals();
  const double total = totals_[static_cast<std::size_t>(vCol)];
  if (!totalsOptions_[static_cast<std::size_t>(vCol)].Average) return total;
  // The average is over every row; a grid without rows has none.
  if (Rows() == 0) return std::nullopt;
  return total / Rows();
}

// ---------------------------------------------------------------- editing

void CellGrid::OpenEdit(std::int32_t row, std::int32_t displayPosition, std::string_view text) {
  checkRow(row);
  edit_.col = ColumnAtPosition(displayPosition);
  edit_.stored = rowOrder_[static_cast<std::size_t>(row)];
  edit_.pending = true;
  edit_.text = text;
}

std::int32_t CellGrid::EditRow() const {
  if (!edit_.pending) return -1;
  const auto it = std::find(rowOrder_.begin(), rowOrder_.end(), edit_.stored);
  return it == rowOrder_.end() ? -1 : static_cast<std::int32_t>(it - rowOrder_.begin());
}

void CellGrid::CancelEdit() {
  if (!edit_.pending) return;
  edit_.pending = false;
  const std::int32_t col = edit_.col;
  view_->HideEditor(col >= 0 && col < Cols() ? columns_[static_cast<std::size_t>(col)].EditControl.get() : nullptr);
  repaint();
}

bool CellGrid::UpdateCell(bool bAllowMove) {
  if (!edit_.pending) return true;
  std::int32_t row = EditRow();
  const std::int32_t col = edit_.col;
  if (row < 0 || col < 0 || col >= Cols()) {
    edit_.pending = false;
    view_->HideEditor(nullptr);
    return true;
  }
  std::shared_ptr<GridControl> bound = columns_[static_cast<std::size_t>(col)].EditControl;

  std::string newText;
  bool changed;
  if (!bound) {
    newText = edit_.text;
    if (blank(newText)) newText.clear();
    changed = newText != rowAt(row).Cells[static_cast<std::size_t>(col)].Text.view();
  } else {
    changed = true;  // the host supplies the bound control's value in AfterEdit
  }
  if (changed) {
    bool cancel = false;
    host_->AfterEdit(row, col, newText, cancel);
    if (cancel) return false;
    // The handler may have moved or removed the row; the edit follows its record.
    row = EditRow();
  }

  drawing_ = false;
  view_->HideEditor(bound.get());
  edit_.pending = false;
  if (changed && row >= 0 && col < Cols()) {
    if (blank(newText)) newText.clear();
    GridRow& record = rowAt(row);
    GridCell& cell = record.Cells[static_cast<std::size_t>(col)];
    storeText(cell, col, newText);
    recalcRowHeight(row);
    // A committed edit is a change like any other: cell, row and grid all record it.
    markCellChanged(record, cell, true);
    refreshIfRedraw();
  }
  if (bAllowMove && lastRow_ >= 0) {
    std::int32_t targetRow = curRow_;
    std::int32_t targetPos = curColPos_;
    if (props_.EditMove == 1) targetPos = NextCol(false);
    else if (props_.EditMove == 2) targetRow = NextRow(1, 0);
    SelectedClearAll();
    const std::int32_t targetCol =
        targetPos >= 0 && targetPos < static_cast<std::int32_t>(colOrder_.size()) ? colOrder_[static_cast<std::size_t>(targetPos)] : -1;
    RowColSet(targetRow, targetCol);
  }
  RestoreDrawing();
  repaint();
  return true;
}

}  // namespace qelvaro::grid
