#include "fixed_locale.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace qelvaro::grid {
namespace {

// Folds one byte of UTF-8, given the byte before it: ASCII letters, and the Latin-1
// small letters U+00E0..U+00FE (lead byte 0xC3) except the division sign.
inline unsigned char foldByte(unsigned char prev, unsigned char b) {
  if (b >= 'a' && b <= 'z') return static_cast<unsigned char>(b - 32);
  if (prev == 0xC3 && b >= 0xA0 && b <= 0xBE && b != 0xB7) return static_cast<unsigned char>(b - 0x20);
  return b;
}

std::string_view trimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<double> parseRadix(std::string_view digits, int radix) {
  if (digits.empty()) return std::nullopt;
  double value = 0;
  for (char c : digits) {
    int d;
    if (isDigit(c)) d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return std::nullopt;
    if (d >= radix) return std::nullopt;
    value = value * radix + d;
  }
  return value;
}

// Reads up to maxDigits digits; false when there are none.
bool readInt(std::string_view s, std::size_t& pos, int maxDigits, int& out) {
  int n = 0, v = 0;
  while (pos < s.size() && isDigit(s[pos]) && n < maxDigits) {
    v = v * 10 + (s[pos] - '0');
    ++pos;
    ++n;
  }
  out = v;
  return n > 0;
}

}  // namespace

const FixedLocale& FixedLocale::english() {
  static const FixedLocale locale(Rules{',', '.', DateOrder::MonthDayYear, '/', "English"});
  return locale;
}

const FixedLocale& FixedLocale::german() {
  static const FixedLocale locale(Rules{'.', ',', DateOrder::DayMonthYear, '.', "German"});
  return locale;
}

int FixedLocale::compareNoCase(std::string_view a, std::string_view b) const {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  unsigned char pa = 0, pb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    const unsigned char fa = foldByte(pa, ca), fb = foldByte(pb, cb);
    if (fa != fb) return fa < fb ? -1 : 1;
    pa = ca;
    pb = cb;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string FixedLocale::sortKey(std::string_view text) const { return upper(text); }

void FixedLocale::appendSortKey(std::string_view text, std::string& keys) const {
  const std::size_t at = keys.size();
  keys.resize(at + text.size());
  char* out = keys.data() + at;
  unsigned char prev = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out[i] = static_cast<char>(foldByte(prev, c));
    prev = c;
  }
}

std::string FixedLocale::upper(std::string_view text) const {
  std::string out;
  upperInto(text, out);
  return out;
}

void FixedLocale::upperInto(std::string_view text, std::string& out) const {
  out.resize(text.size());
  unsigned char prev = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out[i] = static_cast<char>(foldByte(prev, c));
    prev = c;
  }
}

bool FixedLocale::upperEquals(std::string_view text, std::string_view upperText) const {
  // Folding keeps every byte's place, so texts of different lengths never match.
  if (text.size() != upperText.size()) return false;
  unsigned char prev = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (foldByte(prev, c) != static_cast<unsigned char>(upperText[i])) return false;
    prev = c;
  }
  return true;
}

std::optional<double> FixedLocale::parseNumber(std::string_view text) const {
  std::string_view s = trimSpaces(text);
  if (s.size() >= 2 && s[0] == '&') {
    if (s[1] == 'H' || s[1] == 'h') return parseRadix(s.substr(2), 16);
    if (s[1] == 'O' || s[1] == 'o') return parseRadix(s.substr(2), 8);
    return std::nullopt;
  }
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  } else if (!s.empty() && s.back() == '-') {
    // A trailing minus is the accounting form of a negative number.
    negative = true;
    s.remove_suffix(1);
  }
  // Normalised copy: digits, "." for the decimal mark, exponent; grouping dropped.
  char buf[128];
  std::size_t len = 0;
  bool digits = false, decimalSeen = false;
  std::size_t i = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (isDigit(c)) {
      digits = true;
    } else if (c == rules_.decimal && !decimalSeen) {
      decimalSeen = true;
      if (len + 1 >= sizeof buf) return std::nullopt;
      buf[len++] = '.';
      continue;
    } else if (c == rules_.thousands && !decimalSeen && digits) {
      continue;
    } else {
      break;
    }
    if (len + 1 >= sizeof buf) return std::nullopt;
    buf[len++] = c;
  }
  if (!digits) return std::nullopt;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    std::size_t j = i + 1;
    std::size_t expStart = len;
    buf[len++] = 'e';
    if (j < s.size() && (s[j] == '-' || s[j] == '+')) buf[len++] = s[j++];
    std::size_t expDigits = 0;
    while (j < s.size() && isDigit(s[j]) && len + 1 < sizeof buf) {
      buf[len++] = s[j++];
      ++expDigits;
    }
    if (expDigits == 0) len = expStart;
    else i = j;
  }
  if (i != s.size()) return std::nullopt;
  double value = 0;
  const auto res = std::from_chars(buf, buf + len, value);
  if (res.ec != std::errc() || res.ptr != buf + len || !std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

std::string FixedLocale::formatNumber(double value) const {
  if (value == 0 || !std::isfinite(value)) return "0";
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  std::string out(buf, res.ptr);
  for (char& c : out) {
    if (c == '.') c = rules_.decimal;
    else if (c == 'e') c = 'E';
  }
  return out;
}

std::optional<double> serialDate(int year, int month, int day) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1) return std::nullopt;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int maxDay = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day > maxDay) return std::nullopt;
  // Days from civil (proleptic Gregorian), then shifted to the 1899-12-30 epoch.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int mp = (month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days1970 = static_cast<long>(era) * 146097 + doe - 719468;
  return static_cast<double>(days1970 + 25569);
}

std::optional<double> FixedLocale::parseDate(std::string_view text) const {
  const std::string_view s = trimSpaces(text);
  std::size_t pos = 0;
  int a = 0, b = 0, c = 0;
  int year, month, day;
  if (!readInt(s, pos, 4, a)) return std::nullopt;
  const std::size_t firstLen = pos;
  if (pos >= s.size()) return std::nullopt;
  const char sep = s[pos];
  if (sep == '-' && firstLen == 4) {
    ++pos;
    if (!readInt(s, pos, 2, b) || pos >= s.size() || s[pos] != '-') return std::nullopt;
    ++pos;
    if (!readInt(s, pos, 2, c)) return std::nullopt;
    year = a, month = b, day = c;
  } else if (sep == rules_.dateSeparator && firstLen <= 2) {
    ++pos;
    if (!readInt(s, pos, 2, b) || pos >= s.size() || s[pos] != sep) return std::nullopt;
    ++pos;
    const std::size_t yearStart = pos;
    if (!readInt(s, pos, 4, c)) return std::nullopt;
    const std::size_t yearLen = pos - yearStart;
    if (yearLen != 2 && yearLen != 4) return std::nullopt;
    if (yearLen == 2) c += c < 30 ? 2000 : 1900;
    year = c;
    if (rules_.dateOrder == DateOrder::MonthDayYear) month = a, day = b;
    else day = a, month = b;
  } else {
    return std::nullopt;
  }
  auto serial = serialDate(year, month, day);
  if (!serial) return std::nullopt;
  double fraction = 0;
  if (pos < s.size()) {
    if (s[pos] != ' ') return std::nullopt;
    while (pos < s.size() && s[pos] == ' ') ++pos;
    int h = 0, m = 0, sec = 0;
    if (!readInt(s, pos, 2, h) || pos >= s.size() || s[pos] != ':') return std::nullopt;
    ++pos;
    if (!readInt(s, pos, 2, m)) return std::nullopt;
    if (pos < s.size() && s[pos] == ':') {
      ++pos;
      if (!readInt(s, pos, 2, sec)) return std::nullopt;
    }
    if (pos != s.size() || h > 23 || m > 59 || sec > 59) return std::nullopt;
    fraction = (h * 3600 + m * 60 + sec) / 86400.0;
  }
  return *serial + fraction;
}

std::string FixedLocale::info(std::int32_t infoType) const {
  switch (infoType) {
    case 0x1001: return rules_.languageName;      // English name of the language
    case 0x000E: return std::string(1, rules_.decimal);
    case 0x000F: return std::string(1, rules_.thousands);
    case 0x001D: return std::string(1, rules_.dateSeparator);
    default: return {};
  }
}

}  // namespace qelvaro::grid
