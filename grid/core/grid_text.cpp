#include "grid_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace qelvaro::grid {
namespace {

std::string_view trimView(std::string_view s) {
  const auto a = s.find_first_not_of(' ');
  if (a == std::string_view::npos) return {};
  const auto b = s.find_last_not_of(' ');
  return s.substr(a, b - a + 1);
}

std::size_t utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead >> 5) == 0x6) return 2;
  if ((lead >> 4) == 0xE) return 3;
  if ((lead >> 3) == 0x1E) return 4;
  return 1;
}

bool isWordChar(std::string_view ch) {
  if (ch.size() != 1) return false;
  const char c = ch[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

}  // namespace

std::string WrapText(Canvas& canvas, std::string_view text, std::int32_t width, std::int32_t maxLines) {
  std::string flat;
  const std::string_view trimmed = trimView(text);
  for (std::size_t i = 0; i < trimmed.size(); ++i) {
    if (trimmed[i] == '\r' && i + 1 < trimmed.size() && trimmed[i + 1] == '\n') {
      flat += ' ';
      ++i;
    } else {
      flat += trimmed[i];
    }
  }

  std::vector<std::string> lines;
  std::string current;
  std::size_t breakAt = std::string::npos;  // bytes of `current` up to the last break point
  bool limited = false;
  for (std::size_t i = 0; i < flat.size();) {
    const std::size_t n = std::min(utf8Length(static_cast<unsigned char>(flat[i])), flat.size() - i);
    const std::string_view ch(flat.data() + i, n);
    i += n;
    current.append(ch);
    if (!isWordChar(ch)) breakAt = current.size();
    if (limited) continue;
    if (breakAt != std::string::npos && canvas.TextWidth(current) >= width) {
      lines.emplace_back(trimView(std::string_view(current).substr(0, breakAt)));
      current.erase(0, breakAt);
      breakAt = std::string::npos;
      if (maxLines >= 0 && static_cast<std::int32_t>(lines.size()) >= maxLines) {
        limited = true;
        // Everything left joins the last finished line.
        current = lines.back() + " " + current;
        lines.pop_back();
      }
    }
  }
  std::string last(trimView(current));
  if (limited) {
    if (last.size() > 3) {
      // Drop three characters (not bytes), then mark the cut.
      for (int k = 0; k < 3 && !last.empty(); ++k) {
        std::size_t pos = last.size() - 1;
        while (pos > 0 && (static_cast<unsigned char>(last[pos]) & 0xC0) == 0x80) --pos;
        last.erase(pos);
      }
      last = std::string(trimView(last));
    }
    last += "...";
  }
  // Text that ends on a break point leaves no empty line behind.
  if (!last.empty() || lines.empty()) lines.push_back(std::move(last));
  std::string out;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (k) out += "\r\n";
    out += lines[k];
  }
  return out;
}

// ---------------------------------------------------------------- format patterns

namespace {

struct NumberPattern {
  std::string prefix, suffix;
  int minInt = 0;
  bool group = false;
  int minDec = 0, maxDec = 0;
  bool percent = false;
};

std::string unquote(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') continue;
    if (s[i] == '\\' && i + 1 < s.size()) {
      out += s[++i];
      continue;
    }
    out += s[i];
  }
  return out;
}

NumberPattern parseNumberPattern(std::string_view p) {
  NumberPattern np;
  const auto first = p.find_first_of("0#.");
  const auto last = p.find_last_of("0#");
  if (first == std::string_view::npos || last == std::string_view::npos || last < first) {
    np.prefix = unquote(p);
    return np;
  }
  np.prefix = unquote(p.substr(0, first));
  np.suffix = unquote(p.substr(last + 1));
  const std::string_view body = p.substr(first, last - first + 1);
  const auto dot = body.find('.');
  const std::string_view ip = body.substr(0, dot);
  const std::string_view dp = dot == std::string_view::npos ? std::string_view{} : body.substr(dot + 1);
  for (char c : ip) {
    if (c == '0') ++np.minInt;
    if (c == ',') np.group = true;
  }
  for (char c : dp) {
    if (c == '0') ++np.minDec, ++np.maxDec;
    else if (c == '#') ++np.maxDec;
  }
  np.percent = p.find('%') != std::string_view::npos;
  return np;
}

std::string applyNumberPattern(double v, const NumberPattern& np, char decimal, char grouping) {
  if (np.percent) v *= 100.0;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", np.maxDec, std::fabs(v));
  std::string digits = buf;
  const auto dot = digits.find('.');
  std::string ip = digits.substr(0, dot);
  std::string dp = dot == std::string::npos ? std::string() : digits.substr(dot + 1);
  while (static_cast<int>(dp.size()) > np.minDec && !dp.empty() && dp.back() == '0') dp.pop_back();
  if (ip == "0" && np.minInt == 0) ip.clear();
  while (static_cast<int>(ip.size()) < np.minInt) ip.insert(ip.begin(), '0');
  if (np.group) {
    std::string g;
    for (std::size_t i = 0; i < ip.size(); ++i) {
      if (i && (ip.size() - i) % 3 == 0) g += grouping;
      g += ip[i];
    }
    ip = g;
  }
  std::string out = np.prefix + ip;
  if (!dp.empty()) out += decimal + dp;
  out += np.suffix;
  return out;
}

bool isDatePattern(std::string_view p) {
  if (p.find_first_of("0#") != std::string_view::npos) return false;
  return p.find_first_of("dmyhns") != std::string_view::npos;
}

void civilFromSerial(double serial, int& y, int& m, int& d, int& hh, int& nn, int& ss) {
  const double whole = std::floor(serial);
  long long seconds = std::llround((serial - whole) * 86400.0);
  // Serial 0 is 1899-12-30, 693899 days after 0000-03-01 (the era arithmetic's origin).
  const long long z = static_cast<long long>(whole) + 693899;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  if (seconds >= 86400) seconds = 86399;
  hh = static_cast<int>(seconds / 3600);
  nn = static_cast<int>(seconds / 60 % 60);
  ss = static_cast<int>(seconds % 60);
}

std::string applyDatePattern(double serial, std::string_view p) {
  static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                        "July",    "August",   "September", "October", "November", "December"};
  int y, m, d, hh, nn, ss;
  civilFromSerial(serial, y, m, d, hh, nn, ss);
  std::string out;
  char buf[16];
  for (std::size_t i = 0; i < p.size();) {
    const char c = p[i];
    std::size_t run = 1;
    while (i + run < p.size() && p[i + run] == c) ++run;
    const auto two = [&](int v) {
      std::snprintf(buf, sizeof buf, run >= 2 ? "%02d" : "%d", v);
      out += buf;
    };
    switch (c) {
      case 'd': two(d); break;
      case 'm':
        if (run >= 4) out += kMonths[m - 1];
        else if (run == 3) out += std::string(kMonths[m - 1]).substr(0, 3);
        else two(m);
        break;
      case 'y':
        std::snprintf(buf, sizeof buf, run >= 4 ? "%04d" : "%02d", run >= 4 ? y : y % 100);
        out += buf;
        break;
      case 'h': two(hh); break;
      case 'n': two(nn); break;
      case 's': two(ss); break;
      default: out.append(run, c); break;
    }
    i += run;
  }
  return out;
}

}  // namespace

std::string FormatCellText(std::string_view text, std::string_view pattern, const Locale& locale) {
  if (pattern.empty()) return std::string(text);
  const std::string_view t = trimView(text);
  if (t.empty()) return std::string(text);

  static constexpr std::string_view kNamedNumbers[] = {"General Number", "Currency", "Fixed",  "Standard", "Percent",
                                                       "Scientific",     "Yes/No",   "True/False", "On/Off"};
  const bool namedNumber = std::find(std::begin(kNamedNumbers), std::end(kNamedNumbers), pattern) != std::end(kNamedNumbers);
  if (!namedNumber && (pattern == "Short Date" || pattern == "Long Date" || isDatePattern(pattern))) {
    const auto serial = locale.parseDate(t);
    if (!serial) return std::string(text);
    if (pattern == "Short Date") return applyDatePattern(*serial, "yyyy-mm-dd");
    if (pattern == "Long Date") return applyDatePattern(*serial, "d mmmm yyyy");
    return applyDatePattern(*serial, pattern);
  }

  const auto number = locale.parseNumber(t);
  if (!number) return std::string(text);
  const double v = *number;
  if (pattern == "Yes/No") return v != 0 ? "Yes" : "No";
  if (pattern == "True/False") return v != 0 ? "True" : "False";
  if (pattern == "On/Off") return v != 0 ? "On" : "Off";
  if (pattern == "General Number") return locale.formatNumber(v);
  if (pattern == "Scientific") {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2E", v);
    return buf;
  }

  const std::string sample = locale.formatNumber(1.5);
  const char decimal = sample.size() >= 2 ? sample[1] : '.';
  const char grouping = decimal == ',' ? '.' : ',';
  std::string_view p = pattern;
  if (pattern == "Currency") p = "$#,##0.00;($#,##0.00)";
  else if (pattern == "Fixed") p = "0.00";
  else if (pattern == "Standard") p = "#,##0.00";
  else if (pattern == "Percent") p = "0.00%";

  const auto semi = p.find(';');
  if (v < 0 && semi != std::string_view::npos)
    return applyNumberPattern(-v, parseNumberPattern(p.substr(semi + 1)), decimal, grouping);
  const std::string body = applyNumberPattern(v, parseNumberPattern(p.substr(0, semi)), decimal, grouping);
  // A value that rounds to zero shows no sign.
  const bool allZero = body.find_first_of("123456789") == std::string::npos;
  return v < 0 && !allZero ? "-" + body : body;
}

}  // namespace qelvaro::grid
