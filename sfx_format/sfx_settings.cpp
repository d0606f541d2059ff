#include "sfx_format/sfx_settings.h"

#include <cstdlib>
#include <cstring>

#include <libdeflate.h>

#include "base/bytes.h"

namespace qsfx {
namespace {

using qelvaro::base::loadLe32;

// Unescapes in place; returns false on an unknown escape.
bool unescape(char* s) {
    char* o = s;
    for (char* p = s; *p; ++p) {
        if (*p != '\\') {
            *o++ = *p;
            continue;
        }
        ++p;
        if (*p == '\\') *o++ = '\\';
        else if (*p == 'n') *o++ = '\n';
        else if (*p == 'r') *o++ = '\r';
        else return false;
    }
    *o = 0;
    return true;
}

}  // namespace

Settings::~Settings() { std::free(buffer_); }

std::uint32_t Settings::textLengthFromTrailer(const std::uint8_t* t) {
    if (std::memcmp(t + 8, kSettingsMagic, 8) != 0) return 0;
    const std::uint32_t n = loadLe32(t);
    return n <= kMaxSettingsText ? n : 0;
}

bool Settings::parse(const std::uint8_t* data, std::size_t trailerEnd) {
    if (trailerEnd < kSettingsTrailerSize) return false;
    const std::uint8_t* trailer = data + trailerEnd - kSettingsTrailerSize;
    const std::uint32_t n = textLengthFromTrailer(trailer);
    if (n == 0 || n > trailerEnd - kSettingsTrailerSize) return false;
    const std::uint8_t* text = trailer - n;
    if (libdeflate_crc32(0, text, n) != loadLe32(trailer + 4)) return false;
    std::free(buffer_);
    buffer_ = static_cast<char*>(std::malloc(n + 1));
    if (!buffer_) return false;
    std::memcpy(buffer_, text, n);
    buffer_[n] = 0;
    if (std::strlen(buffer_) != n) return false;  // no zero bytes inside

    char* line = buffer_;
    while (*line) {
        char* end = std::strchr(line, '\n');
        char* next = end ? end + 1 : line + std::strlen(line);
        if (end) *end = 0;
        char* eq = std::strchr(line, '=');
        if (!eq) return false;
        *eq = 0;
        char* value = eq + 1;
        if (!unescape(value)) return false;
        if (!std::strcmp(line, kKeyPassword)) password = value;
        else if (!std::strcmp(line, kKeyFolder)) folder = value;
        else if (!std::strcmp(line, kKeyRun)) run = value;
        else if (!std::strcmp(line, kKeyTitle)) title = value;
        else if (!std::strcmp(line, kKeyConfirm)) confirm = value;
        else if (!std::strcmp(line, kKeyDone)) done = value;
        else if (!std::strcmp(line, kKeyInstall)) install = value[0] == '1';
        // Unknown keys come from a newer component; they are left alone.
        line = next;
    }
    return true;
}

std::size_t expandPlaceholders(const char* text, const char* temp, const char* dir, bool quote, char* out,
                               std::size_t cap) {
    std::size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 < cap) out[n] = c;
        ++n;
    };
    bool inQuotes = false;
    for (const char* p = text; *p; ++p) {
        if (*p == '"') inQuotes = !inQuotes;
        if (*p != '%' || (p[1] != 't' && p[1] != 'd' && p[1] != '%')) {
            put(*p);
            continue;
        }
        ++p;
        if (*p == '%') {
            put('%');
            continue;
        }
        const char* value = *p == 't' ? temp : dir;
        const bool wrap = quote && !inQuotes && (std::strchr(value, ' ') || std::strchr(value, '\t'));
        if (wrap) put('"');
        for (const char* v = value; *v; ++v) put(*v);
        // A closing quote right after a backslash would be read as an escaped quote.
        if (wrap && n > 0 && value[0] && value[std::strlen(value) - 1] == '\\') put('\\');
        if (wrap) put('"');
    }
    if (cap > 0) out[n < cap ? n : cap - 1] = 0;
    return n;
}

const char* unpackFolderProblem(const char* folder) {
    std::size_t n = std::strlen(folder);
    while (n > 0 && folder[n - 1] == '\\') --n;
    if (n == 0) return "no unpack folder given";
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (folder[i] == '%' && folder[i + 1] == 'd') return "the unpack folder cannot use %d (it names the unpack folder)";
    }
    if (std::memchr(folder, '/', n)) return "the unpack folder must use '\\' as separator";
    // Where the parts below the drive, share or temporary folder start.
    std::size_t start;
    if (n >= 2 && folder[0] == '%' && folder[1] == 't') {
        start = 2;
    } else if (n >= 2 && folder[1] == ':' && ((folder[0] | 0x20) >= 'a' && (folder[0] | 0x20) <= 'z')) {
        start = 2;
    } else if (n >= 2 && folder[0] == '\\' && folder[1] == '\\') {
        start = 2;
        for (int parts = 0; parts < 2; ++parts) {  // server and share
            const std::size_t from = start;
            while (start < n && folder[start] != '\\') ++start;
            if (start == from) return "the unpack folder names no share";
            if (parts == 0) ++start;
        }
    } else {
        return "the unpack folder must be absolute (C:\\..., \\\\server\\share\\... or %t\\...)";
    }
    if (start >= n) return "the unpack folder cannot be a drive, a share or the temporary folder itself";
    if (folder[start] != '\\') return "the unpack folder must be absolute (C:\\..., \\\\server\\share\\... or %t\\...)";
    for (std::size_t i = start + 1, from = i; i <= n; ++i) {
        if (i < n && folder[i] != '\\') continue;
        const std::size_t len = i - from;
        if (len == 0 || (len == 1 && folder[from] == '.') || (len == 2 && folder[from] == '.' && folder[from + 1] == '.'))
            return "the unpack folder cannot have empty, \".\" or \"..\" parts";
        from = i + 1;
    }
    return nullptr;
}

}  // namespace qsfx
