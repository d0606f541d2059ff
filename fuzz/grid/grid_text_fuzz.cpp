// Cell texts come from anywhere: the numeric, Boolean and date readings, the search
// and the sort must take any bytes without faults, and the running totals must stay
// equal to the sum of the readings.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cell_grid.h"
#include "compact_string.h"
#include "fixed_locale.h"
#include "value_reading.h"

using namespace qelvaro::grid;

namespace {

void require(bool ok) {
  if (!ok) __builtin_trap();
}

void exercise(const Locale& locale, std::string_view data) {
  const double v = rVal(data, locale);
  require(std::isfinite(v));
  (void)booleanReading(data, locale);
  (void)locale.parseNumber(data);
  (void)locale.parseDate(data);
  (void)locale.formatNumber(v);
  require(locale.upperEquals(data, locale.upper(data)));

  CompactString s(data);
  require(s.view() == data);

  CellGrid grid(locale);
  grid.AddColumn("T");
  grid.AddColumn("N", 500, 4, datatype::Number);
  grid.AddColumn("B", 500, 4, datatype::Boolean);
  grid.AddColumn("D", 500, 4, datatype::Date);
  // Lines of the input become rows, so tabs and line breaks both matter.
  std::size_t start = 0;
  while (start <= data.size() && grid.Rows() < 64) {
    const std::size_t end = data.find('\n', start);
    const std::string_view line = data.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    grid.AddItem(std::string(line) + "\t" + std::string(line) + "\t" + std::string(line) + "\t" + std::string(line));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  for (std::int32_t c = 0; c < grid.Cols(); ++c) {
    grid.Sort(c, 2);
    grid.Sort(c, 1);
    double sum = 0, magnitude = 1;
    for (std::int32_t r = 0; r < grid.Rows(); ++r) {
      const double x = rVal(grid.CellText(r, c), locale);
      sum += x;
      magnitude += std::fabs(x);
    }
    require(std::fabs(grid.TotalsCol(c) - sum) <= 1e-9 * magnitude);
  }
  const std::string needle(data.substr(0, 4));
  for (std::int32_t mode = 0; mode <= 6; ++mode) {
    (void)grid.FindItem(needle, 0, mode, mode % 2 == 0);
    grid.FilterOn(needle, 1, mode, mode % 2 == 1);
  }
  grid.FilterOff();
  grid.SetCellValue(0, 1, std::string(data));
  grid.SetCellValue(0, 2, std::string(data));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  exercise(FixedLocale::english(), data);
  exercise(FixedLocale::german(), data);
  return 0;
}
