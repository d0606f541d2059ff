#include "zipcomp/file_access.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zipcomp {
namespace {

IoStatus fromErrno(int e) {
    switch (e) {
    case ENOENT:
    case ENOTDIR: return IoStatus::NotFound;
    case EACCES:
    case EPERM:
    case EROFS: return IoStatus::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return IoStatus::DiskFull;
    case EEXIST: return IoStatus::Exists;
    case EISDIR:
    case ENXIO: return IoStatus::NotAFile;
    default: return IoStatus::Other;
    }
}

std::int64_t nanos(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + static_cast<std::int64_t>(t.tv_nsec);
}

FileStamp stampOf(const struct stat& st) {
    FileStamp s;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.fileId = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.modified = nanos(st.st_mtim);
    s.changed = nanos(st.st_ctim);
    return s;
}

void fill(const struct stat& st, FileInfo& info) {
    info.isDir = S_ISDIR(st.st_mode);
    info.isFile = S_ISREG(st.st_mode);
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.mtime = static_cast<std::int64_t>(st.st_mtime);
    info.stamp = stampOf(st);
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void release() { fd_ = -1; }
    void adopt(int fd) {
        reset();
        fd_ = fd;
    }
    int reset() {
        int rc = 0;
        if (fd_ >= 0) rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

class PosixReadStream final : public ReadStream {
public:
    explicit PosixReadStream(int fd) : fd_(fd) {}
    IoStatus read(void* buf, std::size_t n, std::size_t& got) override {
        for (;;) {
            ssize_t r = ::read(fd_.get(), buf, n);
            if (r >= 0) {
                got = static_cast<std::size_t>(r);
                return IoStatus::Ok;
            }
            if (errno != EINTR) {
                got = 0;
                return fromErrno(errno);
            }
        }
    }
    IoStatus stamp(FileStamp& out) override {
        struct stat st {};
        if (::fstat(fd_.get(), &st) != 0) return fromErrno(errno);
        out = stampOf(st);
        return IoStatus::Ok;
    }

private:
    Fd fd_;
};

class PosixWriteStream final : public WriteStream {
public:
    explicit PosixWriteStream(int fd) : fd_(fd) {}
    IoStatus write(const void* data, std::size_t n) override {
        auto p = static_cast<const char*>(data);
        while (n > 0) {
            ssize_t w = ::write(fd_.get(), p, n);
            if (w < 0) {
                if (errno == EINTR) continue;
                return fromErrno(errno);
            }
            p += w;
            n -= static_cast<std::size_t>(w);
        }
        return IoStatus::Ok;
    }
    IoStatus writeAt(std::uint64_t offset, const void* data, std::size_t n) override {
        auto p = static_cast<const char*>(data);
        while (n > 0) {
            ssize_t w = ::pwrite(fd_.get(), p, n, static_cast<off_t>(offset));
            if (w < 0) {
                if (errno == EINTR) continue;
                return fromErrno(errno);
            }
            p += w;
            offset += static_cast<std::uint64_t>(w);
            n -= static_cast<std::size_t>(w);
        }
        return IoStatus::Ok;
    }
    IoStatus truncate(std::uint64_t size) override {
        if (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) return fromErrno(errno);
        if (::lseek(fd_.get(), static_cast<off_t>(size), SEEK_SET) < 0) return fromErrno(errno);
        return IoStatus::Ok;
    }
    IoStatus sync() override { return ::fsync(fd_.get()) == 0 ? IoStatus::Ok : fromErrno(errno); }
    IoStatus close() override { return fd_.reset() == 0 ? IoStatus::Ok : fromErrno(errno); }

private:
    Fd fd_;
};

class PosixFileAccess final : public FileAccess {
public:
    IoStatus stat(const std::string& path, FileInfo& info) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return fromErrno(errno);
        fill(st, info);
        return IoStatus::Ok;
    }

    IoStatus statEntry(const std::string& path, FileInfo& info) override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return fromErrno(errno);
        fill(st, info);
        return IoStatus::Ok;
    }

    IoStatus list(const std::string& dir, std::vector<DirEntry>& entries) override {
        entries.clear();
        DIR* d = ::opendir(dir.c_str());
        if (!d) return fromErrno(errno);
        for (;;) {
            // Only readdir's own errno counts: the looks at each entry below leave theirs.
            errno = 0;
            struct dirent* e = ::readdir(d);
            if (!e) break;
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            entries.push_back({name, kindOf(::dirfd(d), name)});
        }
        int err = errno;
        ::closedir(d);
        return err ? fromErrno(err) : IoStatus::Ok;
    }

    IoStatus realPath(const std::string& path, std::string& out) override {
        char* r = ::realpath(path.c_str(), nullptr);
        if (!r) return fromErrno(errno);
        out = r;
        std::free(r);
        return IoStatus::Ok;
    }

    IoStatus openRead(const std::string& path, std::unique_ptr<ReadStream>& stream) override {
        // Non-blocking, so that a pipe or a terminal put in the file's place cannot hang
        // the open; what was opened is then checked on the descriptor itself. The flag
        // stays: it changes nothing for a file on disk, and a kernel file that passes
        // for a regular one but waits for data (/proc/kmsg) fails instead of hanging.
        Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        if (fd.get() < 0) return fromErrno(errno);
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) return fromErrno(errno);
        if (!S_ISREG(st.st_mode)) return IoStatus::NotAFile;
        int raw = fd.get();
        stream = std::make_unique<PosixReadStream>(raw);
        fd.release();
        return IoStatus::Ok;
    }

    IoStatus createNew(const std::string& path, std::unique_ptr<WriteStream>& stream) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return fromErrno(errno);
        stream = std::make_unique<PosixWriteStream>(fd);
        return IoStatus::Ok;
    }

    IoStatus replace(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) return fromErrno(errno);
        syncParent(to);
        return IoStatus::Ok;
    }

    IoStatus remove(const std::string& path) override {
        return ::unlink(path.c_str()) == 0 ? IoStatus::Ok : fromErrno(errno);
    }

    IoStatus removeSource(const std::string& base, const std::string& relative, const FileStamp& expected) override {
        Fd dir(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() < 0) return fromErrno(errno);
        std::string rest = relative;
        for (auto slash = rest.find('/'); slash != std::string::npos; slash = rest.find('/')) {
            std::string part = rest.substr(0, slash);
            rest.erase(0, slash + 1);
            if (part.empty() || part == "." || part == "..") return IoStatus::Changed;
            int next = ::openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0) return errno == ELOOP || errno == ENOTDIR ? IoStatus::Changed : fromErrno(errno);
            dir.adopt(next);
        }
        struct stat st {};
        if (::fstatat(dir.get(), rest.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return fromErrno(errno);
        if (!(stampOf(st) == expected)) return IoStatus::Changed;
        if (::unlinkat(dir.get(), rest.c_str(), 0) != 0) return fromErrno(errno);
        return IoStatus::Ok;
    }

    bool sameFile(const std::string& a, const std::string& b) override {
        struct stat sa {}, sb {};
        if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }

private:
    // The entry itself first, so that a link to a folder is never followed.
    static EntryKind kindOf(int dirFd, const std::string& name) {
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::BrokenLink;
        if (S_ISDIR(st.st_mode)) return EntryKind::Dir;
        if (S_ISREG(st.st_mode)) return EntryKind::File;
        if (!S_ISLNK(st.st_mode)) return EntryKind::Special;
        if (::fstatat(dirFd, name.c_str(), &st, 0) != 0) return EntryKind::BrokenLink;
        if (S_ISREG(st.st_mode)) return EntryKind::LinkToFile;
        return S_ISDIR(st.st_mode) ? EntryKind::Other : EntryKind::Special;
    }

    // The rename itself must survive a power cut, or the new archive may vanish again.
    static void syncParent(const std::string& path) {
        auto slash = path.find_last_of('/');
        std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
        Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() >= 0) ::fsync(fd.get());
    }
};

}  // namespace

std::shared_ptr<FileAccess> platformFileAccess() {
    return std::make_shared<PosixFileAccess>();
}

}  // namespace zipcomp
