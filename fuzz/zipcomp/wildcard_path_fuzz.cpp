// Fuzzes what the zip component reads from outside: the FilesToProcess list and the
// wildcard matcher (from the caller), names and paths (from the disk and the caller).
// Input: pattern, 0x00, name, 0x00, path. Beyond "does not crash", it checks the
// properties the rest of the component relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/utf8.h"
#include "zipcomp/zip_paths.h"

using namespace zipcomp;
using qelvaro::base::isValidUtf8;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

std::string_view take(std::string_view& in) {
    auto cut = in.find('\0');
    std::string_view part = in.substr(0, cut);
    in = cut == std::string_view::npos ? std::string_view{} : in.substr(cut + 1);
    return part;
}

bool hasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    std::string_view in(reinterpret_cast<const char*>(data), size);
    std::string_view pattern = take(in), name = take(in), path = in;

    bool m = matchWildcard(pattern, name);
    bool seg = matchWildcard(pattern, name, true);
    check(!seg || m);  // staying inside one folder only removes matches
    check(matchWildcard("*", name));
    check(matchWildcard("*.*", name));
    if (!hasWildcard(name)) check(matchWildcard(name, name));
    if (!hasWildcard(pattern) && pattern.find(".*") == std::string_view::npos && m)
        check(pattern.size() == name.size());
    bool dotStar = pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*";
    if (m && !dotStar) check(matchWildcard(std::string(pattern) + "*", name));

    for (PathStyle style : {PathStyle::Posix, PathStyle::Windows}) {
        FileFilter filter(pattern, style);
        bool matched = filter.matches(name);
        (void)matched;
        if (pattern.substr(0, 3) == "../") check(!filter.valid());

        SplitPath sp = splitPath(path, style);
        check(sp.parent.size() + sp.name.size() <= path.size());
        for (char c : sp.name) check(c != '/' && !(style == PathStyle::Windows && c == '\\'));
        std::string joined = joinPath(sp.parent, sp.name, style);
        check(splitPath(joined, style).name == sp.name || sp.name.empty());

        std::string temp = temporaryPathFor(path, "ab12", style);
        SplitPath tp = splitPath(temp, style);
        check(tp.parent == sp.parent);
        // The temporary name fits the file system's name limit whenever a name can.
        check(tp.name.size() <= 255);
        if (isValidUtf8(sp.name)) check(isValidUtf8(tp.name));
    }
    isValidUtf8(path);
    return 0;
}
