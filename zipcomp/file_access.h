// The file operations the zip component needs, behind an interface so that the
// archive logic stays portable and tests can inject faults (disk full, a file that
// vanishes, a folder that refuses writes) that are hard to provoke for real.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zipcomp {

// NotAFile: a folder, device, pipe or socket where a file was expected. Changed: the
// entry is no longer the file that was listed.
enum class IoStatus { Ok, NotFound, AccessDenied, DiskFull, Exists, Other, NotAFile, Changed };

// Who a file is and how it stood, at the platform's full resolution: enough to tell it
// from a file put in its place or rewritten within the same second.
struct FileStamp {
    std::uint64_t device = 0;  // device or volume
    std::uint64_t fileId = 0;  // inode or file index
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // in the platform's own units
    std::int64_t changed = 0;   // status change (ctime, ChangeTime); 0 where there is none
    bool operator==(const FileStamp&) const = default;
    bool sameFile(const FileStamp& o) const { return device == o.device && fileId == o.fileId; }
};

// Modification time as seconds since 1970-01-01 UTC.
struct FileInfo {
    bool isDir = false;
    bool isFile = false;  // a regular file
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    FileStamp stamp;
};

// What a folder entry is, links told apart so that a walk never loops, never leaves the
// folder unasked and never mistakes a link that leads nowhere for a failure.
enum class EntryKind {
    File,
    Dir,
    Other,       // a link to a folder (or a junction): not followed
    Special,     // a pipe, device or socket
    LinkToFile,  // a symbolic link to a regular file
    BrokenLink,  // a link that leads nowhere (target missing, a loop, no access)
};

struct DirEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;
};

class ReadStream {
public:
    virtual ~ReadStream() = default;
    // Reads up to n bytes; got == 0 with Ok means end of file.
    virtual IoStatus read(void* buf, std::size_t n, std::size_t& got) = 0;
    // The file actually opened, so that a reader can check it is the one listed.
    virtual IoStatus stamp(FileStamp& out) = 0;
};

class WriteStream {
public:
    virtual ~WriteStream() = default;
    virtual IoStatus write(const void* data, std::size_t n) = 0;
    // Overwrites bytes already written, leaving the append position alone.
    virtual IoStatus writeAt(std::uint64_t offset, const void* data, std::size_t n) = 0;
    // Cuts the file to `size` bytes and continues appending there.
    virtual IoStatus truncate(std::uint64_t size) = 0;
    // Makes everything written durable on the medium.
    virtual IoStatus sync() = 0;
    virtual IoStatus close() = 0;
};

class FileAccess {
public:
    virtual ~FileAccess() = default;
    // Follows links.
    virtual IoStatus stat(const std::string& path, FileInfo& info) = 0;
    // The entry itself: a link is described as the link, not its target.
    virtual IoStatus statEntry(const std::string& path, FileInfo& info) = 0;
    // Lists a folder without "." and "..". Links to folders are reported as Other so that
    // a walk never loops.
    virtual IoStatus list(const std::string& dir, std::vector<DirEntry>& entries) = 0;
    // The path with every link resolved, for telling whether a link leads out of a folder.
    virtual IoStatus realPath(const std::string& path, std::string& out) = 0;
    // Opens a regular file only (NotAFile otherwise), without ever blocking on a pipe or
    // device that took the file's place.
    virtual IoStatus openRead(const std::string& path, std::unique_ptr<ReadStream>& stream) = 0;
    // Creates a file that must not exist yet.
    virtual IoStatus createNew(const std::string& path, std::unique_ptr<WriteStream>& stream) = 0;
    // Renames `from` over `to` in one step, replacing an existing `to`.
    virtual IoStatus replace(const std::string& from, const std::string& to) = 0;
    virtual IoStatus remove(const std::string& path) = 0;
    // Deletes the entry `relative` ('/'-separated) below `base` only when it is still the
    // entry described by `expected` (Changed otherwise). No link on the way below `base`
    // is followed, and the entry checked is the entry deleted, so that a folder swapped
    // for a link after the listing cannot turn the delete onto a file elsewhere.
    virtual IoStatus removeSource(const std::string& base, const std::string& relative,
                                  const FileStamp& expected) = 0;
    virtual bool sameFile(const std::string& a, const std::string& b) = 0;
};

// The platform's implementation: POSIX natively, Win32 W functions on Windows.
std::shared_ptr<FileAccess> platformFileAccess();

}  // namespace zipcomp
