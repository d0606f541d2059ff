#pragma once
// UTF-8 (portable code) to UTF-16 (the W functions) at the Windows boundary, with the
// base layer's own conversion: the same result on every Windows and in native tests.

#include <string>
#include <string_view>

#include "base/utf8.h"

namespace qelvaro::base {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows boundary has 16-bit wchar_t");

inline std::wstring widen(std::string_view utf8) {
  const std::u16string units = utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

inline std::string narrow(std::wstring_view wide) {
  return utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace qelvaro::base
