#pragma once
// Locales with fixed rules, for tests and for platforms without locale services.
// Case folding covers ASCII and the Latin-1 letters; texts order by code point after
// folding. Dates are read in the locale's short order (month first or day first, with
// two-digit years 00-29 meaning 20xx) or as ISO year-month-day, each with an optional
// time of hours, minutes and seconds.

#include <string>

#include "grid_locale.h"

namespace qelvaro::grid {

class FixedLocale : public Locale {
 public:
  enum class DateOrder { MonthDayYear, DayMonthYear };
  struct Rules {
    char thousands = ',';
    char decimal = '.';
    DateOrder dateOrder = DateOrder::MonthDayYear;
    char dateSeparator = '/';
    std::string languageName = "English";
  };

  explicit FixedLocale(Rules rules) : rules_(std::move(rules)) {}

  // "," groups thousands, "." marks decimals, dates month/day/year.
  static const FixedLocale& english();
  // "." groups thousands, "," marks decimals, dates day.month.year.
  static const FixedLocale& german();

  int compareNoCase(std::string_view a, std::string_view b) const override;
  std::string sortKey(std::string_view text) const override;
  void appendSortKey(std::string_view text, std::string& keys) const override;
  std::string upper(std::string_view text) const override;
  void upperInto(std::string_view text, std::string& out) const override;
  bool upperEquals(std::string_view text, std::string_view upperText) const override;
  std::optional<double> parseNumber(std::string_view text) const override;
  std::string formatNumber(double value) const override;
  std::optional<double> parseDate(std::string_view text) const override;
  std::string info(std::int32_t infoType) const override;

  const Rules& rules() const { return rules_; }

 private:
  Rules rules_;
};

// Serial day number of a calendar date (30 December 1899 is day 0); empty for a date
// that does not exist or lies outside the years 100 to 9999.
std::optional<double> serialDate(int year, int month, int day);

}  // namespace qelvaro::grid
