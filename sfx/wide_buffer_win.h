#pragma once
// The stub's wide strings: it links no C++ library containers (they would bring the
// exception machinery and double its size), so text is kept in this small heap buffer.

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "base/utf8.h"

namespace qsfx {

// A growing wide string on the heap; the stub has no C++ library containers.
class WStr {
public:
    WStr() = default;
    explicit WStr(const wchar_t* s) { add(s); }
    ~WStr() { std::free(p_); }
    WStr(const WStr& o) { add(o.c()); }
    WStr(WStr&& o) noexcept : p_(o.p_), len_(o.len_), cap_(o.cap_) { o.p_ = nullptr, o.len_ = o.cap_ = 0; }
    WStr& operator=(WStr&& o) noexcept {
        std::free(p_);
        p_ = o.p_, len_ = o.len_, cap_ = o.cap_;
        o.p_ = nullptr, o.len_ = o.cap_ = 0;
        return *this;
    }
    WStr& operator=(const WStr&) = delete;
    WStr& add(const wchar_t* s, std::size_t n) {
        if (n > (1u << 28)) std::abort();
        if (len_ + n + 1 > cap_) {
            std::size_t cap = (len_ + n + 1) * 2;
            auto* q = static_cast<wchar_t*>(std::realloc(p_, cap * sizeof(wchar_t)));
            if (!q) std::abort();
            p_ = q;
            cap_ = cap;
        }
        std::memcpy(p_ + len_, s, n * sizeof(wchar_t));
        len_ += n;
        p_[len_] = 0;
        return *this;
    }
    WStr& add(const wchar_t* s) { return add(s, wcslen(s)); }
    WStr& addUtf8(const char* s) {
        const std::size_t n = std::strlen(s);
        if (n == 0) return *this;
        // One UTF-16 unit per byte at most.
        auto* w = static_cast<char16_t*>(std::malloc(n * sizeof(char16_t)));
        if (!w) std::abort();
        add(reinterpret_cast<const wchar_t*>(w), qelvaro::base::utf8ToUtf16({s, n}, w));
        std::free(w);
        return *this;
    }
    void cut(std::size_t n) {
        if (n < len_) {
            len_ = n;
            p_[len_] = 0;
        }
    }
    const wchar_t* c() const { return p_ ? p_ : L""; }
    wchar_t* data() { return p_; }
    std::size_t size() const { return len_; }

private:
    wchar_t* p_ = nullptr;
    std::size_t len_ = 0;
    std::size_t cap_ = 0;
};

// UTF-8 as a malloc'd string (the caller frees it).
char* toUtf8(const wchar_t* w);

// "\\?\" form, so that deep entries pass MAX_PATH and no name is reinterpreted.
WStr longPath(const wchar_t* path);

// A path that names a drive ("C:\\...") or a share ("\\\\server\\...").
bool isAbsolute(const wchar_t* p);

}  // namespace qsfx
