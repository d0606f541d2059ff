#include "value_reading.h"

#include <cstdint>
#include <string>

namespace qelvaro::grid {
namespace {

inline char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string_view trimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool equalsUpper(std::string_view s, std::string_view upperWord) {
  if (s.size() != upperWord.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (asciiUpper(s[i]) != upperWord[i]) return false;
  return true;
}

}  // namespace

// Only ASCII letters matter to the reading (hex digits and the words TRUE/FALSE), and
// every other non-ASCII character but the pound sign ends the scan, so folding ASCII
// gives the same result as upper-casing by the locale, without allocating.
double rVal(std::string_view text, const Locale& locale) {
  const std::string_view s = trimSpaces(text);
  if (s.empty()) return 0;

  // Filling and sorting read every cell, and most cells are either plain words or
  // plain whole numbers; both are answered here without collecting the characters.
  // A first character that ends the scan leaves nothing collected.
  const char first = asciiUpper(s[0]);
  if (first >= 'A' && first <= 'Z') return equalsUpper(s, "TRUE") ? -1.0 : 0.0;
  // Up to 15 digits are below 2^53, so the sum is exact, as the locale's reading is.
  if (s.size() <= 15) {
    std::uint64_t whole = 0;
    std::size_t i = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') whole = whole * 10 + static_cast<unsigned>(s[i++] - '0');
    if (i == s.size()) return static_cast<double>(whole);
  }

  std::string collected;
  std::size_t i = 0;
  bool hex = false;
  if (s.size() >= 2 && s[0] == '&') {
    const char p = asciiUpper(s[1]);
    if (p == 'H' || p == 'O') {
      collected.push_back('&');
      collected.push_back(p);
      hex = p == 'H';
      i = 2;
    }
  }
  for (; i < s.size(); ++i) {
    const char c = asciiUpper(s[i]);
    if ((c >= '0' && c <= '9') || c == ',' || c == '-' || c == '.') {
      collected.push_back(c);
    } else if (c == '$' || c == ' ' || c == '/') {
      continue;
    } else if (static_cast<unsigned char>(c) == 0xC2 && i + 1 < s.size() &&
               static_cast<unsigned char>(s[i + 1]) == 0xA3) {
      ++i;  // the pound sign, U+00A3
    } else if (hex && c >= 'A' && c <= 'F') {
      collected.push_back(c);
    } else {
      break;
    }
  }
  if (collected.empty()) return equalsUpper(s, "TRUE") ? -1.0 : 0.0;

  double value = locale.parseNumber(collected).value_or(0.0);
  if (value == 0) {
    // A text written with "." for decimals still reads under a "," locale.
    bool changed = false;
    for (char& c : collected)
      if (c == '.') c = ',', changed = true;
    if (changed) value = locale.parseNumber(collected).value_or(0.0);
  }
  return value;
}

std::optional<bool> booleanReading(std::string_view text, const Locale& locale) {
  const std::string_view s = trimSpaces(text);
  if (equalsUpper(s, "TRUE")) return true;
  if (equalsUpper(s, "FALSE")) return false;
  if (auto n = locale.parseNumber(s)) return *n != 0;
  return std::nullopt;
}

}  // namespace qelvaro::grid
