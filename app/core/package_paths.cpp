#include "package_paths.h"

#include <string_view>
#include <vector>

namespace qelvaro {
namespace {

bool badComponent(const std::string& part) {
  if (part == "..") return true;
  for (unsigned char c : part) {
    if (c < 0x20 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return true;
  }
  // Windows drops trailing dots and blanks, which would turn "..." or ". ." into "..".
  return part.find_first_not_of(". ") == std::string::npos;
}

// Appends the components of `path` (split at "\" and "/"); false when one is refused.
bool appendComponents(std::string_view path, std::vector<std::string>& parts) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string part(path.substr(start, end - start));
    if (!part.empty() && part != ".") {
      if (badComponent(part)) return false;
      parts.push_back(part);
    }
    start = end + 1;
  }
  return true;
}

bool startsWithShare(std::string_view path) {
  return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
}

}  // namespace

std::optional<std::string> SafeRelativePath(const std::string& diskPath, const std::string& subdir,
                                            const std::string& name) {
  if (startsWithShare(diskPath) || startsWithShare(subdir) || startsWithShare(name)) return std::nullopt;
  // A leading "\" means the root of the distribution (INFs write subfolders as
  // "\x86"), never the drive's.
  if (name.empty() || name.back() == '\\' || name.back() == '/') return std::nullopt;
  std::vector<std::string> parts;
  if (!appendComponents(diskPath, parts) || !appendComponents(subdir, parts) || !appendComponents(name, parts)) {
    return std::nullopt;
  }
  std::string path;
  for (const auto& p : parts) path = path.empty() ? p : path + "\\" + p;
  return path;
}

}  // namespace qelvaro
