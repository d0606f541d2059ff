#pragma once
// The grid's Locale on the user's settings, through the NLS functions: case
// comparison, sort keys and upper-casing by the user's locale; numbers and dates
// read and written with the user's separators and date order.

#include "fixed_locale.h"
#include "grid_locale.h"

namespace qelvaro::grid {

class Win32Locale : public Locale {
 public:
  Win32Locale();
  // The user's locale, built once.
  static const Win32Locale& user();

  int compareNoCase(std::string_view a, std::string_view b) const override;
  std::string sortKey(std::string_view text) const override;
  std::string upper(std::string_view text) const override;
  std::optional<double> parseNumber(std::string_view text) const override { return numbers_.parseNumber(text); }
  std::string formatNumber(double value) const override { return numbers_.formatNumber(value); }
  std::optional<double> parseDate(std::string_view text) const override { return numbers_.parseDate(text); }
  std::string info(std::int32_t infoType) const override;

 private:
  FixedLocale numbers_;
};

}  // namespace qelvaro::grid
