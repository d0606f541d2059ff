#pragma once
// The grid's port to the user's locale: everything whose answer depends on the
// language and region settings goes through here, so the model stays portable and
// tests can pin a locale down.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qelvaro::grid {

class Locale {
 public:
  virtual ~Locale() = default;

  // Case-insensitive ordering of two texts: negative, zero or positive.
  virtual int compareNoCase(std::string_view a, std::string_view b) const = 0;
  // A key whose plain byte order is the order of compareNoCase; sorting computes
  // one per row instead of comparing texts again and again.
  virtual std::string sortKey(std::string_view text) const = 0;
  // Appends the sort key to a buffer that holds the keys of many texts.
  virtual void appendSortKey(std::string_view text, std::string& keys) const { keys += sortKey(text); }
  virtual std::string upper(std::string_view text) const = 0;
  // Same as upper, into a buffer the caller reuses across many texts.
  virtual void upperInto(std::string_view text, std::string& out) const { out = upper(text); }
  // Whether the text upper-cased equals an already upper-cased text. Searches ask
  // this of every row, so a locale may answer without building the upper-case copy.
  virtual bool upperEquals(std::string_view text, std::string_view upperText) const {
    return upper(text) == upperText;
  }

  // Reads a number written by the locale's rules (thousands and decimal separators,
  // "&H" hexadecimal and "&O" octal). Empty when the text is not a number.
  virtual std::optional<double> parseNumber(std::string_view text) const = 0;
  // Writes a number the way the locale writes it without grouping (15 significant digits).
  virtual std::string formatNumber(double value) const = 0;
  // Reads a date (and optional time) as a serial day number counted from
  // 30 December 1899. Empty when the text is not a date.
  virtual std::optional<double> parseDate(std::string_view text) const = 0;

  // Locale information by the platform's information number (4097 = English name
  // of the language); empty when unknown.
  virtual std::string info(std::int32_t infoType) const = 0;
};

}  // namespace qelvaro::grid
