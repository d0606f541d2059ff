#include "sfx/wide_buffer_win.h"

namespace qsfx {

char* toUtf8(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    auto* s = static_cast<char*>(std::malloc(n > 0 ? n : 1));
    if (!s) std::abort();
    s[0] = 0;
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w, -1, s, n, nullptr, nullptr);
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
