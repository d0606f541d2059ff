#include "windows_tree_file_system.h"

#include <climits>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <locale.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cwctype>
#include <vector>

#include "base/text_encoding.h"

namespace qelvaro {
namespace {

// Appends "sep" and "part". (Written out: GCC 12 warns falsely about `a += "x" + b`.)
void appendPart(std::string& path, char sep, std::string_view part) {
  path += sep;
  path += part;
}

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

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
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

// Folders checked through a descriptor; the rest by path. The first ones looked in are
// the system folders every driver is searched in.
constexpr std::size_t kMaxFolderHandles = 128;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string trimBlanks(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

}  // namespace

std::string FoldFileName(std::string_view name) {
  if (isAscii(name)) {
    std::string out(name);
    for (char& c : out) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return out;
  }
  return utf16ToUtf8(foldUnits(name));
}

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

namespace {

// Kind of the entry `name` of the open folder `dirFd`, following links as Windows
// follows junctions.
bool entryKind(int dirFd, const char* name, unsigned char type, bool& folder, bool& regular) {
  if (type == DT_DIR || type == DT_REG) {
    folder = type == DT_DIR;
    regular = type == DT_REG;
    return true;
  }
  struct stat st {};
  if (::fstatat(dirFd, name, &st, 0) != 0) return false;
  folder = S_ISDIR(st.st_mode);
  regular = S_ISREG(st.st_mode);
  return true;
}

}  // namespace

WindowsTreeFileSystem::FolderHandle& WindowsTreeFileSystem::FolderHandle::operator=(FolderHandle&& o) noexcept {
  if (this != &o) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = o.fd_;
    o.fd_ = -1;
  }
  return *this;
}

WindowsTreeFileSystem::FolderHandle::~FolderHandle() {
  if (fd_ >= 0) ::close(fd_);
}

bool WindowsTreeFileSystem::folderState(const std::string& dir, const DirCache* cache, struct stat& st) const {
  if (cache && cache->handle.get() >= 0) {
    // A folder deleted since keeps its descriptor but has no links left.
    return ::fstat(cache->handle.get(), &st) == 0 && st.st_nlink > 0 && S_ISDIR(st.st_mode);
  }
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

WindowsTreeFileSystem::Match WindowsTreeFileSystem::matchInDir(const std::string& hostDir, const std::string& name,
                                                               std::string_view foldedName, CachedEntry& found) const {
  const std::string dir = hostDir.empty() ? "/" : hostDir;
  const std::string folded(foldedName);
  auto pick = [&](const std::vector<CachedEntry>& entries) {
    found = entries.front();
    for (const auto& e : entries) {
      if (e.name == name) found = e;  // of names that differ only in case, the one asked for
    }
    return Match::Found;
  };
  std::lock_guard lock(mutex_);
  auto at = dirCache_.find(dir);
  struct stat st {};
  if (!folderState(dir, at == dirCache_.end() ? nullptr : &at->second, st)) {
    if (at != dirCache_.end()) dirCache_.erase(at);
    return Match::NoFolder;
  }
  if (at == dirCache_.end()) {
    at = dirCache_.try_emplace(dir).first;
    if (dirCache_.size() <= kMaxFolderHandles) {
      at->second.handle = FolderHandle(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
  }
  DirCache& cache = at->second;
  const long long mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  const bool unchanged = cache.mtimeSec == st.st_mtim.tv_sec && cache.mtimeNsec == st.st_mtim.tv_nsec;
  if (unchanged && (cache.ownedSinceCreation || cache.readAtNsec - mtime > kRacyNsec)) {
    const auto it = cache.byFoldedName.find(folded);
    return it == cache.byFoldedName.end() ? Match::NotFound : pick(it->second);
  }
  // A folder that changes while we work (a backup target) would be read again for
  // every look; a name spelled as on disk does not need the listing.
  {
    const std::string exact = dir + (dir.back() == '/' ? "" : "/") + name;
    struct stat est {};
    if (::stat(exact.c_str(), &est) == 0) {
      found = CachedEntry{name, S_ISDIR(est.st_mode), S_ISREG(est.st_mode)};
      return Match::Found;
    }
  }
  cache.ownedSinceCreation = false;
  cache.byFoldedName.clear();
  cache.mtimeSec = st.st_mtim.tv_sec;
  cache.mtimeNsec = st.st_mtim.tv_nsec;
  cache.readAtNsec = nowNsec();
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Match::NotFound;
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return Match::NotFound;
  }
  while (const dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    CachedEntry entry{n, false, false};
    if (!entryKind(fd, n, e->d_type, entry.folder, entry.regular)) continue;
    cache.byFoldedName[FoldFileName(entry.name)].push_back(std::move(entry));
  }
  ::closedir(d);
  const auto it = cache.byFoldedName.find(folded);
  return it == cache.byFoldedName.end() ? Match::NotFound : pick(it->second);
}

std::pair<std::string, std::size_t> WindowsTreeFileSystem::hostFolder(const Parsed& p, std::size_t count,
                                                                     const FoldedKey& key,
                                                                     bool& stale) const {
  if (count == 0) return {p.root, 0};
  {
    std::lock_guard lock(mutex_);
    const auto it = folders_.find(key.prefix(count));
    if (it != folders_.end()) return {it->second, count};
  }
  auto [parent, found] = hostFolder(p, count - 1, key, stale);
  if (found < count - 1) return {parent, found};
  CachedEntry entry;
  const Match match = matchInDir(parent, p.components[count - 1], key.component(count - 1), entry);
  if (match == Match::NoFolder) stale = true;
  if (match != Match::Found || !entry.folder) return {parent, count - 1};
  std::string next = parent;
  appendPart(next, '/', entry.name);
  std::lock_guard lock(mutex_);
  folders_[key.prefix(count)] = next;
  return {next, count};
}

std::optional<WindowsTreeFileSystem::Resolved> WindowsTreeFileSystem::resolve(const std::string& path) const {
  const auto sep = path.find_last_of("\\/");
  const bool hasLeaf = sep != std::string::npos && sep + 1 < path.size();
  const std::string_view leaf = hasLeaf ? std::string_view(path).substr(sep + 1) : std::string_view();
  const bool memoable = hasLeaf && leaf != "." && leaf != "..";
  std::string parentText;
  if (memoable) {
    parentText = path.substr(0, sep);
    std::shared_ptr<const ParentMemo> memo;
    {
      std::lock_guard lock(mutex_);
      const auto it = parents_.find(parentText);
      if (it != parents_.end()) memo = it->second;
    }
    if (memo) {
      if (auto r = resolveFromMemo(*memo, leaf)) return r;
    }
  }

  const auto parsed = parse(path);
  if (!parsed) return std::nullopt;
  bool stale = false;
  ParentMemo memo;
  auto r = resolveOnce(*parsed, stale, memoable ? &memo : nullptr);
  if (stale) {
    {
      std::lock_guard lock(mutex_);
      folders_.clear();
      parents_.clear();
    }
    bool again = false;
    r = resolveOnce(*parsed, again, nullptr);
  } else if (memoable && !memo.host.empty()) {
    std::lock_guard lock(mutex_);
    parents_[parentText] = std::make_shared<const ParentMemo>(std::move(memo));
  }
  return r;
}

std::optional<WindowsTreeFileSystem::Resolved> WindowsTreeFileSystem::resolveFromMemo(const ParentMemo& memo,
                                                                                      std::string_view leaf) const {
  Resolved r;
  r.host = memo.host;
  if (!memo.complete) {
    // Still missing while the folder above it has not changed. (Nothing asks for the
    // key of a path whose folder is missing, so it is left empty.)
    struct stat st {};
    {
      std::lock_guard lock(mutex_);
      const auto at = dirCache_.find(memo.anchor);
      if (!folderState(memo.anchor, at == dirCache_.end() ? nullptr : &at->second, st)) return std::nullopt;
    }
    if (st.st_mtim.tv_sec != memo.anchorSec || st.st_mtim.tv_nsec != memo.anchorNsec) return std::nullopt;
    appendPart(r.host, '/', leaf);
    return r;
  }
  const std::string folded = FoldFileName(leaf);
  r.key = memo.key;
  appendPart(r.key, '\\', folded);
  const std::string name(leaf);
  CachedEntry entry;
  const Match match = matchInDir(memo.host, name, folded, entry);
  if (match == Match::NoFolder) return std::nullopt;  // gone: resolved afresh
  r.isTableFile = memo.driveRoot && leaf == kAttributeTableName;
  r.parentOk = true;
  if (r.host == "/") r.host.clear();
  appendPart(r.host, '/', match == Match::Found ? entry.name : name);
  if (match == Match::Found) {
    r.exists = true;
    r.kind = entry.folder ? EntryKind::Folder : EntryKind::File;
    r.regular = entry.regular;
  }
  return r;
}

std::optional<WindowsTreeFileSystem::Resolved> WindowsTreeFileSystem::resolveOnce(const Parsed& parsed,
                                                                                  bool& stale,
                                                                                  ParentMemo* memo) const {
  const auto& comps = parsed.components;
  FoldedKey key;
  key.text = parsed.keyPrefix;
  key.ends.push_back(key.text.size());
  for (const auto& c : comps) {
    appendPart(key.text, '\\', FoldFileName(c));
    key.ends.push_back(key.text.size());
  }
  Resolved r;
  r.key = key.text;
  r.isTableFile = parsed.drive && comps.size() == 1 && comps[0] == kAttributeTableName;
  if (comps.empty()) {
    r.host = parsed.root.empty() ? "/" : parsed.root;
    struct stat st {};
    if (::stat(r.host.c_str(), &st) == 0) {
      r.exists = r.parentOk = true;
      r.kind = EntryKind::Folder;
    }
    return r;
  }

  // The folder is found (and remembered) component by component; the last name is
  // matched in its listing, which is read again only when the folder has changed.
  auto [parent, found] = hostFolder(parsed, comps.size() - 1, key, stale);
  r.host = parent;
  if (memo) {
    memo->key = key.prefix(comps.size() - 1);
    memo->driveRoot = parsed.drive && comps.size() == 1;
    memo->complete = found == comps.size() - 1;
    memo->host = parent;
    if (!memo->complete) {
      for (std::size_t k = found; k + 1 < comps.size(); ++k) appendPart(memo->host, '/', comps[k]);
      // Only a quiet folder vouches for what is missing below it.
      memo->anchor = parent.empty() ? "/" : parent;
      struct stat st {};
      const long long now = nowNsec();
      if (::stat(memo->anchor.c_str(), &st) != 0 ||
          now - (static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec) <= kRacyNsec) {
        memo->host.clear();  // not remembered
      } else {
        memo->anchorSec = st.st_mtim.tv_sec;
        memo->anchorNsec = st.st_mtim.tv_nsec;
      }
    } else if (memo->host.empty()) {
      memo->host = "/";
    }
  }
  if (found < comps.size() - 1) {
    for (std::size_t k = found; k < comps.size(); ++k) appendPart(r.host, '/', comps[k]);
    return r;
  }
  CachedEntry entry;
  const Match match = matchInDir(parent, comps.back(), key.component(comps.size() - 1), entry);
  if (match == Match::NoFolder) {
    stale = true;
    appendPart(r.host, '/', comps.back());
    return r;
  }
  r.parentOk = true;
  appendPart(r.host, '/', match == Match::Found ? entry.name : comps.back());
  if (match == Match::Found) {
    r.exists = true;
    r.kind = entry.folder ? EntryKind::Folder : EntryKind::File;
    r.regular = entry.regular;
  }
  return r;
}

FileAttributes WindowsTreeFileSystem::attributesOf(const std::string& key) const {
  std::lock_guard lock(mutex_);
  if (attributes_.empty()) return {};
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
  char real[PATH_MAX];
  realDrives_[letter] = ::realpath(root.empty() ? "/" : root.c_str(), real) ? std::string(real) : root;
  {
    std::lock_guard lock(mutex_);
    folders_.clear();
    parents_.clear();
  }
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
  for (const auto& c : parsed->components) appendPart(key, '\\', FoldFileName(c));
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

bool WindowsTreeFileSystem::staysInside(const std::string& path, const std::string& host) const {
  if (path.size() < 2 || path[1] != ':') return true;
  const auto drive = realDrives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
  if (drive == realDrives_.end()) return true;
  // A missing tail is judged by the nearest folder above it that exists.
  std::string probe = host;
  char real[PATH_MAX];
  while (!::realpath(probe.c_str(), real)) {
    const auto slash = probe.find_last_of('/');
    if (errno != ENOENT || slash == std::string::npos || slash == 0) return false;
    probe.resize(slash);
  }
  const std::string_view resolved(real), root(drive->second);
  return resolved == root || root == "/" ||
         (resolved.size() > root.size() && resolved.substr(0, root.size()) == root && resolved[root.size()] == '/');
}

FsResult WindowsTreeFileSystem::createNewDir(const std::string& path) {
  const auto r = resolve(path);
  if (!r || !r->parentOk || !staysInside(path, r->host)) return FsResult::Failure(FsError::NotFound, ENOENT);
  if (r->exists || r->isTableFile || host_.isLink(r->host)) return FsResult::Failure(FsError::AlreadyExists, EEXIST);
  FsResult result = host_.createNewDir(r->host);
  if (result) {
    setAttributes(path, {});
    noteCreated(r->host, true);
  }
  return result;
}

bool WindowsTreeFileSystem::isLink(const std::string& path) const {
  const auto r = resolve(path);
  return r && host_.isLink(r->host);
}

bool WindowsTreeFileSystem::exists(const std::string& path, AttrMask mask) const {
  const auto r = resolve(path);
  if (!r || !r->exists || r->isTableFile || !staysInside(path, r->host)) return false;
  if (r->kind == EntryKind::File && !r->regular) return false;
  const FileAttributes attrs = attributesOf(r->key);
  return AttrMaskAdmits(mask, r->kind, attrs.hidden, attrs.system);
}

std::optional<std::string> WindowsTreeFileSystem::readFile(const std::string& path) const {
  const auto r = resolve(path);
  if (!r || !r->exists || r->isTableFile || !staysInside(path, r->host)) return std::nullopt;
  return host_.readFile(r->host);
}

std::optional<std::string> WindowsTreeFileSystem::readFileHead(const std::string& path, std::uint64_t limit,
                                                               std::uint64_t& fileSize) const {
  const auto r = resolve(path);
  if (!r || !r->exists || r->isTableFile || !staysInside(path, r->host)) return std::nullopt;
  return host_.readFileHead(r->host, limit, fileSize);
}

DirListing WindowsTreeFileSystem::listDir(const std::string& path) const {
  const auto r = resolve(path);
  if (!r || !r->exists || !staysInside(path, r->host)) return {FsResult::Failure(FsError::NotFound, ENOENT), {}};
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

namespace {

std::pair<std::string, std::string> splitHostPath(const std::string& hostPath) {
  const auto slash = hostPath.rfind('/');
  if (slash == std::string::npos) return {".", hostPath};
  return {slash == 0 ? "/" : hostPath.substr(0, slash), hostPath.substr(slash + 1)};
}

}  // namespace

void WindowsTreeFileSystem::noteCreated(const std::string& hostPath, bool isFolder) {
  const auto [parent, name] = splitHostPath(hostPath);
  std::lock_guard lock(mutex_);
  const auto it = dirCache_.find(parent);
  struct stat st {};
  if (it != dirCache_.end() && it->second.ownedSinceCreation && ::stat(parent.c_str(), &st) == 0) {
    auto& names = it->second.byFoldedName[FoldFileName(name)];
    if (std::none_of(names.begin(), names.end(), [&wanted = name](const CachedEntry& e) { return e.name == wanted; })) {
      names.push_back(CachedEntry{name, isFolder, !isFolder});
    }
    it->second.mtimeSec = st.st_mtim.tv_sec;
    it->second.mtimeNsec = st.st_mtim.tv_nsec;
  }
  if (isFolder && ::stat(hostPath.c_str(), &st) == 0) {
    DirCache& cache = dirCache_[hostPath];
    cache.byFoldedName.clear();
    // A folder of that path deleted before is not this one.
    cache.handle = FolderHandle(dirCache_.size() <= kMaxFolderHandles
                                    ? ::open(hostPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)
                                    : -1);
    cache.mtimeSec = st.st_mtim.tv_sec;
    cache.mtimeNsec = st.st_mtim.tv_nsec;
    cache.readAtNsec = nowNsec();
    cache.ownedSinceCreation = true;
  }
}

void WindowsTreeFileSystem::noteDeleted(const std::string& hostPath, bool gone) {
  const auto [parent, name] = splitHostPath(hostPath);
  const std::string below = hostPath + "/";
  std::lock_guard lock(mutex_);
  // Our own change makes no listing of the parent stale, but what was below is gone.
  const auto it = dirCache_.find(parent);
  struct stat st {};
  if (gone && it != dirCache_.end() && it->second.ownedSinceCreation && ::stat(parent.c_str(), &st) == 0) {
    const auto names = it->second.byFoldedName.find(FoldFileName(name));
    if (names != it->second.byFoldedName.end()) {
      std::erase_if(names->second, [&wanted = name](const CachedEntry& e) { return e.name == wanted; });
      if (names->second.empty()) it->second.byFoldedName.erase(names);
    }
    it->second.mtimeSec = st.st_mtim.tv_sec;
    it->second.mtimeNsec = st.st_mtim.tv_nsec;
  }
  std::erase_if(dirCache_, [&](const auto& item) { return item.first == hostPath || item.first.rfind(below, 0) == 0; });
  std::erase_if(folders_, [&](const auto& item) { return item.second == hostPath || item.second.rfind(below, 0) == 0; });
}

FsResult WindowsTreeFileSystem::createDir(const std::string& path) {
  const auto r = resolve(path);
  if (!r || !r->parentOk || !staysInside(path, r->host)) return FsResult::Failure(FsError::NotFound, ENOENT);
  if (r->isTableFile) return FsResult::Failure(FsError::AccessDenied, EACCES);
  const bool existed = r->exists;
  FsResult result = host_.createDir(r->host);
  if (result && !existed) {
    setAttributes(path, {});
    noteCreated(r->host, true);
  }
  return result;
}

FsResult WindowsTreeFileSystem::copyFile(const std::string& from, const std::string& to) {
  return copy(from, to, nullptr);
}

FsResult WindowsTreeFileSystem::copyFileHashed(const std::string& from, const std::string& to, std::string& sha256) {
  return copy(from, to, &sha256);
}

FsResult WindowsTreeFileSystem::hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const {
  const auto r = resolve(path);
  if (!r || !r->exists || r->isTableFile || !staysInside(path, r->host)) {
    return FsResult::Failure(FsError::NotFound, ENOENT);
  }
  return host_.hashFile(r->host, sha256, size);
}

FsResult WindowsTreeFileSystem::readThrough(const std::string& path, ByteSink& sink, std::uint64_t& size) const {
  const auto r = resolve(path);
  if (!r || !r->exists || r->isTableFile || !staysInside(path, r->host)) {
    return FsResult::Failure(FsError::NotFound, ENOENT);
  }
  return host_.readThrough(r->host, sink, size);
}

FsResult WindowsTreeFileSystem::copyNewFileThrough(const std::string& from, const std::string& to, ByteSink& sink) {
  return copy(from, to, nullptr, &sink);
}

FsResult WindowsTreeFileSystem::copy(const std::string& from, const std::string& to, std::string* sha256,
                                     ByteSink* newThrough) {
  const auto source = resolve(from);
  if (!source || !source->exists || source->isTableFile || !staysInside(from, source->host)) {
    return FsResult::Failure(FsError::NotFound, ENOENT);
  }
  const auto target = resolve(to);
  if (!target || !target->parentOk || !staysInside(to, target->host)) return FsResult::Failure(FsError::NotFound, ENOENT);
  if (target->isTableFile) return FsResult::Failure(FsError::AccessDenied, EACCES);
  if (newThrough && (target->exists || host_.isLink(target->host))) {
    return FsResult::Failure(FsError::AlreadyExists, EEXIST);
  }
  FsResult result = newThrough ? host_.copyNewFileThrough(source->host, target->host, *newThrough)
                    : sha256   ? host_.copyFileHashed(source->host, target->host, *sha256)
                               : host_.copyFile(source->host, target->host);
  if (result) {
    setAttributes(to, attributesOf(source->key));
    noteCreated(target->host, false);
  }
  return result;
}

FsResult WindowsTreeFileSystem::writeFile(const std::string& path, std::string_view bytes) {
  const auto r = resolve(path);
  if (!r || !r->parentOk || !staysInside(path, r->host)) return FsResult::Failure(FsError::NotFound, ENOENT);
  if (r->isTableFile) return FsResult::Failure(FsError::AccessDenied, EACCES);
  FsResult result = host_.writeFile(r->host, bytes);
  if (result) {
    setAttributes(path, {});
    noteCreated(r->host, false);
  }
  return result;
}

FsResult WindowsTreeFileSystem::deleteTree(const std::string& path) {
  const auto r = resolve(path);
  if (!r || !r->exists) return FsResult::Failure(FsError::NotFound, ENOENT);
  if (r->key.empty() || (r->key.size() == 2 && r->key[1] == ':')) {
    return FsResult::Failure(FsError::AccessDenied, EACCES);  // never a whole drive
  }
  FsResult result = host_.deleteTree(r->host);
  noteDeleted(r->host, result.ok());
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
