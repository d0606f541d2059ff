#include "zipcomp/zip_paths.h"

#include <cstdint>

namespace zipcomp {
namespace {

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of the UTF-8 sequence starting at s[i], at least 1 and never past the end, so
// broken text still advances one byte at a time.
std::size_t codePointLength(std::string_view s, std::size_t i) {
    auto lead = static_cast<unsigned char>(s[i]);
    std::size_t len = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (i + len > s.size()) return 1;
    for (std::size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return len;
}

// Greedy matching with one remembered star: linear in practice, and at worst
// pattern length times name length, never exponential.
bool matchPlain(std::string_view p, std::string_view s, bool segmentOnly) {
    std::size_t pi = 0, si = 0;
    std::size_t starP = std::string_view::npos, starS = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starS = si;
            continue;
        }
        if (pi < p.size() && p[pi] == '?' && !(segmentOnly && s[si] == '/')) {
            ++pi;
            si += codePointLength(s, si);
            continue;
        }
        if (pi < p.size() && p[pi] != '?' && foldAscii(p[pi]) == foldAscii(s[si])) {
            ++pi;
            ++si;
            continue;
        }
        if (starP == std::string_view::npos) return false;
        // The star swallows one more character, unless that would cross a folder.
        if (segmentOnly && s[starS] == '/') return false;
        starS += codePointLength(s, starS);
        si = starS;
        pi = starP + 1;
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

bool hasDrive(std::string_view p, PathStyle style) {
    return style == PathStyle::Windows && p.size() >= 2 && p[1] == ':' &&
           ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

bool isSeparator(char c, PathStyle style) {
    return c == '/' || (style == PathStyle::Windows && c == '\\');
}

bool matchWildcard(std::string_view pattern, std::string_view name, bool segmentOnly) {
    if (matchPlain(pattern, name, segmentOnly)) return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*")
        return matchPlain(pattern.substr(0, pattern.size() - 2), name, segmentOnly);
    return false;
}

FileFilter::FileFilter(std::string_view patterns, PathStyle style) {
    while (true) {
        auto semi = patterns.find(';');
        std::string_view part = trim(patterns.substr(0, semi));
        if (!part.empty()) {
            std::string p(part);
            for (char& c : p)
                if (isSeparator(c, style)) c = '/';
            bool absolute = p.front() == '/' || hasDrive(p, style);
            bool hasFolder = p.find('/') != std::string::npos;
            std::string_view rest = p;
            while (hasFolder && !rest.empty()) {
                auto slash = rest.find('/');
                if (rest.substr(0, slash) == "..") valid_ = false;
                if (slash == std::string_view::npos) break;
                rest.remove_prefix(slash + 1);
            }
            if (absolute) valid_ = false;
            while (p.rfind("./", 0) == 0) p.erase(0, 2);
            (hasFolder ? pathPatterns_ : namePatterns_).push_back(std::move(p));
        }
        if (semi == std::string_view::npos) break;
        patterns.remove_prefix(semi + 1);
    }
    if (namePatterns_.empty() && pathPatterns_.empty()) namePatterns_.push_back("*");
}

bool FileFilter::matches(std::string_view relativePath) const {
    auto slash = relativePath.rfind('/');
    std::string_view name = slash == std::string_view::npos ? relativePath : relativePath.substr(slash + 1);
    for (const auto& p : namePatterns_)
        if (matchWildcard(p, name)) return true;
    for (const auto& p : pathPatterns_)
        if (matchWildcard(p, relativePath, true)) return true;
    return false;
}

SplitPath splitPath(std::string_view path, PathStyle style) {
    std::size_t end = path.size();
    // A trailing separator does not make an empty name ("C:\out\" names "out").
    while (end > 1 && isSeparator(path[end - 1], style)) --end;
    std::size_t cut = std::string_view::npos;
    for (std::size_t i = end; i-- > 0;)
        if (isSeparator(path[i], style)) {
            cut = i;
            break;
        }
    if (cut == std::string_view::npos) {
        if (end >= 2 && hasDrive(path, style))
            return {std::string(path.substr(0, 2)), std::string(path.substr(2, end - 2))};
        return {"", std::string(path.substr(0, end))};
    }
    std::size_t parentEnd = cut;
    while (parentEnd > 0 && isSeparator(path[parentEnd - 1], style)) --parentEnd;
    // The root keeps its separator ("/x" lives in "/", "C:\x" in "C:\").
    bool rootParent = parentEnd == 0 || (parentEnd == 2 && hasDrive(path, style));
    std::string parent(path.substr(0, rootParent ? parentEnd + 1 : parentEnd));
    return {parent, std::string(path.substr(cut + 1, end - cut - 1))};
}

std::string joinPath(std::string_view dir, std::string_view name, PathStyle style) {
    std::string out(dir);
    // "C:" names the current folder of drive C, not its root: no separator after it.
    bool driveRelative = out.size() == 2 && hasDrive(out, style);
    if (!out.empty() && !isSeparator(out.back(), style) && !driveRelative) out += '/';
    out += name;
    return out;
}

std::string temporaryPathFor(std::string_view target, std::string_view token, PathStyle style) {
    SplitPath sp = splitPath(target, style);
    // File systems limit a name to 255 bytes (POSIX) or 255 UTF-16 units (Windows): a
    // long archive name gives up its tail, cut between characters, so that the
    // temporary name fits wherever the archive's own name does.
    constexpr std::size_t kNameMax = 255;
    const std::size_t extra = 1 + 1 + token.size() + 4;
    std::string_view stem = sp.name;
    while (!stem.empty() && stem.size() + extra > kNameMax) {
        while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80) stem.remove_suffix(1);
        if (!stem.empty()) stem.remove_suffix(1);
    }
    std::string name = "." + std::string(stem) + "." + std::string(token) + ".tmp";
    return sp.parent.empty() ? name : joinPath(sp.parent, name, style);
}

}  // namespace zipcomp
