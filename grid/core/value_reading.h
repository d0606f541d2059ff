#pragma once
// The grid's one numeric reading of cell text. Totals, check-box columns, number
// sorting and value access all read text through rVal, so they always agree.

#include <optional>
#include <string_view>

#include "grid_locale.h"

namespace qelvaro::grid {

// The number a text stands for: currency signs, spaces and slashes are skipped,
// scanning stops at the first other character, "&H"/"&O" prefixes read hexadecimal
// and octal, a text without digits reads as -1 for "true" (any case) and 0 otherwise.
// Never fails: whatever cannot be read counts as 0.
double rVal(std::string_view text, const Locale& locale);

// The Boolean reading of a text: "True"/"False" in any case, or a number (non-zero
// is True). Empty when the text is neither.
std::optional<bool> booleanReading(std::string_view text, const Locale& locale);

}  // namespace qelvaro::grid
