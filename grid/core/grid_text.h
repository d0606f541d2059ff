#pragma once
// Text helpers of painting: the grid's own word wrapping (used for header cells and
// wrapped cells, so that both wrap alike whatever the platform's DrawText does) and
// the column format patterns cells are drawn with.

#include <cstdint>
#include <string>
#include <string_view>

#include "canvas.h"
#include "grid_locale.h"

namespace qelvaro::grid {

// Breaks text into lines no wider than width (measured on the canvas with its
// current font), breaking after any character that is not an ASCII letter or "_".
// Lines are joined with CR LF. maxLines -1 means no limit; past the limit the rest
// goes on the last line, which then ends in "...".
std::string WrapText(Canvas& canvas, std::string_view text, std::int32_t width, std::int32_t maxLines);

// A cell text as the column's Format pattern shows it. Numbers: the named formats
// "General Number", "Currency", "Fixed", "Standard", "Percent", "Scientific",
// "Yes/No", "True/False", "On/Off", or a pattern of 0 # , . % and literal text (a
// second section after ";" for negative numbers). Dates: "Short Date", "Long Date",
// or a pattern of d dd mm yy yyyy h hh nn ss. A text the pattern cannot read
// (a word under a number pattern) is shown unchanged, as is any text with no pattern.
std::string FormatCellText(std::string_view text, std::string_view pattern, const Locale& locale);

}  // namespace qelvaro::grid
