#pragma once
// The file-system port: what the backup needs of the machine's files. Paths are
// Windows paths in UTF-8 ("C:\Windows\inf\oem3.inf"); each implementation maps
// them onto its platform.
//
// Expected failures (a file missing, access denied, a full disk, a locked file) come
// back as values carrying the reason; nothing here throws for them. The results are
// [[nodiscard]] so that no caller can report a failed copy as a success by accident.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_sink.h"

namespace qelvaro {

// Which entries an existence test admits.
enum class AttrMask {
  Plain,   // files that are neither hidden nor system (read-only and archive count)
  System,  // plain files and system files
  Folder,  // plain files and folders
};

enum class EntryKind { File, Folder };

// True when an entry of this kind and these attributes passes a test with `mask`.
// Hidden entries never do; system entries only pass the system mask, and only when
// they are files; folders only pass the folder mask.
bool AttrMaskAdmits(AttrMask mask, EntryKind kind, bool hidden, bool system);

enum class FsError {
  None,
  NotFound,       // the file or a folder on its path does not exist
  AccessDenied,   // refused by permissions, a read-only medium or the attributes
  DiskFull,       // no space left (or quota exceeded) on the target
  InUse,          // locked or opened without sharing by another program
  AlreadyExists,  // a file stands where a folder should be created
  NotAFolder,     // a folder operation named a file
  NotAFile,       // a file operation named a folder
  BadName,        // the platform refuses the name (too long, forbidden characters)
  NotSupported,   // this file system does not offer the operation (a read-only one)
  Link,           // a symbolic link or junction where a file or folder of the backup belongs
  Other,          // anything else; the system code says more
};

// A short English description ("access denied"), for logs and the command line.
std::string_view DescribeFsError(FsError error);

class [[nodiscard]] FsResult {
 public:
  FsResult() = default;
  // `systemCode` is the platform's own number (errno, or the Win32 error code).
  static FsResult Failure(FsError error, long systemCode = 0) { return FsResult(error, systemCode); }

  bool ok() const { return error_ == FsError::None; }
  explicit operator bool() const { return ok(); }
  FsError error() const { return error_; }
  long systemCode() const { return systemCode_; }
  // "access denied (error 5)", or "ok".
  std::string describe() const;

 private:
  FsResult(FsError error, long systemCode) : error_(error), systemCode_(systemCode) {}
  FsError error_ = FsError::None;
  long systemCode_ = 0;
};

struct DirEntry {
  std::string name;  // the name only, as the file system spells it
  EntryKind kind = EntryKind::File;
  bool hidden = false;
  bool system = false;
  // A symbolic link or a junction (`kind` is what it leads to). A walk over a backup
  // never goes through one: it may lead back up (a loop) or out of the backup.
  bool link = false;
};

// The entries of one folder, "." and ".." left out, in the order the file system
// gives them. Empty with a failure when the folder cannot be listed.
struct [[nodiscard]] DirListing {
  FsResult result;
  std::vector<DirEntry> entries;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when `path` names an existing entry of a kind that `mask` admits.
  virtual bool exists(const std::string& path, AttrMask mask) const = 0;

  // The whole file, or none when it cannot be read.
  virtual std::optional<std::string> readFile(const std::string& path) const = 0;

  // The first `limit` bytes of the file (all of a shorter one), and the size of the
  // whole file in `fileSize`; none when it cannot be read. For a file whose header
  // says how much of it is worth reading: a huge or sparse file costs no more than its
  // header until that header has been checked. The default reads the whole file, which
  // is what test doubles need; every platform implementation reads only the head.
  virtual std::optional<std::string> readFileHead(const std::string& path, std::uint64_t limit,
                                                  std::uint64_t& fileSize) const;

  // The operations below fail with NotSupported unless overridden, which makes a
  // read-only file system without listings (the INF command's needs, and its test
  // doubles). Every platform implementation overrides them all.

  // Every entry of the folder, hidden and system ones included (with their flags).
  virtual DirListing listDir(const std::string& path) const;

  // Creates one folder; its parent must exist. Succeeds when the folder is already
  // there, fails with AlreadyExists when a file has the name.
  virtual FsResult createDir(const std::string& path);

  // Creates one folder that must not exist yet: fails with AlreadyExists when any
  // entry (a folder, a file or a link) has the name.
  virtual FsResult createNewDir(const std::string& path);

  // Copies a file, replacing the target when it exists (also a read-only, hidden or
  // system one). A failed copy leaves no partial target behind.
  virtual FsResult copyFile(const std::string& from, const std::string& to);

  // Copies a file to a name that nothing has yet (no file, folder or link): fails with
  // AlreadyExists otherwise, so that an entry planted there is never written through.
  // The default checks first (for test doubles); the Windows implementation creates the
  // target exclusively (CREATE_NEW).
  virtual FsResult copyNewFile(const std::string& from, const std::string& to);

  // copyFile that also gives the SHA-256 (lower-case hex) of the bytes written, hashed
  // as they pass, so that a backup's checksum list costs no second read. The default
  // copies and then reads the copy (for test doubles); the platforms hash in passing.
  // Fails with NotSupported, and copies nothing, when the platform offers no SHA-256.
  virtual FsResult copyFileHashed(const std::string& from, const std::string& to, std::string& sha256);

  // copyFileHashed to a name that nothing has yet, as copyNewFile: what a restore
  // stages is hashed as it is copied, into entries it has just made itself. The
  // default checks first (for test doubles); the Windows implementation creates the
  // target exclusively (CREATE_NEW).
  virtual FsResult copyNewFileHashed(const std::string& from, const std::string& to, std::string& sha256);

  // copyNewFile that gives every byte it copies to `sink`, in order, as it passes:
  // several hashes of a file a restore stages (its sum, the hashes its catalog names)
  // cost the one read that copies it. The default copies and then reads the copy
  // (test doubles); the platforms feed the sink in passing.
  virtual FsResult copyNewFileThrough(const std::string& from, const std::string& to, ByteSink& sink);

  // The SHA-256 of the file and its size, read once in pieces, so that a file of any
  // size costs a small buffer. The default reads the whole file (test doubles).
  virtual FsResult hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const;

  // Reads the file once from start to end into `sink`, in pieces, and gives its size:
  // several hashes of a file cost one read. The default reads the whole file (test
  // doubles).
  virtual FsResult readThrough(const std::string& path, ByteSink& sink, std::uint64_t& size) const;

  // Writes `bytes` as the whole file, replacing it when it exists.
  virtual FsResult writeFile(const std::string& path, std::string_view bytes);

  // Deletes the folder with everything in it, read-only, hidden and system entries
  // included. Links inside (symbolic links, junctions) are removed, never followed.
  // Goes on past entries it cannot delete and reports the first failure.
  virtual FsResult deleteTree(const std::string& path);

  // True when `path` itself is a symbolic link or a junction (a mount point); false
  // for anything else, a missing entry included. Backups never write through one:
  // a link planted where the backup makes its folders would send the files, and a
  // later packing's deletions, into the folder it points at.
  virtual bool isLink(const std::string& path) const;

  // Text in the machine's ANSI code page, as UTF-8. The portable default is
  // Windows-1252; the Windows implementation uses the code page of the machine.
  virtual std::string decodeAnsi(std::string_view bytes) const;
};

// A file system that passes every call to the one it wraps: the base of wrappers that
// change one or two operations. Deriving from it, a wrapper cannot drop a call by
// forgetting it (a forgotten isLink would answer "no link" for everything).
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

  bool exists(const std::string& path, AttrMask mask) const override { return inner_.exists(path, mask); }
  std::optional<std::string> readFile(const std::string& path) const override { return inner_.readFile(path); }
  std::optional<std::string> readFileHead(const std::string& path, std::uint64_t limit,
                                          std::uint64_t& fileSize) const override {
    return inner_.readFileHead(path, limit, fileSize);
  }
  DirListing listDir(const std::string& path) const override { return inner_.listDir(path); }
  FsResult createDir(const std::string& path) override { return inner_.createDir(path); }
  FsResult createNewDir(const std::string& path) override { return inner_.createNewDir(path); }
  FsResult copyFile(const std::string& from, const std::string& to) override { return inner_.copyFile(from, to); }
  FsResult copyNewFile(const std::string& from, const std::string& to) override { return inner_.copyNewFile(from, to); }
  FsResult copyFileHashed(const std::string& from, const std::string& to, std::string& sha256) override {
    return inner_.copyFileHashed(from, to, sha256);
  }
  FsResult copyNewFileHashed(const std::string& from, const std::string& to, std::string& sha256) override {
    return inner_.copyNewFileHashed(from, to, sha256);
  }
  FsResult copyNewFileThrough(const std::string& from, const std::string& to, ByteSink& sink) override {
    return inner_.copyNewFileThrough(from, to, sink);
  }
  FsResult hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const override {
    return inner_.hashFile(path, sha256, size);
  }
  FsResult readThrough(const std::string& path, ByteSink& sink, std::uint64_t& size) const override {
    return inner_.readThrough(path, sink, size);
  }
  FsResult writeFile(const std::string& path, std::string_view bytes) override { return inner_.writeFile(path, bytes); }
  FsResult deleteTree(const std::string& path) override { return inner_.deleteTree(path); }
  bool isLink(const std::string& path) const override { return inner_.isLink(path); }
  std::string decodeAnsi(std::string_view bytes) const override { return inner_.decodeAnsi(bytes); }

 protected:
  FileSystem& inner() const { return inner_; }

 private:
  FileSystem& inner_;
};

}  // namespace qelvaro
