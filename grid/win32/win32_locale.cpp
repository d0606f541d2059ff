#include "win32_locale.h"

#include <windows.h>

#include "base/win32/wide_string.h"

namespace qelvaro::grid {

namespace {

std::wstring localeInfo(LCTYPE type) {
  wchar_t buf[256] = {};
  const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 256);
  return n > 0 ? std::wstring(buf, static_cast<std::size_t>(n - 1)) : std::wstring();
}

FixedLocale::Rules userRules() {
  FixedLocale::Rules rules;
  const std::wstring decimal = localeInfo(LOCALE_SDECIMAL);
  const std::wstring thousands = localeInfo(LOCALE_STHOUSAND);
  const std::wstring order = localeInfo(LOCALE_IDATE);
  const std::wstring separator = localeInfo(LOCALE_SDATE);
  if (decimal.size() == 1 && decimal[0] < 128) rules.decimal = static_cast<char>(decimal[0]);
  if (thousands.size() == 1 && thousands[0] < 128) rules.thousands = static_cast<char>(thousands[0]);
  if (rules.thousands == rules.decimal) rules.thousands = rules.decimal == ',' ? '.' : ',';
  rules.dateOrder = order == L"1" ? FixedLocale::DateOrder::DayMonthYear : FixedLocale::DateOrder::MonthDayYear;
  if (separator.size() == 1 && separator[0] < 128) rules.dateSeparator = static_cast<char>(separator[0]);
  rules.languageName = base::narrow(localeInfo(LOCALE_SENGLANGUAGE));
  return rules;
}

std::wstring mapped(std::string_view text, DWORD flags) {
  const std::wstring w = base::widen(text);
  if (w.empty()) return w;
  const int n = LCMapStringW(LOCALE_USER_DEFAULT, flags, w.c_str(), static_cast<int>(w.size()), nullptr, 0);
  if (n <= 0) return w;
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  LCMapStringW(LOCALE_USER_DEFAULT, flags, w.c_str(), static_cast<int>(w.size()), out.data(), n);
  return out;
}

}  // namespace

Win32Locale::Win32Locale() : numbers_(userRules()) {}

const Win32Locale& Win32Locale::user() {
  static const Win32Locale locale;
  return locale;
}

int Win32Locale::compareNoCase(std::string_view a, std::string_view b) const {
  const std::wstring wa = base::widen(a), wb = base::widen(b);
  const int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.c_str(), static_cast<int>(wa.size()),
                               wb.c_str(), static_cast<int>(wb.size()));
  return r == 0 ? 0 : r - CSTR_EQUAL;
}

std::string Win32Locale::sortKey(std::string_view text) const {
  const std::wstring w = base::widen(text);
  if (w.empty()) return {};
  const int n = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, w.c_str(), static_cast<int>(w.size()),
                             nullptr, 0);
  if (n <= 0) return base::narrow(mapped(text, LCMAP_UPPERCASE));
  std::string key(static_cast<std::size_t>(n), '\0');
  LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, w.c_str(), static_cast<int>(w.size()),
               reinterpret_cast<wchar_t*>(key.data()), n);
  // The key ends with a NUL byte that plain byte order must not see.
  while (!key.empty() && key.back() == '\0') key.pop_back();
  return key;
}

std::string Win32Locale::upper(std::string_view text) const { return base::narrow(mapped(text, LCMAP_UPPERCASE)); }

std::string Win32Locale::info(std::int32_t infoType) const {
  return base::narrow(localeInfo(static_cast<LCTYPE>(infoType)));
}

}  // namespace qelvaro::grid
