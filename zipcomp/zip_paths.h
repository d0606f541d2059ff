// Name matching and path handling for the zip component. Everything here works on
// UTF-8 text that comes from the caller (patterns, folder and archive names) or from
// the disk (file names), so it is fuzzed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zipcomp {

enum class PathStyle { Posix, Windows };

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

bool isSeparator(char c, PathStyle style);

// Windows wildcard semantics: '*' matches any run, '?' one character (a UTF-8 code
// point), ASCII letters match either case, and a trailing ".*" also matches names
// without any dot, so "*.*" matches every file as users expect from Windows.
// With `segmentOnly`, neither wildcard matches '/'.
bool matchWildcard(std::string_view pattern, std::string_view name, bool segmentOnly = false);

// The `FilesToProcess` list: patterns separated by ';'. A pattern without a folder part
// matches the file name at any depth; one with a folder part ("drivers/*.inf") matches
// the whole path relative to the base folder. An empty list means every file.
class FileFilter {
public:
    explicit FileFilter(std::string_view patterns, PathStyle style = kNativePathStyle);
    // False when a pattern would reach outside the base folder (absolute, "..").
    bool valid() const { return valid_; }
    // `relativePath` uses '/' between its parts.
    bool matches(std::string_view relativePath) const;

private:
    std::vector<std::string> namePatterns_;
    std::vector<std::string> pathPatterns_;
    bool valid_ = true;
};

struct SplitPath {
    std::string parent;  // "" when the path has no folder part
    std::string name;
};
SplitPath splitPath(std::string_view path, PathStyle style = kNativePathStyle);

// Joins with '/', which both POSIX and Win32 accept; never doubles a separator.
std::string joinPath(std::string_view dir, std::string_view name, PathStyle style = kNativePathStyle);

// The name of the temporary archive beside `target`: same folder, so the final rename
// never crosses a volume.
std::string temporaryPathFor(std::string_view target, std::string_view token,
                             PathStyle style = kNativePathStyle);

}  // namespace zipcomp
