#pragma once
// An archive read through an open Windows file handle (which the caller keeps and
// closes): positioned reads, so that no file pointer is shared between readers, in
// pieces of at most 16 MiB, the most one ReadFile is asked for.

#include <windows.h>

#include <cstdint>

#include "base/checked.h"
#include "sfx_format/sfx_archive.h"

namespace qsfx {

class HandleInput : public Input {
public:
    explicit HandleInput(HANDLE h) : h_(h) {
        LARGE_INTEGER s{};
        if (GetFileSizeEx(h, &s)) size_ = static_cast<std::uint64_t>(s.QuadPart);
    }
    std::uint64_t size() const override { return size_; }
    bool readAt(std::uint64_t offset, void* buffer, std::size_t n) override {
        if (!qelvaro::base::fitsWithin(offset, n, size_)) return false;
        auto* p = static_cast<std::uint8_t*>(buffer);
        while (n > 0) {
            OVERLAPPED o{};
            o.Offset = static_cast<DWORD>(offset);
            o.OffsetHigh = static_cast<DWORD>(offset >> 32);
            const DWORD want = n > (1u << 24) ? (1u << 24) : static_cast<DWORD>(n);
            DWORD got = 0;
            if (!ReadFile(h_, p, want, &got, &o) || got == 0) return false;
            p += got;
            offset += got;
            n -= got;
        }
        return true;
    }

protected:
    HANDLE h_;

private:
    std::uint64_t size_ = 0;
};

}  // namespace qsfx
