#pragma once
// Messages with numbered places, as the interface texts are written ("{0} 个文件").

#include <initializer_list>
#include <string>
#include <string_view>

namespace qelvaro {

// `pattern` with {0}, {1}... replaced by the arguments.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace qelvaro
