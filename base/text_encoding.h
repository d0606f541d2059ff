#pragma once
// Conversions between the encodings that Windows text files and APIs use.
// Portable code keeps text as UTF-8 in std::string; UTF-16 appears only at the
// Windows boundary and inside file decoding.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/utf8.h"

namespace qelvaro {

// The UTF-8/UTF-16 conversions and checks live in the base layer.
using base::isValidUtf8;
using base::utf16Length;
using base::utf16Prefix;
using base::utf16ToUtf8;
using base::utf8ToUtf16;

// Windows-1252 to UTF-8, the way MultiByteToWideChar(1252) maps every byte
// (the five undefined bytes keep their own code point).
std::string windows1252ToUtf8(std::string_view bytes);

// ASCII-only case folding and comparison. Names in profile files are compared
// this way; non-ASCII letters compare exactly.
char asciiLower(char c);
std::string asciiLowerCopy(std::string_view text);
bool iequalsAscii(std::string_view a, std::string_view b);

}  // namespace qelvaro
