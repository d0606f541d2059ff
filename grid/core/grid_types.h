#pragma once
// The records of the grid's data side. Rows and cells are the bulk of a grid's
// memory, so their records are packed: a cell is 22 bytes, and the rarely used
// per-cell tag and picture live in a side record that most rows never allocate.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compact_string.h"

namespace qelvaro::grid {

// 0x00BBGGRR; values from 0x80000000 up name a system colour by the low byte.
using Colour = std::uint32_t;

// Opaque objects of the host, only stored and handed back by the data side.
class GridPicture {
 public:
  virtual ~GridPicture() = default;
};
class GridControl {
 public:
  virtual ~GridControl() = default;
};

struct GridFont {
  std::string name = "MS Sans Serif";
  float size = 8.25f;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;
  std::int16_t weight = 400;
  // The character set the font was stored with; none: the platform's default.
  std::optional<std::int16_t> charset = std::nullopt;
  friend bool operator==(const GridFont&, const GridFont&) = default;
};

namespace datatype {
inline constexpr std::int16_t Text = 0;
inline constexpr std::int16_t Number = 1;
inline constexpr std::int16_t Date = 2;
inline constexpr std::int16_t Boolean = 3;
inline constexpr std::int16_t Progress = 4;
inline constexpr std::int16_t Custom = 5;
inline constexpr std::int16_t Button = 6;
}  // namespace datatype

namespace rowflag {
inline constexpr std::uint16_t Checked = 2;
inline constexpr std::uint16_t Selected = 4;
inline constexpr std::uint16_t Changed = 8;
inline constexpr std::uint16_t New = 256;
inline constexpr std::uint16_t Locked = 512;
}  // namespace rowflag

namespace cellflag {
inline constexpr std::uint16_t Checked = 2;
inline constexpr std::uint16_t Changed = 8;
inline constexpr std::uint16_t Bold = 16;
inline constexpr std::uint16_t Italic = 32;
inline constexpr std::uint16_t Underline = 64;
inline constexpr std::uint16_t WordWrap = 128;
}  // namespace cellflag

// The one routine that changes flag words.
template <typename Word>
inline void SetFlag(Word& word, std::uint16_t bit, bool on) {
  if (on) word = static_cast<Word>(word | bit);
  else word = static_cast<Word>(word & ~bit);
}

struct GridColumn {
  std::shared_ptr<GridControl> EditControl;
  float Width = 0;
  std::int32_t PixelWidth = 0;
  std::int32_t Alignment = 4;
  std::int32_t ImageAlignment = 4;
  std::int32_t SortState = 0;
  std::int16_t DataType = datatype::Text;
  std::uint16_t Flags = 0;
  bool MoveControl = false;
  bool Visible = true;
  std::string Caption;
  std::string Format;
  std::string InputFilter;
  std::string Tag;
  bool Locked = false;
};

struct TotalsOption {
  bool Average = false;
  std::string Caption;
};

struct GridCell {
  CompactString Text;
  std::int16_t Alignment = 0;
  std::int16_t FormatIndex = -1;
  std::uint16_t Flags = 0;
};
static_assert(sizeof(GridCell) == 22, "cells are packed");

struct CellExtra {
  std::int32_t col = 0;
  std::string tag;
  std::shared_ptr<GridPicture> picture;
};

struct RowExtras {
  std::string tag;
  std::vector<CellExtra> cells;
};

struct GridRow {
  std::int32_t Height = 0;
  std::int32_t Image = 0;
  std::int32_t RowData = 0;
  std::uint16_t Flags = 0;
  std::int16_t GroupHeader = 0;
  bool Visible = true;
  std::unique_ptr<GridCell[]> Cells;
  std::unique_ptr<RowExtras> Extras;  // row tag, cell tags and pictures; null when none
};

struct CellFormat {
  Colour BackColor = 0;
  Colour ForeColor = 0;
  std::string FontName;
  bool HandPointer = false;
  std::int32_t RefCount = 0;
  std::int16_t Image = 0;
};

}  // namespace qelvaro::grid
