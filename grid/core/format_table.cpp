#include "format_table.h"

#include "grid_error.h"

namespace qelvaro::grid {

bool sameFormat(const CellFormat& a, const CellFormat& b) {
  return a.ForeColor == b.ForeColor && a.BackColor == b.BackColor &&
         a.HandPointer == b.HandPointer && a.Image == b.Image && a.FontName == b.FontName;
}

void FormatTable::reset() {
  entries_.clear();
  entries_.shrink_to_fit();
  entries_.resize(1);
}

std::int16_t FormatTable::acquire(const CellFormat& combination) {
  std::size_t i = 0;
  for (; i < entries_.size(); ++i) {
    if (sameFormat(entries_[i], combination)) return static_cast<std::int16_t>(i);
    if (entries_[i].RefCount == 0) break;
  }
  if (i == entries_.size()) {
    constexpr std::size_t kMaxUpperBound = 32767;
    if (entries_.size() - 1 + 10 > kMaxUpperBound) throwOverflow("cell format table is full");
    entries_.resize(entries_.size() + 10);
  }
  CellFormat& entry = entries_[i];
  const std::int32_t refs = entry.RefCount;
  entry = combination;
  entry.RefCount = refs;
  return static_cast<std::int16_t>(i);
}

}  // namespace qelvaro::grid
