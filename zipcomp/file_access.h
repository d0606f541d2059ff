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

enum class IoStatus { Ok, NotFound, AccessDenied, DiskFull, Exists, Other };

// Modification time as seconds since 1970-01-01 UTC.
struct FileInfo {
    bool isDir = false;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
};

enum class EntryKind { File, Dir, Other };

struct DirEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;
};

class ReadStream {
public:
    virtual ~ReadStream() = default;
    // Reads up to n bytes; got == 0 with Ok means end of file.
    virtual IoStatus read(void* buf, std::size_t n, std::size_t& got) = 0;
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
    virtual IoStatus stat(const std::string& path, FileInfo& info) = 0;
    // Lists a folder without "." and "..". Links to folders are reported as Other so that
    // a walk never loops.
    virtual IoStatus list(const std::string& dir, std::vector<DirEntry>& entries) = 0;
    virtual IoStatus openRead(const std::string& path, std::unique_ptr<ReadStream>& stream) = 0;
    // Creates a file that must not exist yet.
    virtual IoStatus createNew(const std::string& path, std::unique_ptr<WriteStream>& stream) = 0;
    // Renames `from` over `to` in one step, replacing an existing `to`.
    virtual IoStatus replace(const std::string& from, const std::string& to) = 0;
    virtual IoStatus remove(const std::string& path) = 0;
    virtual bool sameFile(const std::string& a, const std::string& b) = 0;
};

// The platform's implementation: POSIX natively, Win32 W functions on Windows.
std::shared_ptr<FileAccess> platformFileAccess();

}  // namespace zipcomp
