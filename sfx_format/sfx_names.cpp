#include "sfx_format/sfx_names.h"

#include "base/utf8.h"

namespace qsfx {
namespace {

// Code page 437, bytes 0x80 to 0xFF.
const std::uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool sameAscii(const char* a, std::size_t n, const char* word) {
    std::size_t i = 0;
    for (; i < n; ++i) {
        if (!word[i] || upper(a[i]) != word[i]) return false;
    }
    return word[i] == 0;
}

// Device names Windows opens instead of a file, whatever the extension: CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9, and since Windows 10 also COM and LPT with a
// superscript digit.
bool isDeviceName(const char* c, std::size_t n) {
    std::size_t base = 0;
    while (base < n && c[base] != '.') ++base;
    while (base > 0 && c[base - 1] == ' ') --base;
    static const char* const kPlain[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* w : kPlain) {
        if (sameAscii(c, base, w)) return true;
    }
    if (base < 4) return false;
    if (!sameAscii(c, 3, "COM") && !sameAscii(c, 3, "LPT")) return false;
    if (base == 4 && c[3] >= '0' && c[3] <= '9') return true;
    // U+00B9, U+00B2, U+00B3 in UTF-8.
    if (base == 5 && static_cast<unsigned char>(c[3]) == 0xC2) {
        const unsigned char d = static_cast<unsigned char>(c[4]);
        return d == 0xB9 || d == 0xB2 || d == 0xB3;
    }
    return false;
}

bool isSafeComponent(const char* c, std::size_t n) {
    if (n == 0) return false;
    if (n == 1 && c[0] == '.') return false;
    if (n == 2 && c[0] == '.' && c[1] == '.') return false;
    if (c[n - 1] == '.' || c[n - 1] == ' ') return false;
    return !isDeviceName(c, n);
}

}  // namespace

std::size_t decodeEntryName(const std::uint8_t* name, std::size_t n, bool utf8, char* out) {
    if (utf8) {
        if (!qelvaro::base::isValidUtf8({reinterpret_cast<const char*>(name), n})) return SIZE_MAX;
        for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(name[i]);
        return n;
    }
    std::size_t o = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = name[i];
        if (b < 0x80) {
            out[o++] = static_cast<char>(b);
            continue;
        }
        const std::uint16_t cp = kCp437High[b - 0x80];
        if (cp < 0x800) {
            out[o++] = static_cast<char>(0xC0 | (cp >> 6));
        } else {
            out[o++] = static_cast<char>(0xE0 | (cp >> 12));
            out[o++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        out[o++] = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return o;
}

bool isSafeEntryName(const char* name, std::size_t n) {
    if (n == 0) return false;
    if (name[0] == '/' || name[0] == '\\') return false;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return false;
    }
    // A folder entry ends in one separator.
    if (name[n - 1] == '/' || name[n - 1] == '\\') --n;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= n; ++i) {
        if (i == n || name[i] == '/' || name[i] == '\\') {
            if (!isSafeComponent(name + start, i - start)) return false;
            start = i + 1;
        }
    }
    return true;
}

}  // namespace qsfx
