// Find and filter: both walk rows in display order and read cell texts as stored.
#include <algorithm>

#include "cell_grid.h"
#include "grid_error.h"

namespace qelvaro::grid {
namespace {

std::size_t firstCharLength(std::string_view s) {
  if (s.empty()) return 0;
  const auto lead = static_cast<unsigned char>(s[0]);
  std::size_t n = 1;
  if (lead >= 0xF0) n = 4;
  else if (lead >= 0xE0) n = 3;
  else if (lead >= 0xC0) n = 2;
  return n <= s.size() ? n : s.size();
}

}  // namespace

// After a sort, display order jumps around the row store and every row costs a cache
// miss or two; asking for the records of rows a little ahead hides most of that.
void CellGrid::prefetchRow(std::int32_t row) const {
#if defined(__GNUC__)
  constexpr std::int32_t kRecordAhead = 32, kCellsAhead = 16;
  if (row + kRecordAhead <= lastRow_)
    __builtin_prefetch(&rows_[static_cast<std::size_t>(rowOrder_[static_cast<std::size_t>(row + kRecordAhead)])]);
  if (row + kCellsAhead <= lastRow_)
    __builtin_prefetch(rows_[static_cast<std::size_t>(rowOrder_[static_cast<std::size_t>(row + kCellsAhead)])].Cells.get());
#else
  (void)row;
#endif
}

bool CellGrid::rowMatches(std::string_view cellText, std::string_view search, std::int32_t mode, bool matchCase,
                          std::string& buffer) const {
  if (mode == 0 && !matchCase) return locale_->upperEquals(cellText, search);
  std::string_view t = cellText;
  if (!matchCase) {
    locale_->upperInto(cellText, buffer);
    t = buffer;
  }
  switch (mode) {
    case 0: return t == search;
    case 1: return t <= search;
    case 2: return t.find(search) != std::string_view::npos;
    case 4:
      return !t.empty() && t.substr(0, firstCharLength(t)) == search.substr(0, firstCharLength(search)) &&
             t <= search;
    case 5: return t.size() >= search.size() && t.substr(0, search.size()) == search;
    case 6: return t.size() >= search.size() && t.substr(t.size() - search.size()) == search;
    default: return false;
  }
}

std::int32_t CellGrid::FindItem(std::string_view SearchText, std::int32_t SearchColumn, std::int32_t SearchMode,
                                bool MatchCase, std::int32_t StartingRow) const {
  if (lastRow_ < 0 || SearchText.empty()) return -1;
  if (StartingRow < 0 || StartingRow > lastRow_) StartingRow = 0;
  if (SearchColumn == -1) SearchColumn = props_.SearchColumn;
  if (SearchColumn < 0) return -1;
  const auto col = static_cast<std::size_t>(checkCol(SearchColumn));
  const std::string search = MatchCase ? std::string(SearchText) : locale_->upper(SearchText);
  std::string buffer;
  const auto n = static_cast<std::size_t>(lastRow_) + 1;
  bool identity = true;
  for (std::size_t r = 0; r < n && identity; ++r) identity = rowOrder_[r] == static_cast<std::int32_t>(r);
  // Each row's cells are a block of their own: asking for the blocks a little ahead
  // keeps the walk from waiting on every row.
  auto cellsAhead = [&](std::size_t stored) {
#if defined(__GNUC__)
    constexpr std::size_t kAhead = 16;
    if (stored + kAhead < n) __builtin_prefetch(rows_[stored + kAhead].Cells.get() + col);
#else
    (void)stored;
#endif
  };
  if (identity) {
    for (std::int32_t r = StartingRow; r <= lastRow_; ++r) {
      cellsAhead(static_cast<std::size_t>(r));
      if (rowMatches(rows_[static_cast<std::size_t>(r)].Cells[col].Text.view(), search, SearchMode, MatchCase, buffer))
        return r;
    }
    return -1;
  }
  // After a sort the display order jumps about the row store; walking the store in
  // its own order reads memory in sequence, and the first match in display order is
  // the smallest display index among the matches.
  std::vector<std::int32_t> displayIndex;
  std::int32_t best = -1;
  for (std::size_t stored = 0; stored < n; ++stored) {
    cellsAhead(stored);
    if (!rowMatches(rows_[stored].Cells[col].Text.view(), search, SearchMode, MatchCase, buffer)) continue;
    if (displayIndex.empty()) {
      displayIndex.resize(n);
      for (std::size_t r = 0; r < n; ++r) displayIndex[static_cast<std::size_t>(rowOrder_[r])] = static_cast<std::int32_t>(r);
    }
    const std::int32_t at = displayIndex[stored];
    if (at >= StartingRow && (best < 0 || at < best)) {
      best = at;
      if (best == StartingRow) break;
    }
  }
  return best;
}

void CellGrid::FilterOn(std::string_view FilterText, std::int32_t SearchColumn, std::int32_t SearchMode,
                        bool MatchCase, std::int32_t StartingRow) {
  if (lastRow_ < 0 || StartingRow < 0 || StartingRow > lastRow_) return;
  // Checked before drawing is suspended, so a bad column leaves the grid drawing.
  const auto col = static_cast<std::size_t>(checkCol(SearchColumn));
  drawing_ = false;
  const std::string search = MatchCase ? std::string(FilterText) : locale_->upper(FilterText);
  std::string buffer;
  for (std::int32_t r = StartingRow; r <= lastRow_; ++r) {
    prefetchRow(r);
    if (!rowMatches(rowAt(r).Cells[col].Text.view(), search, SearchMode, MatchCase, buffer))
      SetRowVisible(r, false);
  }
  RestoreDrawing();
  repaint();
}

void CellGrid::FilterOff(std::int32_t StartingRow) {
  if (lastRow_ < 0) return;
  StartingRow = std::clamp(StartingRow, 0, lastRow_);
  drawing_ = false;
  for (std::int32_t r = StartingRow; r <= lastRow_; ++r) {
    if (!rowAt(r).Visible) SetRowVisible(r, true);
  }
  RestoreDrawing();
  if (curRow_ >= 0 && curRow_ <= lastRow_) view_->EnsureRowVisible(curRow_);
  repaint();
}

}  // namespace qelvaro::grid
