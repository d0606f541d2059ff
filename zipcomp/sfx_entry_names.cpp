#include "zipcomp/sfx_entry_names.h"

#include <unordered_map>
#include <unordered_set>

#include "base/utf8.h"
#include "sfx_format/sfx_names.h"

#ifdef _WIN32
#include <windows.h>

#include "base/win32/wide_string.h"
#else
#include <clocale>
#include <cwctype>
#include <locale.h>
#endif

namespace zipcomp {
namespace {

bool isAscii(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

#ifdef _WIN32
std::string foldWide(const std::string& name) {
    std::wstring w = qelvaro::base::widen(name);
    if (w.empty()) return name;
    // The same simple, per-unit upper-casing the file system compares names with.
    CharUpperBuffW(w.data(), static_cast<DWORD>(w.size()));
    return qelvaro::base::narrow(w);
}
#else
// Windows upper-cases each UTF-16 unit of the BMP through its table; the C.UTF-8
// locale's simple upper-casing is the same mapping for practical purposes.
std::string foldWide(const std::string& name) {
    static const locale_t locale = [] {
        locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        if (!l) l = ::newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
        return l;
    }();
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char b = static_cast<unsigned char>(name[i]);
        const std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        if (len == 1 || len == 4 || i + len > name.size() || !locale) {
            out.append(name, i, std::min(len, name.size() - i));
            i += len;
            continue;
        }
        char32_t cp = b & (len == 2 ? 0x1F : 0x0F);
        for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
        const wint_t up = ::towupper_l(static_cast<wint_t>(cp), locale);
        if (up < 0x80 || up > 0xFFFF || (up >= 0xD800 && up <= 0xDFFF)) {
            out.append(name, i, len);  // a mapping into ASCII or out of the BMP is not Windows'
        } else if (up < 0x800) {
            out += static_cast<char>(0xC0 | (up >> 6));
            out += static_cast<char>(0x80 | (up & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (up >> 12));
            out += static_cast<char>(0x80 | ((up >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (up & 0x3F));
        }
        i += len;
    }
    return out;
}
#endif

}  // namespace

std::string foldForWindows(const std::string& name) {
    if (isAscii(name)) {
        std::string out = name;
        for (char& c : out)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        return out;
    }
    return foldWide(name);
}

ZipResult checkSfxEntryNames(const std::vector<SourceFile>& files, std::string& path) {
    // Folded names of the files, and of every folder above one: a file may not share
    // its name with another file, nor with a folder, on a file system that ignores case.
    std::unordered_map<std::string, const SourceFile*> fileNames;
    std::unordered_set<std::string> folderNames;
    for (const SourceFile& f : files) {
        // The name as the stub reads it: UTF-8 when the archive flags it so, which the
        // writer does for valid UTF-8; code page 437 otherwise (a POSIX name in another
        // encoding).
        const auto* raw = reinterpret_cast<const std::uint8_t*>(f.entryName.data());
        const bool utf8 = !isAscii(f.entryName) && qelvaro::base::isValidUtf8(f.entryName);
        std::string name(f.entryName.size() * 3, '\0');
        name.resize(qsfx::decodeEntryName(raw, f.entryName.size(), utf8, name.data()));
        if (!qsfx::isSafeEntryName(name.data(), name.size())) {
            path = f.path;
            return ZipResult::SfxNameRefused;
        }
        const std::string folded = foldForWindows(name);
        bool clash = !fileNames.emplace(folded, &f).second || folderNames.count(folded) > 0;
        for (std::size_t slash = folded.find('/'); !clash && slash != std::string::npos;
             slash = folded.find('/', slash + 1)) {
            const std::string folder = folded.substr(0, slash);
            clash = fileNames.count(folder) > 0;
            folderNames.insert(folder);
        }
        if (clash) {
            path = f.path;
            return ZipResult::SfxNameClash;
        }
    }
    return ZipResult::Ok;
}

}  // namespace zipcomp
