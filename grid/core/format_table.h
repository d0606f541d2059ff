#pragma once
// The shared cell formats: one entry per distinct combination of colours, font
// name, hand pointer and image, counted by the cells that use it. A grid of
// identically formatted cells holds one entry.

#include <cstdint>
#include <vector>

#include "grid_types.h"

namespace qelvaro::grid {

class FormatTable {
 public:
  FormatTable() { reset(); }

  // Back to one free slot.
  void reset();

  // The entry a cell takes for this combination (RefCount ignored): the first
  // equal entry, scanning from 0 and stopping at the first free entry, else that
  // free entry, else a new one appended (the table grows by 10 slots). Indexes
  // are 16-bit, so growing past 32767 throws the overflow error and changes nothing.
  std::int16_t acquire(const CellFormat& combination);
  void addRef(std::int16_t index, std::int32_t count = 1) { entries_[index].RefCount += count; }
  void release(std::int16_t index) {
    if (index >= 0) --entries_[index].RefCount;
  }

  const CellFormat& at(std::int16_t index) const { return entries_[index]; }
  std::size_t slots() const { return entries_.size(); }

 private:
  std::vector<CellFormat> entries_;
};

bool sameFormat(const CellFormat& a, const CellFormat& b);

}  // namespace qelvaro::grid
