// Sorting: rows are ordered by permuting the row order map; records never move.
#include <algorithm>
#include <cmath>
#include <limits>

#include "cell_grid.h"
#include "grid_error.h"
#include "value_reading.h"

namespace qelvaro::grid {
namespace {

std::int32_t nextSortState(std::int32_t state) {
  // not sorted -> ascending -> descending -> not sorted; any other state counts as ascending
  if (state == 0) return 2;
  if (state == 1) return 0;
  return 1;
}

template <typename Key>
struct Keyed {
  Key key;
  std::int32_t stored;
};

// Sorts the keyed entries, ties kept in their current order, and writes the
// stored indexes back into the map range.
template <typename Key, typename Less>
void sortKeyed(std::vector<Keyed<Key>>& entries, bool descending, Less less, std::int32_t* out) {
  if (descending)
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Keyed<Key>& a, const Keyed<Key>& b) { return less(b.key, a.key); });
  else
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Keyed<Key>& a, const Keyed<Key>& b) { return less(a.key, b.key); });
  for (std::size_t i = 0; i < entries.size(); ++i) out[i] = entries[i].stored;
}

}  // namespace

void CellGrid::sortRange(std::int32_t first, std::int32_t last, std::int32_t col, std::int32_t state,
                         std::uint64_t generation) {
  if (first >= last) return;
  const GridColumn& column = columns_[static_cast<std::size_t>(col)];
  const bool descending = state == 1;
  const auto count = static_cast<std::size_t>(last - first + 1);
  std::int32_t* map = rowOrder_.data() + first;
  const auto c = static_cast<std::size_t>(col);

  switch (column.DataType) {
    case datatype::Custom:
      customSortRange(first, last, col, state, generation);
      return;
    case datatype::Boolean: {
      // Checked is -1 and unchecked 0, so ascending puts checked rows first.
      std::vector<Keyed<int>> entries(count);
      for (std::size_t i = 0; i < count; ++i)
        entries[i] = {(rows_[static_cast<std::size_t>(map[i])].Cells[c].Flags & cellflag::Checked) ? -1 : 0, map[i]};
      sortKeyed(entries, descending, std::less<int>(), map);
      return;
    }
    case datatype::Date: {
      // Texts that are not dates rank below every date.
      std::vector<Keyed<double>> entries(count);
      for (std::size_t i = 0; i < count; ++i) {
        const auto date = locale_->parseDate(rows_[static_cast<std::size_t>(map[i])].Cells[c].Text.view());
        entries[i] = {date ? *date : -std::numeric_limits<double>::infinity(), map[i]};
      }
      sortKeyed(entries, descending, std::less<double>(), map);
      return;
    }
    case datatype::Number: {
      std::vector<Keyed<double>> entries(count);
      for (std::size_t i = 0; i < count; ++i)
        entries[i] = {grid::rVal(rows_[static_cast<std::size_t>(map[i])].Cells[c].Text.view(), *locale_), map[i]};
      sortKeyed(entries, descending, std::less<double>(), map);
      return;
    }
    default: {
      std::vector<Keyed<std::string>> entries(count);
      for (std::size_t i = 0; i < count; ++i)
        entries[i] = {locale_->sortKey(rows_[static_cast<std::size_t>(map[i])].Cells[c].Text.view()), map[i]};
      sortKeyed(entries, descending, std::less<std::string>(), map);
      return;
    }
  }
}

// The host judges each pair, so the comparison need not be a consistent order;
// this partition sort stays within its range whatever the answers are. It recurses
// into the smaller part only, so the depth stays logarithmic.
bool CellGrid::customSortRange(std::int32_t first, std::int32_t last, std::int32_t col, std::int32_t state,
                               std::uint64_t generation) {
  std::vector<std::int32_t> map(rowOrder_.begin() + first, rowOrder_.begin() + last + 1);
  const auto c = static_cast<std::size_t>(col);
  bool intact = true;
  auto before = [&](std::int32_t storedJ, std::int32_t storedPivot) {
    bool ascending = state == 1;  // the host is told True for a descending sort
    std::int32_t colArg = col;
    std::string value1 = rows_[static_cast<std::size_t>(storedJ)].Cells[c].Text.str();
    std::string value2 = rows_[static_cast<std::size_t>(storedPivot)].Cells[c].Text.str();
    bool swap = false;
    host_->CustomSort(ascending, colArg, value1, value2, swap);
    if (generation != generation_) intact = false;
    return swap;
  };
  struct Range {
    std::int32_t lo, hi;
  };
  std::vector<Range> pending{{0, last - first}};
  while (!pending.empty() && intact) {
    Range r = pending.back();
    pending.pop_back();
    while (r.lo < r.hi && intact) {
      const std::int32_t sum = r.lo + r.hi;
      std::int32_t middle = sum / 2;
      if (sum % 2 != 0 && middle % 2 != 0) ++middle;  // a half goes to the even neighbour
      std::swap(map[static_cast<std::size_t>(middle)], map[static_cast<std::size_t>(r.lo)]);
      const std::int32_t pivot = map[static_cast<std::size_t>(r.lo)];
      std::int32_t boundary = r.lo;
      for (std::int32_t j = r.lo + 1; j <= r.hi && intact; ++j) {
        if (before(map[static_cast<std::size_t>(j)], pivot)) {
          ++boundary;
          std::swap(map[static_cast<std::size_t>(boundary)], map[static_cast<std::size_t>(j)]);
        }
      }
      std::swap(map[static_cast<std::size_t>(r.lo)], map[static_cast<std::size_t>(boundary)]);
      Range left{r.lo, boundary - 1}, right{boundary + 1, r.hi};
      if (left.hi - left.lo < right.hi - right.lo) {
        pending.push_back(right);
        r = left;
      } else {
        pending.push_back(left);
        r = right;
      }
    }
  }
  // A handler that changed the rows has made the stored indexes stale.
  if (!intact) return false;
  std::copy(map.begin(), map.end(), rowOrder_.begin() + first);
  return true;
}

void CellGrid::Sort(std::int32_t vCol1, std::int32_t vCol1SortType, std::int32_t vCol2, std::int32_t vCol2SortType) {
  if (lastRow_ < 0) return;
  if (!UpdateCell(false)) return;

  auto remembered = [&](std::int32_t value, bool isPosition) {
    if (value == -1) return -1;
    return isPosition ? ColumnAtPosition(value) : value;
  };
  std::int32_t primary = vCol1 != -1 ? vCol1 : remembered(sortPrimary_, sortPrimaryIsPosition_);
  std::int32_t secondary = vCol2 != -1 ? vCol2 : remembered(sortSecondary_, sortSecondaryIsPosition_);
  if (primary == -1 && secondary != -1) {
    primary = secondary;
    secondary = -1;
  }
  if (primary == secondary) secondary = -1;
  checkCol(primary);
  if (secondary != -1) checkCol(secondary);

  sortPrimary_ = primary;
  sortSecondary_ = secondary;
  sortPrimaryIsPosition_ = sortSecondaryIsPosition_ = false;
  GridColumn& primaryColumn = columns_[static_cast<std::size_t>(primary)];
  primaryColumn.SortState = vCol1SortType == -1 ? nextSortState(primaryColumn.SortState) : vCol1SortType;
  const std::int32_t state = primaryColumn.SortState;
  std::int32_t secondaryState = 0;
  if (secondary != -1) {
    secondaryState = vCol2SortType != -1 ? vCol2SortType : state;
    columns_[static_cast<std::size_t>(secondary)].SortState = secondaryState;
  }

  const std::int32_t currentStored =
      curRow_ >= 0 && curRow_ <= lastRow_ ? rowOrder_[static_cast<std::size_t>(curRow_)] : -1;
  const std::uint64_t generation = generation_;

  if (state != 0) {
    sortRange(0, lastRow_, primary, state, generation);
    if (secondary != -1 && generation == generation_) {
      const auto pc = static_cast<std::size_t>(primary);
      std::int32_t runStart = 0;
      for (std::int32_t i = 1; i <= lastRow_ + 1 && generation == generation_; ++i) {
        const bool sameText =
            i <= lastRow_ && rows_[static_cast<std::size_t>(rowOrder_[static_cast<std::size_t>(i)])].Cells[pc].Text.view() ==
                                 rows_[static_cast<std::size_t>(rowOrder_[static_cast<std::size_t>(runStart)])].Cells[pc].Text.view();
        if (sameText) continue;
        if (i - 1 > runStart) sortRange(runStart, i - 1, secondary, secondaryState, generation);
        runStart = i;
      }
    }
  } else {
    for (std::size_t i = 0; i < rowOrder_.size(); ++i) rowOrder_[i] = static_cast<std::int32_t>(i);
    sortPrimary_ = sortSecondary_ = -1;
  }
  // The header shows an arrow for every column with a direction: a column that is
  // no longer a sort column loses its direction, so only the sort columns show one.
  for (std::int32_t c = 0; c < Cols(); ++c)
    if (c != sortPrimary_ && c != sortSecondary_) columns_[static_cast<std::size_t>(c)].SortState = 0;
  if (generation != generation_) return;  // a CustomSort handler changed the rows

  const std::int32_t target = currentStored >= 0 ? currentStored : 0;
  const auto it = std::find(rowOrder_.begin(), rowOrder_.end(), target);
  if (it != rowOrder_.end()) RowColSet(static_cast<std::int32_t>(it - rowOrder_.begin()), -1);
  host_->SortComplete();
  host_->DoEvents();
}

void CellGrid::HeaderClick(std::int32_t position, bool ctrl) {
  if (!props_.AllowColumnSort) return;
  if (position < 0 || position >= static_cast<std::int32_t>(colOrder_.size())) return;
  const std::int32_t col = colOrder_[static_cast<std::size_t>(position)];
  auto resolve = [&](std::int32_t value, bool isPosition) {
    if (value == -1) return -1;
    return isPosition ? ColumnAtPosition(value) : value;
  };
  const std::int32_t primaryCol = resolve(sortPrimary_, sortPrimaryIsPosition_);
  if (!ctrl) {
    if (col != primaryCol) {
      columns_[static_cast<std::size_t>(col)].SortState = 0;
      sortSecondary_ = -1;
      sortSecondaryIsPosition_ = false;
    }
    sortPrimary_ = position;
    sortPrimaryIsPosition_ = true;
    const std::int32_t secondaryCol = resolve(sortSecondary_, sortSecondaryIsPosition_);
    if (secondaryCol == -1) Sort(-1, -1, -1, -1);
    else Sort(-1, -1, -1, columns_[static_cast<std::size_t>(secondaryCol)].SortState);
  } else if (primaryCol != -1) {
    const std::int32_t secondaryCol = resolve(sortSecondary_, sortSecondaryIsPosition_);
    if (col != secondaryCol) columns_[static_cast<std::size_t>(col)].SortState = 0;
    sortSecondary_ = position;
    sortSecondaryIsPosition_ = true;
    Sort(-1, columns_[static_cast<std::size_t>(primaryCol)].SortState, -1, -1);
  }
  RowColSet(-1, col);
}

}  // namespace qelvaro::grid
