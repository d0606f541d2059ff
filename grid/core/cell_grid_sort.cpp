// Sorting: rows are ordered by permuting the row order map; records never move.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

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

// A number as an unsigned word whose order is the number's order: the sign bit is
// flipped for positive numbers and every bit for negative ones. Both zeros are one
// key, as they compare equal. Descending order inverts the word.
std::uint64_t orderedBits(double value, bool descending) {
  constexpr std::uint64_t kSign = 0x8000000000000000ull;
  std::uint64_t bits = kSign;  // both zeros
  if (value != 0) {
    std::memcpy(&bits, &value, sizeof bits);
    bits = (bits & kSign) ? ~bits : bits | kSign;
  }
  return descending ? ~bits : bits;
}

// A least-significant-byte-first radix sort on a 64-bit key per entry: stable like
// the comparison sort it stands for, in at most eight passes over the rows however
// they compare. Bytes that are the same in every key (the low bytes of whole numbers,
// the high ones of numbers of one size) cost no pass.
template <typename Entry, typename KeyOf>
void radixSort(Entry* first, Entry* last, KeyOf keyOf) {
  const auto n = static_cast<std::size_t>(last - first);
  // The passes have a fixed cost; a short range (a run of equal primary keys under
  // a secondary sort) is quicker by comparison.
  if (n < 1024) {
    std::stable_sort(first, last, [&](const Entry& a, const Entry& b) { return keyOf(a) < keyOf(b); });
    return;
  }
  std::vector<std::array<std::uint32_t, 256>> counts(8);
  for (auto& c : counts) c.fill(0);
  for (const Entry* e = first; e != last; ++e) {
    const std::uint64_t key = keyOf(*e);
    for (int b = 0; b < 8; ++b) ++counts[static_cast<std::size_t>(b)][(key >> (8 * b)) & 0xFF];
  }
  std::vector<Entry> scratch(n);
  Entry* from = first;
  Entry* to = scratch.data();
  for (int b = 0; b < 8; ++b) {
    auto& count = counts[static_cast<std::size_t>(b)];
    if (std::find(count.begin(), count.end(), n) != count.end()) continue;
    std::uint32_t at = 0;
    for (auto& c : count) {
      const std::uint32_t here = c;
      c = at;
      at += here;
    }
    for (std::size_t i = 0; i < n; ++i) to[count[(keyOf(from[i]) >> (8 * b)) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != first) std::copy(from, from + n, first);
}

// Orders the map range by one number per row (numberOf a stored index), ties kept in
// their current order.
template <typename NumberOf>
void sortByNumber(std::int32_t* map, std::size_t count, bool descending, NumberOf numberOf) {
  std::vector<Keyed<std::uint64_t>> entries(count);
  for (std::size_t i = 0; i < count; ++i) entries[i] = {orderedBits(numberOf(map[i]), descending), map[i]};
  radixSort(entries.data(), entries.data() + count, [](const Keyed<std::uint64_t>& e) { return e.key; });
  for (std::size_t i = 0; i < count; ++i) map[i] = entries[i].stored;
}

// Text columns: every row's sort key is made once into one buffer, and an entry
// carries eight bytes of its key as a big-endian word (inverted for a descending
// sort), zero-padded past the key's end, so that the words order as the bytes do.
// The rows are sorted on the first word; each run of rows whose words are equal is
// sorted on the next word, and so on while a key goes on. Keys that end within equal
// words differ only in length, and a shorter key orders first.
struct TextEntry {
  std::uint64_t word;
  std::uint32_t offset;
  std::uint32_t length;
  std::int32_t stored;
};

std::uint64_t keyWord(const char* keys, const TextEntry& e, std::size_t depth, bool descending) {
  std::uint64_t word = 0;
  for (std::size_t i = depth * 8; i < depth * 8 + 8; ++i)
    word = (word << 8) | (i < e.length ? static_cast<unsigned char>(keys[e.offset + i]) : 0u);
  return descending ? ~word : word;
}

void sortTextRun(TextEntry* first, TextEntry* last, std::size_t depth, const char* keys, bool descending) {
  radixSort(first, last, [](const TextEntry& e) { return e.word; });
  const std::size_t end = (depth + 1) * 8;
  for (TextEntry* run = first; run != last;) {
    TextEntry* next = run + 1;
    bool goesOn = run->length > end;
    bool lengthsDiffer = false;
    for (; next != last && next->word == run->word; ++next) {
      goesOn = goesOn || next->length > end;
      lengthsDiffer = lengthsDiffer || next->length != run->length;
    }
    if (next - run > 1) {
      if (goesOn) {
        for (TextEntry* e = run; e != next; ++e) e->word = keyWord(keys, *e, depth + 1, descending);
        sortTextRun(run, next, depth + 1, keys, descending);
      } else if (lengthsDiffer) {
        std::stable_sort(run, next, [descending](const TextEntry& a, const TextEntry& b) {
          return descending ? b.length < a.length : a.length < b.length;
        });
      }
    }
    run = next;
  }
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
    case datatype::Boolean:
      // Checked is -1 and unchecked 0, so ascending puts checked rows first.
      sortByNumber(map, count, descending, [&](std::int32_t stored) {
        return (rows_[static_cast<std::size_t>(stored)].Cells[c].Flags & cellflag::Checked) ? -1.0 : 0.0;
      });
      return;
    case datatype::Date:
      // Texts that are not dates rank below every date.
      sortByNumber(map, count, descending, [&](std::int32_t stored) {
        const auto date = locale_->parseDate(rows_[static_cast<std::size_t>(stored)].Cells[c].Text.view());
        return date ? *date : -std::numeric_limits<double>::infinity();
      });
      return;
    case datatype::Number:
      sortByNumber(map, count, descending, [&](std::int32_t stored) {
        return grid::rVal(rows_[static_cast<std::size_t>(stored)].Cells[c].Text.view(), *locale_);
      });
      return;
    default: {
      std::string keys;
      std::vector<TextEntry> entries(count);
      for (std::size_t i = 0; i < count; ++i) {
        const std::size_t offset = keys.size();
        locale_->appendSortKey(rows_[static_cast<std::size_t>(map[i])].Cells[c].Text.view(), keys);
        if (keys.size() > UINT32_MAX) throwOverflow("sort keys too large");
        entries[i] = {0, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(keys.size() - offset), map[i]};
      }
      for (TextEntry& e : entries) e.word = keyWord(keys.data(), e, 0, descending);
      sortTextRun(entries.data(), entries.data() + count, 0, keys.data(), descending);
      for (std::size_t i = 0; i < count; ++i) map[i] = entries[i].stored;
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
