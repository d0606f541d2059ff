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

bool isDeviceName(std::string_view name) {
  // The part before the first dot, without trailing blanks, decides: "aux.cat" and
  // "COM1 .txt" open devices too.
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  std::string upper;
  for (const char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.rfind("COM", 0) == 0 || upper.rfind("LPT", 0) == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

}  // namespace

bool IsWindowsFileName(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ' || isDeviceName(name)) return false;
  for (const unsigned char c : name) {
    if (c < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' || c == '|' ||
        c == '?' || c == '*') {
      return false;
    }
  }
  return true;
}

std::string WindowsFolderName(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  if (name.empty() || isDeviceName(name)) name.insert(0, "_");
  return name;
}

bool IsPlainEntryName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("\\/:") == std::string::npos && name.find('\0') == std::string::npos;
}

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
