#pragma once
// Strings of a Windows program's or DLL's string-table resources (RT_STRING), read from
// the file's bytes on any platform: what an indirect string "@file.dll,-id" names.
// The bytes may be hostile (an offline image is anybody's disk): every offset and
// count is checked against the buffer before it is used.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qelvaro {

// String `id` of the image's string tables, as UTF-8: from the table in language
// `preferredLanguage` (a LANGID such as 0x0804) when the image has one, else from its
// first language. None when the bytes are not a PE image, have no such string, or the
// string is empty.
std::optional<std::string> ReadPeString(std::string_view image, std::uint32_t id,
                                        std::uint16_t preferredLanguage);

}  // namespace qelvaro
