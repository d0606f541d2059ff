#include "sfx/wide_buffer_win.h"

namespace qsfx {

char* toUtf8(const wchar_t* w) {
    const std::u16string_view units(reinterpret_cast<const char16_t*>(w), wcslen(w));
    auto* s = static_cast<char*>(std::malloc(qelvaro::base::utf16ToUtf8(units, nullptr) + 1));
    if (!s) std::abort();
    s[qelvaro::base::utf16ToUtf8(units, s)] = 0;
    return s;
}

// "\\?\" form, so that deep entries pass MAX_PATH and no name is reinterpreted.
WStr longPath(const wchar_t* path) {
    WStr out;
    if (path[0] == L'\\' && path[1] == L'\\') out.add(L"\\\\?\\UNC\\").add(path + 2);
    else out.add(L"\\\\?\\").add(path);
    return out;
}

bool isAbsolute(const wchar_t* p) {
    return (p[0] && p[1] == L':' && p[2] == L'\\') || (p[0] == L'\\' && p[1] == L'\\');
}

}  // namespace qsfx
