#include "base/utf8.h"

namespace qelvaro::base {

void appendUtf8(std::string& out, char32_t cp) {
  char bytes[4];
  out.append(bytes, encodeUtf8(cp, bytes));
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out(utf16ToUtf8(text, nullptr), '\0');
  utf16ToUtf8(text, out.data());
  return out;
}

std::u16string utf8ToUtf16(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  out.resize(utf8ToUtf16(text, out.data()));
  return out;
}

std::size_t utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  bool ok = true;
  for (std::size_t i = 0; i < utf8.size();) units += decodeUtf8(utf8, i, ok) >= 0x10000 ? 2 : 1;
  return units;
}

std::string_view utf16Prefix(std::string_view utf8, std::size_t maxUnits) {
  std::size_t units = 0, i = 0;
  bool ok = true;
  while (i < utf8.size()) {
    std::size_t next = i;
    const std::size_t need = decodeUtf8(utf8, next, ok) >= 0x10000 ? 2 : 1;
    if (units + need > maxUnits) break;
    units += need;
    i = next;
  }
  return utf8.substr(0, i);
}

}  // namespace qelvaro::base
