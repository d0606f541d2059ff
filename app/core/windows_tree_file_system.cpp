#include "windows_tree_file_system.h"

#include <dirent.h>
#include <locale.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cwctype>
#include <vector>

#include "text_encoding.h"

namespace qelvaro {
namespace {

// Windows compares names through an upper-case table of the BMP; the C.UTF-8
// locale's simple upper-casing is the same mapping for practical purposes. Without
// that locale only ASCII letters fold.
locale_t upperCaseLocale() {
  static const locale_t locale = [] {
    locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!l) l = ::newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return locale;
}

std::u16string foldUnits(std::string_view name) {
  std::u16string units = utf8ToUtf16(name);
  const locale_t locale = upperCaseLocale();
  for (char16_t& u : units) {
    if (u < 0x80) {
      if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - 32);
    } else if (locale && (u < 0xD800 || u > 0xDFFF)) {
      const wint_t up = ::towupper_l(static_cast<wint_t>(u), locale);
      if (up <= 0xFFFF) u = static_cast<char16_t>(up);
    }
  }
  return units;
}

long long nowNsec() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// A listing taken this soon after the folder last changed may miss a change made
// within the same tick of the file system's clock, so it is not trusted.
constexpr long long kRacyNsec = 2000000000LL;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string trimBlanks(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

}  // namespace

std::string FoldFileName(std::string_view name) { return utf16ToUtf8(foldUnits(name)); }

struct WindowsTreeFileSystem::Parsed {
  std::string root;       // host folder of the drive, "" for the host root
  std::string keyPrefix;  // "C:" for a drive, "" for a host path
  bool drive = false;
  std::vector<std::string> components;
};

std::optional<WindowsTreeFileSystem::Parsed> WindowsTreeFileSystem::parse(const std::string& path) const {
  Parsed p;
  std::string_view rest;
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    const auto it = drives_.find(letter);
    if (it == drives_.end()) return std::nullopt;
    // "C:x" (relative to the drive's current folder) has no meaning here.
    if (path.size() > 2 && !isSeparator(path[2])) return std::nullopt;
    p.root = it->second;
    p.keyPrefix = std::string(1, letter) + ":";
    p.drive = true;
    rest = std::string_view(path).substr(2);
  } else if (!path.empty() && path[0] == '/') {
    rest = path;
  } else {
    return std::nullopt;
  }
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && isSeparator(rest[i])) ++i;
    std::size_t j = i;
    while (j < rest.size() && !isSeparator(rest[j])) ++j;
    const std::string_view part = rest.substr(i, j - i);
    if (part == "..") {
      if (!p.components.empty()) p.components.pop_back();
    } else if (!part.empty() && part != ".") {
      p.components.emplace_back(part);
    }
    i = j;
  }
  return p;
}

std::optional<std::string> WindowsTreeFileSystem::matchInDir(const std::string& hostDir,
                                                            const std::string& name) const {
  const std::string dir = hostDir.empty() ? "/" : hostDir;
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  const std::string folded = FoldFileName(name);
  std::lock_guard lock(mutex_);
  DirCache& cache = dirCache_[dir];
  const long long mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  const bool fresh = cache.mtimeSec == st.st_mtim.tv_sec && cache.mtimeNsec == st.st_mtim.tv_nsec &&
                     cache.readAtNsec - mtime > kRacyNsec;
  if (!fresh) {
    cache.mtimeSec = st.st_mtim.tv_sec;
    cache.mtimeNsec = st.st_mtim.tv_nsec;
    cache.readAtNsec = nowNsec();
    cache.byFoldedName.clear();
    const DirListing listing = host_.listDir(dir);
    for (const auto& entry : listing.entries) cache.byFoldedName.emplace(FoldFileName(entry.name), entry.name);
  }
  const auto it = cache.byFoldedName.find(folded);
  if (it == cache.byFoldedName.end()) return std::nullopt;
  return it->second;
}

std::optional<WindowsTreeFileSystem::Resolved> WindowsTreeFileSystem::resolve(const std::string& path) const {
  const auto parsed = parse(path);
  if (!parsed) return std::nullopt;
  Resolved r;
  r.key = parsed->keyPrefix;
  for (const auto& c : parsed->components) r.key += "\\" + FoldFileName(c);
  r.isTableFile = parsed->drive && parsed->components.size() == 1 &&
                  parsed->components[0] == kAttributeTableName;

  // Most paths are spelled as on disk: one look settles them.
  std::string exact = parsed->root;
  for (const auto& c : parsed->components) exact += "/" + c;
  if (exact.empty()) exact = "/";
  struct stat st {};
  if (::stat(exact.c_str(), &st) == 0) {
    r.host = exact;
    r.exists = r.parentOk = true;
    return r;
  }

  std::string cur = parsed->root;
  const auto& comps = parsed->components;
  for (std::size_t i = 0; i < comps.size(); ++i) {
    std::string next = cur + "/" + comps[i];
    bool found = ::stat(next.c_str(), &st) == 0;
    if (!found) {
      if (const auto match = matchInDir(cur, comps[i])) {
        next = cur + "/" + *match;
        found = true;
      }
    }
    if (!found) {
      r.parentOk = i + 1 == comps.size();
      for (std::size_t k = i + 1; k < comps.size(); ++k) next += "/" + comps[k];
      r.host = next;
      return r;
    }
    cur = std::move(next);
  }
  r.host = cur.empty() ? "/" : cur;
  r.exists = r.parentOk = ::stat(r.host.c_str(), &st) == 0;
  return r;
}

FileAttributes WindowsTreeFileSystem::attributesOf(const std::string& key) const {
  std::lock_guard lock(mutex_);
  const auto it = attributes_.find(key);
  return it == attributes_.end() ? FileAttributes{} : it->second;
}

std::optional<std::string> WindowsTreeFileSystem::mapDrive(char letter, const std::string& hostFolder) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (letter < 'A' || letter > 'Z') return std::string("drive letter must be A to Z");
  std::string root = hostFolder;
  while (!root.empty() && root.back() == '/') root.pop_back();
  struct stat st {};
  if (::stat(root.empty() ? "/" : root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return "'" + hostFolder + "' is not a folder";
  }
  drives_[letter] = root;
  return loadAttributeTable(letter, root);
}

std::optional<std::string> WindowsTreeFileSystem::loadAttributeTable(char letter, const std::string& root) {
  const std::string file = root + "/" + std::string(kAttributeTableName);
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return std::nullopt;
  const auto text = host_.readFile(file);
  if (!text) return "cannot read " + file;
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  while (pos <= text->size()) {
    const auto end = std::min(text->find('\n', pos), text->size());
    const std::string line = trimBlanks(std::string_view(*text).substr(pos, end - pos));
    pos = end + 1;
    ++lineNo;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    const auto blank = line.find_first_of(" \t");
    const std::string where = file + " line " + std::to_string(lineNo) + ": ";
    if (blank == std::string::npos) return where + "flags and a path expected";
    FileAttributes attrs;
    for (char c : line.substr(0, blank)) {
      switch (std::toupper(static_cast<unsigned char>(c))) {
        case 'H': attrs.hidden = true; break;
        case 'S': attrs.system = true; break;
        case '-': break;
        default: return where + "unknown flag '" + std::string(1, c) + "' (H, S or -)";
      }
    }
    const std::string relative = trimBlanks(std::string_view(line).substr(blank));
    if (relative.empty()) return where + "path expected";
    setAttributes(std::string(1, letter) + ":\\" + relative, attrs);
  }
  return std::nullopt;
}

void WindowsTreeFileSystem::setAttributes(const std::string& path, FileAttributes attributes) {
  const auto parsed = parse(path);
  if (!parsed) return;
  std::string key = parsed->keyPrefix;
  for (const auto& c : parsed->components) key += "\\" + FoldFileName(c);
  std::lock_guard lock(mutex_);
  if (attributes == FileAttributes{}) {
    attributes_.erase(key);
  } else {
    attributes_[key] = attributes;
  }
}

std::optional<std::string> WindowsTreeFileSystem::hostPath(const std::string& path) const {
  const auto r = resolve(path);
  if (!r) return std::nullopt;
  return r->host;
}

bool WindowsTreeFileSystem::exists(const std::string& path, AttrMask mask) const {
  const auto r = resolve(path);
  if (!r || !r->exists || r->isTableFile) return false;
  struct stat st {};
  if (::stat(r->host.c_str(), &st) != 0) return false;
  const EntryKind kind = S_ISDIR(st.st_mode) ? EntryKind::Folder : EntryKind::File;
  if (kind == EntryKind::File && !S_ISREG(st.st_mode)) return false;
  const FileAttributes attrs = attributesOf(r->key);
  return AttrMaskAdmits(mask, kind, attrs.hidden, attrs.system);
}

std::optional<std::string> WindowsTreeFileSystem::readFile(const std::string& path) const {
  const auto r = resolve(path);
  if (!r || !r->exists || r->isTableFile) return std::nullopt;
  return host_.readFile(r->host);
}

DirListing WindowsTreeFileSystem::listDir(const std::string& path) const {
  const auto r = resolve(path);
  if (!r || !r->exists) return {FsResult::Failure(FsError::NotFound, ENOENT), {}};
  DirListing listing = host_.listDir(r->host);
  const bool driveRoot = r->key.size() == 2 && r->key[1] == ':';
  std::vector<std::pair<std::u16string, DirEntry>> sorted;
  sorted.reserve(listing.entries.size());
  for (auto& entry : listing.entries) {
    if (driveRoot && entry.name == kAttributeTableName) continue;
    const FileAttributes attrs = attributesOf(r->key + "\\" + FoldFileName(entry.name));
    entry.hidden = attrs.hidden;
    entry.system = attrs.system;
    sorted.emplace_back(foldUnits(entry.name), std::move(entry));
  }
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.name < b.second.name;
  });
  listing.entries.clear();
  for (auto& [folded, entry] : sorted) listing.entries.push_back(std::move(entry));
  return listing;
}

FsResult WindowsTreeFileSystem::createDir(const std::string& path) {
  const auto r = resolve(path);
  if (!r || !r->parentOk) return FsResult::Failure(FsError::NotFound, ENOENT);
  if (r->isTableFile) return FsResult::Failure(FsError::AccessDenied, EACCES);
  const bool existed = r->exists;
  FsResult result = host_.createDir(r->host);
  if (result && !existed) setAttributes(path, {});
  return result;
}

FsResult WindowsTreeFileSystem::copyFile(const std::string& from, const std::string& to) {
  const auto source = resolve(from);
  if (!source || !source->exists || source->isTableFile) return FsResult::Failure(FsError::NotFound, ENOENT);
  const auto target = resolve(to);
  if (!target || !target->parentOk) return FsResult::Failure(FsError::NotFound, ENOENT);
  if (target->isTableFile) return FsResult::Failure(FsError::AccessDenied, EACCES);
  FsResult result = host_.copyFile(source->host, target->host);
  if (result) setAttributes(to, attributesOf(source->key));
  return result;
}

FsResult WindowsTreeFileSystem::writeFile(const std::string& path, std::string_view bytes) {
  const auto r = resolve(path);
  if (!r || !r->parentOk) return FsResult::Failure(FsError::NotFound, ENOENT);
  if (r->isTableFile) return FsResult::Failure(FsError::AccessDenied, EACCES);
  FsResult result = host_.writeFile(r->host, bytes);
  if (result) setAttributes(path, {});
  return result;
}

FsResult WindowsTreeFileSystem::deleteTree(const std::string& path) {
  const auto r = resolve(path);
  if (!r || !r->exists) return FsResult::Failure(FsError::NotFound, ENOENT);
  if (r->key.empty() || (r->key.size() == 2 && r->key[1] == ':')) {
    return FsResult::Failure(FsError::AccessDenied, EACCES);  // never a whole drive
  }
  FsResult result = host_.deleteTree(r->host);
  if (result) {
    // What could not be deleted keeps its attributes.
    std::lock_guard lock(mutex_);
    const std::string below = r->key + "\\";
    std::erase_if(attributes_, [&](const auto& item) {
      return item.first == r->key || item.first.rfind(below, 0) == 0;
    });
  }
  return result;
}

}  // namespace qelvaro
