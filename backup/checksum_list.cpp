#include "checksum_list.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "backup_report.h"
#include "file_name_fold.h"
#include "base/digest.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

bool isSum(std::string_view hex) {
  return hex.size() == 64 &&
         std::all_of(hex.begin(), hex.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A relative path that stays below the root: no empty, "." or ".." part, no drive,
// no backslash (sha256sum would read it as an escape).
bool isInsidePath(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.find('\\') != std::string_view::npos ||
      path.find(':') != std::string_view::npos) {
    return false;
  }
  for (std::size_t start = 0;;) {
    const auto sep = path.find('/', start);
    const std::string_view part = path.substr(start, sep == std::string_view::npos ? sep : sep - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (sep == std::string_view::npos) return true;
    start = sep + 1;
  }
}

std::string slashed(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool isBelow(const std::string& path, const std::string& prefix) {
  return prefix.empty() || (path.size() > prefix.size() && iequalsAscii(path.substr(0, prefix.size()), prefix));
}

}  // namespace

void SortIssuesByPath(std::vector<VerifyIssue>& issues) {
  std::stable_sort(issues.begin(), issues.end(),
                   [](const VerifyIssue& a, const VerifyIssue& b) { return a.path < b.path; });
}

std::string ChecksumListText(std::vector<ChecksumEntry> entries) {
  std::sort(entries.begin(), entries.end(),
            [](const ChecksumEntry& a, const ChecksumEntry& b) { return a.path < b.path; });
  std::string text;
  for (const ChecksumEntry& e : entries) text += e.sha256 + "  " + e.path + "\n";
  return text;
}

std::optional<std::vector<ChecksumEntry>> ParseChecksumList(std::string_view text, std::string& error) {
  std::vector<ChecksumEntry> entries;
  std::unordered_set<std::string> seen;
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (line.size() > kMaxChecksumLineBytes) {
      error = "line " + std::to_string(number) + " of " + kChecksumListName + " is longer than any checksum line (" +
              std::to_string(line.size()) + " bytes)";
      return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const bool shaped = line.size() > 66 && isSum(line.substr(0, 64)) && line[64] == ' ' &&
                        (line[65] == ' ' || line[65] == '*');
    const std::string_view path = shaped ? line.substr(66) : std::string_view();
    if (!shaped || !isInsidePath(path) || !seen.insert(asciiLowerCopy(std::string(path))).second) {
      error = "line " + std::to_string(number) + " of " + kChecksumListName + " is not a checksum of a file below the backup";
      return std::nullopt;
    }
    entries.push_back({std::string(path), std::string(line.substr(0, 64))});
  }
  return entries;
}

ChecksumListFile ReadChecksumListFile(const FileSystem& fs, const std::string& root, const DirListing& top) {
  ChecksumListFile list;
  const std::string path = root + "\\" + kChecksumListName;
  if (auto text = fs.readFileHead(path, kMaxChecksumListBytes + 1, list.size)) {
    if (list.size > kMaxChecksumListBytes) {
      list.state = ChecksumListFile::State::TooLarge;
    } else {
      list.state = ChecksumListFile::State::Read;
      list.text = std::move(*text);
    }
    return list;
  }
  const bool there = std::any_of(top.entries.begin(), top.entries.end(),
                                 [](const DirEntry& e) { return iequalsAscii(e.name, kChecksumListName); });
  if (!there) return list;
  list.state = ChecksumListFile::State::Unreadable;
  // The head read gives no reason; a read of the whole file names it (a folder, access
  // denied). One that reads a moment later has still not been read.
  std::string sum;
  std::uint64_t size = 0;
  list.why = fs.hashFile(path, sum, size);
  if (list.why) list.why = FsResult::Failure(FsError::Other);
  return list;
}

FsResult WriteBackupChecksums(FileSystem& fs, const std::string& root, const BackupResult& result,
                              std::string& failedPath) {
  std::unordered_map<std::string, std::string> taken;  // lower-cased relative path -> sum
  for (const DriverReport& d : result.drivers) {
    if (d.skipped() || d.folder.size() <= root.size()) continue;
    const std::string folder = d.folder.substr(root.size() + 1);
    for (const CollectedFile& f : d.copied) {
      if (!f.sha256.empty()) taken[asciiLowerCopy(folder + "\\" + f.name)] = f.sha256;
    }
  }
  const FolderContents below = FilesBelow(root, fs);
  if (!below.unlisted.empty()) {
    failedPath = below.unlisted.front().first;
    return below.unlisted.front().second;
  }
  // Nothing is hashed through a link, and two names that are one file on Windows
  // would make a list that no check accepts.
  if (!below.links.empty()) {
    failedPath = below.links.front();
    return FsResult::Failure(FsError::Link);
  }
  if (!below.twins.empty()) {
    failedPath = below.twins.front().first;
    return FsResult::Failure(FsError::AlreadyExists);
  }
  std::vector<ChecksumEntry> entries;
  for (const std::string& path : below.files) {
    std::string relative = path.substr(root.size() + 1);
    if (iequalsAscii(relative, kChecksumListName)) continue;
    // A line break in a name would split its line (a host file system allows one).
    if (relative.find_first_of("\r\n") != std::string::npos) {
      failedPath = path;
      return FsResult::Failure(FsError::BadName);
    }
    std::string sum;
    if (const auto it = taken.find(asciiLowerCopy(relative)); it != taken.end()) {
      sum = it->second;
    } else {
      std::uint64_t size = 0;
      if (FsResult r = fs.hashFile(path, sum, size); !r) {
        failedPath = path;
        return r;
      }
    }
    std::replace(relative.begin(), relative.end(), '\\', '/');
    entries.push_back({std::move(relative), std::move(sum)});
  }
  failedPath = root + "\\" + kChecksumListName;
  return fs.writeFile(failedPath, ChecksumListText(std::move(entries)));
}

std::string DriverOfPath(const std::string& path) {
  const auto first = path.find('/');
  if (first == std::string::npos) return path;
  const auto second = path.find('/', first + 1);
  return second == std::string::npos ? path.substr(0, first) : path.substr(0, second);
}

std::vector<VerifyIssue> CompareFolderWithList(const FileSystem& fs, const std::string& root,
                                               const std::vector<ChecksumEntry>& list, const std::string& prefix,
                                               std::size_t& checked, VerifyProgress progress, void* context,
                                               FolderReadBack* readBack) {
  std::vector<VerifyIssue> issues;
  const std::string start = prefix.empty() ? root : root + "\\" + prefix.substr(0, prefix.size() - 1);
  const FolderContents below = FilesBelow(start, fs);
  const auto relativeOf = [&](const std::string& path) {
    return path.size() > root.size() ? slashed(path.substr(root.size() + 1)) : std::string(".");
  };
  // Entries named already for what they are: the list's entries below them are not
  // also called missing.
  std::unordered_set<std::string> named;
  for (const auto& [folder, why] : below.unlisted) {
    issues.push_back({VerifyIssueKind::Unreadable, relativeOf(folder), "cannot list it: " + why.describe()});
    named.insert(FoldFileName(issues.back().path));
  }
  for (const std::string& link : below.links) {
    issues.push_back({VerifyIssueKind::Link, relativeOf(link), ""});
    named.insert(FoldFileName(issues.back().path));
  }
  for (const auto& [path, other] : below.twins) {
    issues.push_back({VerifyIssueKind::Duplicate, relativeOf(path), other});
    named.insert(FoldFileName(issues.back().path));
  }
  const auto namedAlready = [&](const std::string& folded) {
    for (std::size_t sep = folded.find('/'); sep != std::string::npos; sep = folded.find('/', sep + 1)) {
      if (named.count(folded.substr(0, sep))) return true;
    }
    return named.count(folded) > 0;
  };
  // The files there are, found without regard to case, as Windows finds them.
  std::unordered_map<std::string, std::string> present;  // folded relative path -> as listed
  for (const std::string& file : below.files) {
    std::string relative = relativeOf(file);
    if (iequalsAscii(relative, kChecksumListName)) continue;
    present.emplace(FoldFileName(relative), std::move(relative));
  }
  for (const ChecksumEntry& entry : list) {
    if (!isBelow(entry.path, prefix)) continue;
    const std::string folded = FoldFileName(entry.path);
    const auto found = present.find(folded);
    if (found == present.end()) {
      if (namedAlready(folded)) continue;
      issues.push_back({VerifyIssueKind::Missing, entry.path, ""});
      continue;
    }
    std::string relative = root + "\\" + found->second;
    std::replace(relative.begin() + static_cast<std::ptrdiff_t>(root.size()), relative.end(), '/', '\\');
    present.erase(found);
    std::string sum;
    std::uint64_t size = 0;
    FsResult r;
    if (readBack) {
      // The hashes, and the bytes of a file kept, from the one read.
      const bool keep = readBack->keep && readBack->keep(entry.path);
      KeepingFileHasher tee(keep ? &readBack->kept[entry.path] : nullptr, readBack->keepLimit);
      r = fs.readThrough(relative, tee, size);
      if (r) {
        FileHashes& got = readBack->hashes[entry.path] = tee.hasher.finish();
        sum = HexOf(reinterpret_cast<const unsigned char*>(got.flatSha256.data()), got.flatSha256.size());
        if (sum.empty()) r = FsResult::Failure(FsError::NotSupported);
      } else if (keep) {
        readBack->kept.erase(entry.path);
      }
    } else {
      r = fs.hashFile(relative, sum, size);
    }
    ++checked;
    if (progress) progress(context);
    if (!r) issues.push_back({VerifyIssueKind::Unreadable, entry.path, r.describe()});
    else if (sum != entry.sha256) issues.push_back({VerifyIssueKind::Changed, entry.path, ""});
  }
  for (const auto& [key, name] : present) issues.push_back({VerifyIssueKind::Unexpected, name, ""});
  SortIssuesByPath(issues);
  return issues;
}

}  // namespace qelvaro
