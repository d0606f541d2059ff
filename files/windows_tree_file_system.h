#pragma once
// The file-system port over a Windows tree kept in host folders: an offline image
// mounted somewhere, or the fake trees of the tests. "C:\Windows\inf\oem3.inf" maps
// onto the folder that plays drive C, and every path component is matched without
// regard to case, as Windows matches it (Unicode simple upper-casing of each UTF-16
// unit, the way NTFS compares names); a component spelled exactly as on disk wins.
// Paths that start with "/" are host paths, resolved the same way below "/"; that is
// how a backup target outside the image is named.
//
// Listings come in the order NTFS gives: names compared upper-cased, unit by unit,
// so that a search whose later finds replace earlier ones ends the same way as on
// Windows, whatever order the host file system keeps.
//
// Links: inside a drive a link is followed as Windows follows a junction, but only
// while its target stays inside the drive's folder; one leading out of it counts as
// missing, so an image can never bring a host file into a backup.
//
// Hidden and system attributes. Host files have none, so they come from a side
// table: `setAttributes`, or a text file named ".qelvaro-attributes" in the folder
// of a drive, read when the drive is mapped. Each line holds the flags, a blank and
// a path relative to the drive root:
//     HS Windows\System32\CatRoot\hidden-and-system.cat
//     S  Windows\System32\drivers\system.sys
// Empty lines and lines starting with ";" or "#" are ignored; "-" stands for no flag.
// The table file is not itself an entry of the tree. A copy takes the attributes of
// its source, as CopyFile does; a written or created entry starts with none.
//
// Listings of folders are cached and read again when a folder's time of last change
// moves (or may have moved within the clock's resolution); folders that this object
// made are kept current through its own changes. The first folders looked in are
// checked through a descriptor, so a folder renamed by someone else while a backup
// runs is still searched under its old name (a copy from it then fails as not found).

#include <sys/stat.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "file_name_fold.h"
#include "file_system.h"
#include "posix_file_system.h"

namespace qelvaro {

struct FileAttributes {
  bool hidden = false;
  bool system = false;
  bool operator==(const FileAttributes&) const = default;
};

class WindowsTreeFileSystem final : public FileSystem {
 public:
  // The name of the attribute table in a drive's folder.
  static constexpr std::string_view kAttributeTableName = ".qelvaro-attributes";

  // `letter` (A to Z) is the host folder `hostFolder`; reads its attribute table when
  // there is one. The error, naming the file and line, when the folder is missing or
  // the table cannot be read or has a bad line.
  std::optional<std::string> mapDrive(char letter, const std::string& hostFolder);

  // Sets the attributes of the entry `path` names (which need not exist yet).
  void setAttributes(const std::string& path, FileAttributes attributes);

  // The host path `path` stands for, with every existing component spelled as on disk
  // (a missing tail keeps the spelling given). None for a path on no mapped drive.
  std::optional<std::string> hostPath(const std::string& path) const;

  bool exists(const std::string& path, AttrMask mask) const override;
  std::optional<std::string> readFile(const std::string& path) const override;
  std::optional<std::string> readFileHead(const std::string& path, std::uint64_t limit,
                                          std::uint64_t& fileSize) const override;
  DirListing listDir(const std::string& path) const override;
  FsResult createDir(const std::string& path) override;
  FsResult copyFile(const std::string& from, const std::string& to) override;
  FsResult copyFileHashed(const std::string& from, const std::string& to, std::string& sha256) override;
  FsResult copyNewFileThrough(const std::string& from, const std::string& to, ByteSink& sink) override;
  FsResult hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const override;
  FsResult readThrough(const std::string& path, ByteSink& sink, std::uint64_t& size) const override;
  FsResult writeFile(const std::string& path, std::string_view bytes) override;
  FsResult deleteTree(const std::string& path) override;
  bool isLink(const std::string& path) const override;
  FsResult createNewDir(const std::string& path) override;

 private:
  // Inside a drive, a link is followed only while what it leads to stays inside the
  // drive's folder: an image's "Windows\INF\oem3.inf -> /etc/shadow" must not bring a
  // host file into a backup. Host paths ("/...") are the user's own and not checked.
  bool staysInside(const std::string& path, const std::string& host) const;
  // A plain copy, a hashed one (`sha256`), or one to a new name fed to `newThrough`.
  FsResult copy(const std::string& from, const std::string& to, std::string* sha256, ByteSink* newThrough = nullptr);
  struct Parsed;
  struct Resolved {
    std::string host;        // the host path
    std::string key;         // the attribute-table key: the path folded, drive upper-cased
    bool exists = false;     // the whole path exists
    bool parentOk = false;   // every component but the last exists as a folder
    bool isTableFile = false;
    EntryKind kind = EntryKind::File;  // when it exists
    bool regular = false;              // a regular file (not a device or pipe)
  };
  struct CachedEntry {
    std::string name;
    bool folder = false;
    bool regular = false;
  };
  enum class Match { Found, NotFound, NoFolder };
  // A path's attribute-table key, with where each component ends, so that the keys
  // of its folders are prefixes of it.
  struct FoldedKey {
    std::string text;
    std::vector<std::size_t> ends;  // ends[i]: the end of the key of the first i components
    std::string prefix(std::size_t count) const { return text.substr(0, ends[count]); }
    std::string_view component(std::size_t i) const {
      return std::string_view(text).substr(ends[i] + 1, ends[i + 1] - ends[i] - 1);
    }
  };
  // An O_PATH descriptor of a folder: checking a folder through it costs no path walk.
  class FolderHandle {
   public:
    FolderHandle() = default;
    explicit FolderHandle(int fd) : fd_(fd) {}
    FolderHandle(FolderHandle&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    FolderHandle& operator=(FolderHandle&& o) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    ~FolderHandle();
    int get() const { return fd_; }

   private:
    int fd_ = -1;
  };
  struct DirCache {
    long long mtimeSec = 0;
    long long mtimeNsec = 0;
    long long readAtNsec = 0;  // host clock when the listing was taken
    // The folder was made by us and every change since went through us, so the
    // listing is kept up to date without reading the folder again.
    bool ownedSinceCreation = false;
    // Usually one name per key; a host folder may hold names that differ only in case.
    std::unordered_map<std::string, std::vector<CachedEntry>> byFoldedName;
    FolderHandle handle;  // for the first folders looked in (the hot ones)
  };

  std::optional<Parsed> parse(const std::string& path) const;
  std::optional<Resolved> resolve(const std::string& path) const;
  // What is known of the folder a path names its last component in, by the path's text
  // up to its last separator: most lookups of a backup share a handful of folders.
  struct ParentMemo {
    bool complete = false;  // the folder exists and `host` is it
    std::string host;       // else the host path its missing tail would have
    std::string key;        // its attribute-table key
    bool driveRoot = false;
    std::string anchor;     // incomplete: the deepest folder that exists, and its state
    long long anchorSec = 0, anchorNsec = 0;
  };
  std::optional<Resolved> resolveOnce(const Parsed& parsed, bool& staleFolders, ParentMemo* memo) const;
  std::optional<Resolved> resolveFromMemo(const ParentMemo& memo, std::string_view leaf) const;
  std::pair<std::string, std::size_t> hostFolder(const Parsed& p, std::size_t count, const FoldedKey& key,
                                                 bool& stale) const;
  // Keeps the listings of folders we made current after our own change to `hostPath`.
  void noteCreated(const std::string& hostPath, bool isFolder);
  void noteDeleted(const std::string& hostPath, bool gone);
  // Looks `name` up in the listing of `hostDir` (read again only when it may have changed).
  Match matchInDir(const std::string& hostDir, const std::string& name, std::string_view foldedName,
                   CachedEntry& found) const;
  // The state of a folder, through its handle when it has one; false when it is gone.
  // Called with the mutex held.
  bool folderState(const std::string& dir, const DirCache* cache, struct stat& st) const;
  FileAttributes attributesOf(const std::string& key) const;
  std::optional<std::string> loadAttributeTable(char letter, const std::string& hostFolder);

  std::map<char, std::string> drives_;
  std::map<char, std::string> realDrives_;  // each drive's folder with its links resolved
  PosixFileSystem host_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, FileAttributes> attributes_;
  mutable std::unordered_map<std::string, DirCache> dirCache_;
  // Host folders found before, by attribute-table key. Trusted until a lookup in one
  // finds it gone; then all are forgotten and the path is resolved afresh.
  mutable std::unordered_map<std::string, std::string> folders_;
  mutable std::unordered_map<std::string, std::shared_ptr<const ParentMemo>> parents_;
};

}  // namespace qelvaro
