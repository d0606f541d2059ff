#pragma once
// UTF-8, the text of all portable code, and UTF-16, the text of Windows' W functions
// and of registry hives and INF files saved as "Unicode".

#include <cstddef>
#include <string>
#include <string_view>

namespace qelvaro::base {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the sequence at text[i] and moves i past it. A malformed sequence (overlong,
// a surrogate, past U+10FFFF, cut short) sets ok to false, moves one byte and gives
// U+FFFD. Header-only so that the self-extractor stub, which links no C++ library,
// validates names with the same rules.
constexpr char32_t decodeUtf8(std::string_view text, std::size_t& i, bool& ok) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  ok = true;
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  std::size_t extra = 0;
  char32_t cp = 0, min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  }
  bool good = extra != 0 && i + extra < text.size();
  for (std::size_t k = 1; good && k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    good = (b & 0xC0) == 0x80;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (!good || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ok = false;
    ++i;
    return kReplacementCharacter;
  }
  i += extra + 1;
  return cp;
}

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
constexpr bool isValidUtf8(std::string_view bytes) {
  bool ok = true;
  for (std::size_t i = 0; i < bytes.size() && ok;) decodeUtf8(bytes, i, ok);
  return ok;
}

// Writes one code point as UTF-8 at `out` (room for 4 bytes); returns the bytes written.
constexpr std::size_t encodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// The conversions into caller-made buffers, for code without the C++ library's
// containers (the stub). UTF-8 to UTF-16 needs at most one unit per byte; UTF-16 to
// UTF-8 at most three bytes per unit. Both return what they wrote.
constexpr std::size_t utf8ToUtf16(std::string_view text, char16_t* out) {
  std::size_t n = 0;
  bool ok = true;
  for (std::size_t i = 0; i < text.size();) {
    const char32_t cp = decodeUtf8(text, i, ok);
    if (cp >= 0x10000) {
      out[n++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(cp);
    }
  }
  return n;
}

// Unpaired surrogates become U+FFFD. With a null `out`, only counts.
constexpr std::size_t utf16ToUtf8(std::u16string_view text, char* out) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacementCharacter;
    }
    n += out ? encodeUtf8(cp, out + n) : cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  }
  return n;
}

// Appends one code point as UTF-8.
void appendUtf8(std::string& out, char32_t cp);

// UTF-16 (native order) to UTF-8. Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16. Invalid sequences become U+FFFD, one for each byte.
std::u16string utf8ToUtf16(std::string_view text);

// Number of UTF-16 code units the UTF-8 text needs.
std::size_t utf16Length(std::string_view utf8);

// The longest prefix of the UTF-8 text that fits in maxUnits UTF-16 code units,
// never splitting a character.
std::string_view utf16Prefix(std::string_view utf8, std::size_t maxUnits);

}  // namespace qelvaro::base
