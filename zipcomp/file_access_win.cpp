#include "zipcomp/file_access.h"

#include <windows.h>

#include "base/win32/handle.h"
#include "base/win32/wide_string.h"

namespace zipcomp {
namespace {

using qelvaro::base::UniqueHandle;
using FindHandle = qelvaro::base::UniqueFindHandle;

IoStatus fromError(DWORD e) {
    switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE: return IoStatus::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return IoStatus::AccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return IoStatus::DiskFull;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return IoStatus::Exists;
    case ERROR_DIRECTORY: return IoStatus::NotAFile;
    default: return IoStatus::Other;
    }
}

IoStatus lastError() { return fromError(GetLastError()); }

using qelvaro::base::narrow;
using qelvaro::base::widen;

// The extended-length form lifts the MAX_PATH limit; it turns off the usual
// normalisation, so the path is made absolute and clean first.
std::wstring longPath(const std::string& utf8) {
    std::wstring w = widen(utf8);
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    if (w.rfind(L"\\\\?\\", 0) == 0) return w;
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return w;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
    full.resize(n);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::int64_t unixSeconds(const FILETIME& ft) {
    std::int64_t t = (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    t -= 116444736000000000LL;  // 1601 to 1970 in 100 ns steps
    return t >= 0 ? t / 10000000 : -((-t + 9999999) / 10000000);
}

std::int64_t ticks(const FILETIME& ft) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

// Identity and times of an open file, at the 100 ns resolution of the file system.
IoStatus stampOf(HANDLE h, FileStamp& s, DWORD* attributes = nullptr) {
    BY_HANDLE_FILE_INFORMATION bi;
    if (!GetFileInformationByHandle(h, &bi)) return lastError();
    s.device = bi.dwVolumeSerialNumber;
    s.fileId = (static_cast<std::uint64_t>(bi.nFileIndexHigh) << 32) | bi.nFileIndexLow;
    s.size = (static_cast<std::uint64_t>(bi.nFileSizeHigh) << 32) | bi.nFileSizeLow;
    s.modified = ticks(bi.ftLastWriteTime);
    FILE_BASIC_INFO basic;
    s.changed = GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ? basic.ChangeTime.QuadPart : 0;
    if (attributes) *attributes = bi.dwFileAttributes;
    return IoStatus::Ok;
}

class WinReadStream final : public ReadStream {
public:
    explicit WinReadStream(HANDLE h) : h_(h) {}
    IoStatus stamp(FileStamp& out) override { return stampOf(h_.get(), out); }
    IoStatus read(void* buf, std::size_t n, std::size_t& got) override {
        DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n), done = 0;
        if (!ReadFile(h_.get(), buf, want, &done, nullptr)) {
            got = 0;
            return lastError();
        }
        got = done;
        return IoStatus::Ok;
    }

private:
    UniqueHandle h_;
};

class WinWriteStream final : public WriteStream {
public:
    explicit WinWriteStream(HANDLE h) : h_(h) {}
    IoStatus write(const void* data, std::size_t n) override {
        if (IoStatus s = writeAll(data, n); s != IoStatus::Ok) return s;
        end_ += n;
        return IoStatus::Ok;
    }
    IoStatus writeAt(std::uint64_t offset, const void* data, std::size_t n) override {
        if (IoStatus s = seek(offset); s != IoStatus::Ok) return s;
        IoStatus s = writeAll(data, n);
        IoStatus back = seek(end_);
        return s != IoStatus::Ok ? s : back;
    }
    IoStatus truncate(std::uint64_t size) override {
        if (IoStatus s = seek(size); s != IoStatus::Ok) return s;
        if (!SetEndOfFile(h_.get())) return lastError();
        end_ = size;
        return IoStatus::Ok;
    }
    IoStatus sync() override { return FlushFileBuffers(h_.get()) ? IoStatus::Ok : lastError(); }
    IoStatus close() override { return h_.close() ? IoStatus::Ok : lastError(); }

private:
    IoStatus seek(std::uint64_t pos) {
        LARGE_INTEGER li;
        li.QuadPart = static_cast<LONGLONG>(pos);
        return SetFilePointerEx(h_.get(), li, nullptr, FILE_BEGIN) ? IoStatus::Ok : lastError();
    }
    IoStatus writeAll(const void* data, std::size_t n) {
        auto p = static_cast<const char*>(data);
        while (n > 0) {
            DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n), done = 0;
            if (!WriteFile(h_.get(), p, chunk, &done, nullptr)) return lastError();
            p += done;
            n -= done;
        }
        return IoStatus::Ok;
    }
    UniqueHandle h_;
    std::uint64_t end_ = 0;
};

// The path an opened entry really is ("\\?\C:\x\y"); empty when unknown.
std::wstring finalPathOf(HANDLE h) {
    std::wstring buf(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), VOLUME_NAME_DOS);
    // Windows answers a short buffer with the size it needs, Wine with ERROR_MORE_DATA.
    if (n >= buf.size() || (n == 0 && GetLastError() == ERROR_MORE_DATA)) {
        buf.assign(n >= buf.size() ? n + 1 : 32768, L'\0');
        n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), VOLUME_NAME_DOS);
    }
    if (n == 0 || n >= buf.size()) return {};
    buf.resize(n);
    return buf;
}

std::wstring finalPathOf(const std::wstring& path) {
    UniqueHandle h(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h ? finalPathOf(h.get()) : std::wstring();
}

bool samePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// True when the opened entry is the one the folder (final path `folderFinal`) holds
// under `relative` ('/' or '\' separated). Wine shows a Unix link to a file as a plain
// file and opens its target even when asked for the entry itself; only the final path
// tells that the handle is not the entry.
bool isEntryItself(HANDLE h, const std::wstring& folderFinal, std::wstring relative) {
    for (auto& c : relative)
        if (c == L'/') c = L'\\';
    // Wine 8 gives no final path longer than MAX_PATH (ERROR_MORE_DATA at any buffer
    // size): there the entry's attributes, checked already, are all there is to go by.
    const std::wstring opened = finalPathOf(h);
    if (opened.empty() || folderFinal.empty()) return true;
    return samePath(opened, folderFinal + L"\\" + relative);
}

class WinFileAccess final : public FileAccess {
public:
    IoStatus stat(const std::string& path, FileInfo& info) override { return describe(path, 0, info); }

    IoStatus statEntry(const std::string& path, FileInfo& info) override {
        return describe(path, FILE_FLAG_OPEN_REPARSE_POINT, info);
    }

    IoStatus realPath(const std::string& path, std::string& out) override {
        UniqueHandle h(CreateFileW(longPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h) return lastError();
        std::wstring buf(MAX_PATH, L'\0');
        DWORD n = GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), VOLUME_NAME_DOS);
        if (n >= buf.size()) {
            buf.assign(n + 1, L'\0');
            n = GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), VOLUME_NAME_DOS);
        }
        if (n == 0 || n >= buf.size()) return lastError();
        buf.resize(n);
        if (buf.rfind(L"\\\\?\\UNC\\", 0) == 0)
            buf = L"\\\\" + buf.substr(8);
        else if (buf.rfind(L"\\\\?\\", 0) == 0)
            buf = buf.substr(4);
        out = narrow(buf.c_str());
        return IoStatus::Ok;
    }

    IoStatus list(const std::string& dir, std::vector<DirEntry>& entries) override {
        entries.clear();
        WIN32_FIND_DATAW fd;
        FindHandle h(FindFirstFileExW((longPath(dir) + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                      nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!h) {
            DWORD e = GetLastError();
            return e == ERROR_FILE_NOT_FOUND ? IoStatus::Ok : fromError(e);
        }
        std::wstring dirFinal;
        do {
            if (wcscmp(fd.cFileName, L".") == 0 || wcscmp(fd.cFileName, L"..") == 0) continue;
            EntryKind kind = EntryKind::File;
            // Junctions and folder links are not followed: they can point back up the tree.
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                kind = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::Other : EntryKind::Dir;
            } else if ((fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && fd.dwReserved0 == IO_REPARSE_TAG_SYMLINK) {
                // Other reparse points on files (deduplicated, cloud placeholders) are files.
                FileInfo target;
                kind = stat(joinName(dir, fd.cFileName), target) == IoStatus::Ok
                           ? (target.isFile ? EntryKind::LinkToFile : EntryKind::Other)
                           : EntryKind::BrokenLink;
            } else if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                // A plain file by its attributes may still be a link (Wine): one that
                // opens as another entry is classed by what it opens.
                if (dirFinal.empty()) dirFinal = finalPathOf(longPath(dir));
                UniqueHandle entry(CreateFileW((longPath(dir) + L"\\" + fd.cFileName).c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                               nullptr));
                if (entry && !isEntryItself(entry.get(), dirFinal, fd.cFileName)) kind = EntryKind::LinkToFile;
            }
            entries.push_back({narrow(fd.cFileName), kind});
        } while (FindNextFileW(h.get(), &fd));
        DWORD e = GetLastError();
        return e == ERROR_NO_MORE_FILES ? IoStatus::Ok : fromError(e);
    }

    IoStatus openRead(const std::string& path, std::unique_ptr<ReadStream>& stream) override {
        UniqueHandle h(CreateFileW(longPath(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!h) return lastError();
        // A pipe or a device (a name such as CON or \\.\pipe\x) is not a file to pack.
        if (GetFileType(h.get()) != FILE_TYPE_DISK) return IoStatus::NotAFile;
        stream = std::make_unique<WinReadStream>(h.release());
        return IoStatus::Ok;
    }

    IoStatus createNew(const std::string& path, std::unique_ptr<WriteStream>& stream) override {
        // Delete sharing lets an interrupted run's console handler remove the file while
        // it is still open.
        HANDLE h = CreateFileW(longPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return lastError();
        stream = std::make_unique<WinWriteStream>(h);
        return IoStatus::Ok;
    }

    IoStatus replace(const std::string& from, const std::string& to) override {
        if (!MoveFileExW(longPath(from).c_str(), longPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return lastError();
        return IoStatus::Ok;
    }

    IoStatus remove(const std::string& path) override {
        std::wstring p = longPath(path);
        if (DeleteFileW(p.c_str())) return IoStatus::Ok;
        DWORD e = GetLastError();
        // A file closed a moment ago can still be held open briefly by someone else (a
        // virus scanner, an indexer, a handle not yet released): try again for a while.
        for (int attempt = 0; attempt < 40 && (e == ERROR_SHARING_VIOLATION || e == ERROR_ACCESS_DENIED); ++attempt) {
            const DWORD now = GetFileAttributesW(p.c_str());
            if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_READONLY)) break;
            Sleep(25);
            if (DeleteFileW(p.c_str())) return IoStatus::Ok;
            e = GetLastError();
        }
        // A read-only file that is safely in the archive may go all the same.
        DWORD attrs = GetFileAttributesW(p.c_str());
        if (e == ERROR_ACCESS_DENIED && attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) &&
            SetFileAttributesW(p.c_str(), attrs & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
            if (DeleteFileW(p.c_str())) return IoStatus::Ok;
            e = GetLastError();
            SetFileAttributesW(p.c_str(), attrs);
        }
        return fromError(e);
    }

    IoStatus removeSource(const std::string& base, const std::string& relative, const FileStamp& expected) override {
        // The entry itself (a link as the link), opened once: what is checked is what is
        // deleted, through the same handle, whatever happens to the path meanwhile.
        std::wstring p = longPath(joinName(base, widen(relative)));
        UniqueHandle h;
        DWORD e = ERROR_SUCCESS;
        for (int attempt = 0; attempt < 40; ++attempt) {
            for (DWORD access : {DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, DELETE | FILE_READ_ATTRIBUTES}) {
                h = UniqueHandle(CreateFileW(p.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING,
                                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
                if (h) break;
                e = GetLastError();
            }
            // A file closed a moment ago can still be held open briefly by someone else (a
            // virus scanner, an indexer): try again for a while.
            if (h || e != ERROR_SHARING_VIOLATION) break;
            Sleep(25);
        }
        if (!h) return fromError(e);
        FileStamp now;
        DWORD attrs = 0;
        if (IoStatus s = stampOf(h.get(), now, &attrs); s != IoStatus::Ok) return s;
        if (!(now == expected) || (attrs & FILE_ATTRIBUTE_DIRECTORY)) return IoStatus::Changed;
        // What the handle opened must be the entry itself: deleting through a handle that
        // opened a link's target would delete the target.
        if (!isEntryItself(h.get(), finalPathOf(longPath(base)), widen(relative))) return IoStatus::Changed;
        if (deleteByHandle(h.get())) return IoStatus::Ok;
        e = GetLastError();
        // A read-only file that is safely in the archive may go all the same.
        if (e == ERROR_ACCESS_DENIED && (attrs & FILE_ATTRIBUTE_READONLY) &&
            setAttributes(h.get(), (attrs & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) | FILE_ATTRIBUTE_NORMAL)) {
            if (deleteByHandle(h.get())) return IoStatus::Ok;
            e = GetLastError();
            setAttributes(h.get(), attrs);
        }
        return fromError(e);
    }

    bool sameFile(const std::string& a, const std::string& b) override {
        BY_HANDLE_FILE_INFORMATION ia, ib;
        return identify(a, ia) && identify(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
               ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
    }

private:
    static std::string joinName(const std::string& dir, const wchar_t* name) { return joinName(dir, std::wstring(name)); }
    static std::string joinName(const std::string& dir, const std::wstring& name) {
        std::string n = narrow(name.c_str());
        return dir.empty() || dir.back() == '/' || dir.back() == '\\' ? dir + n : dir + "/" + n;
    }

    static IoStatus describe(const std::string& path, DWORD flags, FileInfo& info) {
        UniqueHandle h(CreateFileW(longPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
        if (!h) return lastError();
        DWORD attrs = 0;
        if (IoStatus s = stampOf(h.get(), info.stamp, &attrs); s != IoStatus::Ok) return s;
        info.isDir = (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A symbolic link opened as itself is not a file to read (other reparse points on
        // files, deduplicated or cloud files, are); a device or pipe never is.
        bool link = false;
        if ((attrs & FILE_ATTRIBUTE_REPARSE_POINT) && (flags & FILE_FLAG_OPEN_REPARSE_POINT)) {
            FILE_ATTRIBUTE_TAG_INFO tag{};
            link = !GetFileInformationByHandleEx(h.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
                   tag.ReparseTag == IO_REPARSE_TAG_SYMLINK;
        }
        info.isFile = !info.isDir && !link && GetFileType(h.get()) == FILE_TYPE_DISK;
        info.size = info.stamp.size;
        FILETIME ft;
        ft.dwLowDateTime = static_cast<DWORD>(info.stamp.modified);
        ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(info.stamp.modified) >> 32);
        info.mtime = unixSeconds(ft);
        return IoStatus::Ok;
    }

    static bool deleteByHandle(HANDLE h) {
        FILE_DISPOSITION_INFO d;
        d.DeleteFile = TRUE;
        return SetFileInformationByHandle(h, FileDispositionInfo, &d, sizeof d) != 0;
    }

    static bool setAttributes(HANDLE h, DWORD attrs) {
        FILE_BASIC_INFO b{};
        b.FileAttributes = attrs;  // zero times leave the times alone
        return SetFileInformationByHandle(h, FileBasicInfo, &b, sizeof b) != 0;
    }

    static bool identify(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        UniqueHandle h(CreateFileW(longPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return h && GetFileInformationByHandle(h.get(), &info);
    }
};

}  // namespace

std::shared_ptr<FileAccess> platformFileAccess() {
    return std::make_shared<WinFileAccess>();
}

}  // namespace zipcomp
