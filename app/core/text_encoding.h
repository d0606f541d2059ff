#pragma once
// Conversions between the encodings that Windows text files and APIs use.
// Portable code keeps text as UTF-8 in std::string; UTF-16 appears only at the
// Windows boundary and inside file decoding.

#include <cstddef>
#include <string>
#include <string_view>

namespace qelvaro {

// UTF-16 (native order) to UTF-8. Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16. Invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view bytes);

// Windows-1252 to UTF-8, the way MultiByteToWideChar(1252) maps every byte
// (the five undefined bytes keep their own code point).
std::string windows1252ToUtf8(std::string_view bytes);

// Number of UTF-16 code units the UTF-8 text needs.
std::size_t utf16Length(std::string_view utf8);

// The longest prefix of the UTF-8 text that fits in maxUnits UTF-16 code units,
// never splitting a character.
std::string_view utf16Prefix(std::string_view utf8, std::size_t maxUnits);

// ASCII-only case folding and comparison. Names in profile files are compared
// this way; non-ASCII letters compare exactly.
char asciiLower(char c);
std::string asciiLowerCopy(std::string_view text);
bool iequalsAscii(std::string_view a, std::string_view b);

}  // namespace qelvaro
