#pragma once
// File names as Windows compares them: two names that fold alike are one file on
// NTFS, whatever a case-sensitive host file system makes of them.

#include <string>
#include <string_view>

namespace qelvaro {

// A name (or a whole path) upper-cased the way Windows compares file names: each
// UTF-16 unit by its simple upper case, the way NTFS's upper-case table maps it.
std::string FoldFileName(std::string_view name);

}  // namespace qelvaro
