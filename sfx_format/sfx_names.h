// Entry names of an archive as the self-extractor takes them: text decoded to UTF-8 and
// checked to stay inside the unpack folder on Windows. Plain C-style code (no standard
// containers): the stub is linked without the C++ library's exception machinery.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qsfx {

// Appends the UTF-8 form of `name` to `out` (room for 3 bytes per input byte). Names
// flagged UTF-8 must be valid UTF-8; the others are code page 437, as the format says.
// Returns the bytes written, or SIZE_MAX when a UTF-8 name is not valid.
std::size_t decodeEntryName(const std::uint8_t* name, std::size_t n, bool utf8, char* out);

// True when `name` (UTF-8, '/' or '\' separated) names a file or folder inside the unpack
// folder on every Windows version: not absolute, no drive or stream (no ':' at all), no
// "." or ".." component, no empty component, no reserved device name (CON, NUL, COM1,
// ... with any extension), no character Windows refuses in a name, no component ending
// in a dot or space (Windows would strip it and write another file). A final separator
// marks a folder entry and is allowed.
bool isSafeEntryName(const char* name, std::size_t n);

}  // namespace qsfx
