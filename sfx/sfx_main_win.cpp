// The self-extractor stub: a package is this program followed by its settings and a
// zip archive. Run, it unpacks the archive into its unpack folder without asking and
// starts the program its settings name. It runs from download folders and unpacks below
// a fixed, guessable place, so it loads system DLLs only, trusts no entry name, unpacks
// into a fresh folder of its own, deletes nothing it did not make and nothing through a
// link, and starts the program by its full path.

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>

#include "sfx/sfx_archive.h"
#include "sfx/sfx_exit_codes.h"
#include "sfx/sfx_handle_input_win.h"
#include "sfx/sfx_settings.h"
#include "sfx/sfx_texts.h"

namespace qsfx {
namespace {

// Before anything can load a DLL from the program's folder (a download folder holds
// whatever else was downloaded): system DLLs from System32 only. Windows 7 without
// KB2533623 lacks the call; there the current folder at least leaves the search.
void restrictDllSearch() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    using SetDirs = BOOL(WINAPI*)(DWORD);
    auto setDirs = kernel ? reinterpret_cast<SetDirs>(
                                reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                          : nullptr;
    if (!setDirs || !setDirs(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

// A growing wide string on the heap; the stub has no C++ library containers.
class WStr {
public:
    WStr() = default;
    explicit WStr(const wchar_t* s) { add(s); }
    ~WStr() { std::free(p_); }
    WStr(const WStr& o) { add(o.c()); }
    WStr(WStr&& o) noexcept : p_(o.p_), len_(o.len_), cap_(o.cap_) { o.p_ = nullptr, o.len_ = o.cap_ = 0; }
    WStr& operator=(WStr&& o) noexcept {
        std::free(p_);
        p_ = o.p_, len_ = o.len_, cap_ = o.cap_;
        o.p_ = nullptr, o.len_ = o.cap_ = 0;
        return *this;
    }
    WStr& operator=(const WStr&) = delete;
    WStr& add(const wchar_t* s, std::size_t n) {
        if (n > (1u << 28)) std::abort();
        if (len_ + n + 1 > cap_) {
            std::size_t cap = (len_ + n + 1) * 2;
            auto* q = static_cast<wchar_t*>(std::realloc(p_, cap * sizeof(wchar_t)));
            if (!q) std::abort();
            p_ = q;
            cap_ = cap;
        }
        std::memcpy(p_ + len_, s, n * sizeof(wchar_t));
        len_ += n;
        p_[len_] = 0;
        return *this;
    }
    WStr& add(const wchar_t* s) { return add(s, wcslen(s)); }
    WStr& addUtf8(const char* s) {
        const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
        if (n <= 1) return *this;
        auto* w = static_cast<wchar_t*>(std::malloc(n * sizeof(wchar_t)));
        if (!w) std::abort();
        MultiByteToWideChar(CP_UTF8, 0, s, -1, w, n);
        add(w, static_cast<unsigned>(n - 1));
        std::free(w);
        return *this;
    }
    void cut(std::size_t n) {
        if (n < len_) {
            len_ = n;
            p_[len_] = 0;
        }
    }
    const wchar_t* c() const { return p_ ? p_ : L""; }
    wchar_t* data() { return p_; }
    std::size_t size() const { return len_; }

private:
    wchar_t* p_ = nullptr;
    std::size_t len_ = 0;
    std::size_t cap_ = 0;
};

char* toUtf8(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    auto* s = static_cast<char*>(std::malloc(n > 0 ? n : 1));
    if (!s) std::abort();
    s[0] = 0;
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w, -1, s, n, nullptr, nullptr);
    return s;
}

// "\\?\" form, so that deep entries pass MAX_PATH and no name is reinterpreted.
WStr longPath(const wchar_t* path) {
    WStr out;
    if (path[0] == L'\\' && path[1] == L'\\') out.add(L"\\\\?\\UNC\\").add(path + 2);
    else out.add(L"\\\\?\\").add(path);
    return out;
}

// The unpacking's progress, in a small window of its own once the unpacking has taken
// longer than a blink (never in a quiet run). The window has no close button: the
// package cannot be stopped halfway, which would leave a folder with half a driver set.
class Progress {
public:
    Progress(bool show, const wchar_t* title, std::uint64_t total)
        : show_(show), title_(title), total_(total ? total : 1), start_(GetTickCount()) {}
    ~Progress() {
        if (dialog_) DestroyWindow(dialog_);
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void advance(std::uint64_t bytes) {
        done_ += bytes;
        if (!show_) return;
        const DWORD now = GetTickCount();
        if (!dialog_) {
            if (now - start_ < kShowAfterMs) return;
            open();
            if (!dialog_) return;
        } else if (now - shown_ < kRefreshMs) {
            return;
        }
        shown_ = now;
        const int percent = static_cast<int>(done_ >= total_ ? 100 : done_ * 100 / total_);
        WStr text;
        text.addUtf8(texts::kUnpacking);
        wchar_t number[16];
        wsprintfW(number, L" %d%%", percent);
        text.add(number);
        SetDlgItemTextW(dialog_, kTextId, text.c());
        HWND bar = GetDlgItem(dialog_, kBarId);
        SetWindowLongPtrW(bar, GWLP_USERDATA, percent);
        InvalidateRect(bar, nullptr, FALSE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageW(dialog_, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }

    static constexpr int kTextId = 100;
    static constexpr int kBarId = 101;

private:
    static constexpr DWORD kShowAfterMs = 300;
    static constexpr DWORD kRefreshMs = 50;

    static INT_PTR CALLBACK dialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

    // The bar paints itself with the system's colours: user32 only, no common controls.
    static LRESULT CALLBACK barProc(HWND w, UINT message, WPARAM wp, LPARAM lp) {
        if (message != WM_PAINT) return DefWindowProcW(w, message, wp, lp);
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT r;
        GetClientRect(w, &r);
        DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
        const LONG_PTR percent = GetWindowLongPtrW(w, GWLP_USERDATA);
        RECT filled = r;
        filled.right = r.left + static_cast<LONG>((r.right - r.left) * percent / 100);
        RECT rest = r;
        rest.left = filled.right;
        FillRect(dc, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
        FillRect(dc, &rest, GetSysColorBrush(COLOR_WINDOW));
        EndPaint(w, &ps);
        return 0;
    }

    void open() {
        HINSTANCE self = GetModuleHandleW(nullptr);
        WNDCLASSW bar{};
        bar.lpfnWndProc = barProc;
        bar.hInstance = self;
        bar.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        bar.lpszClassName = L"QelvaroSfxBar";
        RegisterClassW(&bar);
        dialog_ = CreateDialogParamW(self, MAKEINTRESOURCEW(1), nullptr, dialogProc, 0);
        show_ = dialog_ != nullptr;
        if (!dialog_) return;
        SetWindowTextW(dialog_, title_);
        ShowWindow(dialog_, SW_SHOWNORMAL);
    }

    bool show_;
    const wchar_t* title_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    DWORD start_;
    DWORD shown_ = 0;
    HWND dialog_ = nullptr;
};

class FileOutput final : public Output {
public:
    FileOutput(HANDLE h, Progress& progress) : h_(h), progress_(progress) {}
    Status write(const void* data, std::size_t n) override {
        auto* p = static_cast<const std::uint8_t*>(data);
        while (n > 0) {
            const DWORD want = n > (1u << 24) ? (1u << 24) : static_cast<DWORD>(n);
            DWORD done = 0;
            if (!WriteFile(h_, p, want, &done, nullptr) || done == 0) {
                const DWORD e = GetLastError();
                return e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL ? Status::DiskFull : Status::WriteFailed;
            }
            p += done;
            n -= done;
            progress_.advance(done);
        }
        return Status::Ok;
    }

private:
    HANDLE h_;
    Progress& progress_;
};

struct Outcome {
    int code = kExitOk;
    const char* text = nullptr;  // the message, when there is one
    WStr detail;                 // a path that follows it
};

int exitFor(Status s) {
    switch (s) {
    case Status::Ok: return kExitOk;
    case Status::Damaged: return kExitDamaged;
    case Status::WrongPassword: return kExitWrongPassword;
    case Status::UnsafeName: return kExitUnsafeName;
    case Status::Unsupported: return kExitUnsupported;
    case Status::DiskFull: return kExitDiskFull;
    case Status::WriteFailed: return kExitWriteFailed;
    case Status::NoMemory: return kExitNoMemory;
    }
    return kExitDamaged;
}

const char* textFor(Status s) {
    switch (s) {
    case Status::Ok: return nullptr;
    case Status::Damaged: return texts::kDamaged;
    case Status::WrongPassword: return texts::kWrongPassword;
    case Status::UnsafeName: return texts::kUnsafeName;
    case Status::Unsupported: return texts::kUnsupported;
    case Status::DiskFull: return texts::kDiskFull;
    case Status::WriteFailed: return texts::kWriteFailed;
    case Status::NoMemory: return texts::kNoMemory;
    }
    return texts::kDamaged;
}

WStr finalPath(HANDLE h) {
    WStr out;
    DWORD n = GetFinalPathNameByHandleW(h, nullptr, 0, VOLUME_NAME_DOS);
    // Windows answers a short buffer with the size it needs, Wine with ERROR_MORE_DATA.
    if (n == 0 && GetLastError() == ERROR_MORE_DATA) n = 32768;
    if (n == 0) return out;
    auto* buf = static_cast<wchar_t*>(std::malloc((n + 1) * sizeof(wchar_t)));
    if (!buf) std::abort();
    const DWORD got = GetFinalPathNameByHandleW(h, buf, n + 1, VOLUME_NAME_DOS);
    if (got > 0 && got <= n) out.add(buf, got);
    std::free(buf);
    return out;
}

bool sameText(const WStr& a, const WStr& b) {
    return a.size() == b.size() && a.size() > 0 &&
           CompareStringOrdinal(a.c(), static_cast<int>(a.size()), b.c(), static_cast<int>(b.size()), TRUE) ==
               CSTR_EQUAL;
}

// An entry opened as itself: a symbolic link or junction as the link, never its target.
HANDLE openEntry(const wchar_t* path, DWORD access, DWORD share) {
    return CreateFileW(path, access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// True when the opened entry is the one its folder (final path `folderFinal`) holds under
// `name`. Wine shows a Unix link to a file as a plain file and opens its target even when
// asked for the entry itself: only the final path tells such a link apart.
bool isEntryItself(HANDLE h, const WStr& folderFinal, const wchar_t* name) {
    WStr expected(folderFinal);
    expected.add(L"\\").add(name);
    return sameText(finalPath(h), expected);
}

bool deleteThrough(HANDLE h, DWORD attributes) {
    FILE_DISPOSITION_INFO gone{TRUE};
    if (SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone)) return true;
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return false;
    FILE_BASIC_INFO basic{};  // zero times leave the times alone
    basic.FileAttributes = (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic) &&
           SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
}

// Removes `name` in the folder `folder` (final path `folderFinal`) with everything in
// it, deciding on handles only: each entry is opened as itself and deleted through that
// handle only when it is the entry the folder holds under its name. A link or junction
// shown as one is removed as a link, its target never entered; an entry that opens as
// something else (a Unix link under Wine) is left, and nothing is deleted through it.
// Best effort: false when anything stayed.
// The names in an opened folder, read through its handle (a search by path would open
// the folder anew, which the handle's delete access does not share), '/'-separated: a
// character no name has.
WStr childNames(HANDLE h) {
    WStr names;
    constexpr DWORD kSize = 32768;
    auto* buffer = static_cast<unsigned char*>(std::malloc(kSize));
    if (!buffer) std::abort();
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(h, kind, buffer, kSize)) {
        kind = FileIdBothDirectoryInfo;
        for (std::size_t at = 0;;) {
            const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
            const std::size_t n = e->FileNameLength / sizeof(wchar_t);
            const bool dots = (n == 1 && e->FileName[0] == L'.') || (n == 2 && e->FileName[0] == L'.' && e->FileName[1] == L'.');
            if (!dots) names.add(e->FileName, n).add(L"/");
            if (e->NextEntryOffset == 0) break;
            at += e->NextEntryOffset;
        }
    }
    std::free(buffer);
    return names;
}

bool removeTree(const WStr& folder, const WStr& folderFinal, const wchar_t* name) {
    WStr path(folder);
    path.add(L"\\").add(name);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    HANDLE h = openEntry(path.c(), access | FILE_LIST_DIRECTORY, share);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) h = openEntry(path.c(), access, share);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    bool ok = GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) && isEntryItself(h, folderFinal, name);
    if (ok && (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        const WStr self = finalPath(h);
        WStr names = childNames(h);
        wchar_t* p = names.data();
        for (std::size_t i = 0, from = 0; i < names.size(); ++i) {
            if (p[i] != L'/') continue;
            p[i] = 0;
            ok = removeTree(path, self, p + from) && ok;
            from = i + 1;
        }
    }
    ok = ok && deleteThrough(h, tag.FileAttributes);
    CloseHandle(h);
    return ok;
}

bool isPlainFolder(const wchar_t* path) {
    const DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Creates the folders of `path` below `rootLen` characters, refusing any that turns out
// to be a link.
bool makeFolders(WStr& path, std::size_t rootLen, bool includeLast) {
    wchar_t* p = path.data();
    const std::size_t n = path.size();
    for (std::size_t i = rootLen + 1; i <= n; ++i) {
        if (i < n && p[i] != L'\\') continue;
        if (i == n && !includeLast) break;
        const wchar_t saved = p[i];
        p[i] = 0;
        const bool ok = CreateDirectoryW(p, nullptr) || (GetLastError() == ERROR_ALREADY_EXISTS && isPlainFolder(p));
        p[i] = saved;
        if (!ok) return false;
    }
    return true;
}

bool startsWithFolder(const WStr& path, const WStr& folder) {
    if (folder.size() == 0 || path.size() <= folder.size() || path.c()[folder.size()] != L'\\') return false;
    return CompareStringOrdinal(path.c(), static_cast<int>(folder.size()), folder.c(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

void discard(HANDLE h) {
    FILE_DISPOSITION_INFO gone{TRUE};
    SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
    CloseHandle(h);
}

Status writeEntry(Archive& archive, HandleInput& in, const Entry& e, const char* password, const WStr& root,
                  const WStr& rootFinal, Progress& progress) {
    WStr path(root);
    path.add(L"\\").addUtf8(e.name);
    for (std::size_t i = root.size(); i < path.size(); ++i) {
        if (path.data()[i] == L'/') path.data()[i] = L'\\';
    }
    if (!makeFolders(path, root.size(), e.isFolder)) return Status::WriteFailed;
    if (e.isFolder) return Status::Ok;
    HANDLE h = CreateFileW(path.c(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_EXISTS) return Status::Damaged;  // the same name twice
        return err == ERROR_DISK_FULL ? Status::DiskFull : Status::WriteFailed;
    }
    // The name was checked, but a folder on the way could have been swapped for a link
    // since: the file must really be inside the unpack folder.
    if (!startsWithFolder(finalPath(h), rootFinal)) {
        discard(h);
        return Status::UnsafeName;
    }
    FileOutput out(h, progress);
    const Status s = archive.extract(in, e, password, out);
    if (s != Status::Ok) {
        discard(h);
        return s;
    }
    FILETIME local, utc;
    if (DosDateTimeToFileTime(e.dosDate, e.dosTime, &local) && LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(h, nullptr, nullptr, &utc);
    if (!CloseHandle(h)) return Status::WriteFailed;
    return Status::Ok;
}

bool isOwnFolder(HANDLE h, const WStr& folderFinal, const wchar_t* name) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (name == nullptr || isEntryItself(h, folderFinal, name));
}

// Creates the folders above `path` that are missing (server and share excepted).
void makeParents(const WStr& path) {
    WStr work(path);
    const wchar_t* p = work.c();
    std::size_t skip = 4;  // "\\?\"
    if (!wcsncmp(p + 4, L"UNC\\", 4)) {
        skip += 4;
        for (int parts = 0; skip < work.size() && parts < 2; ++skip) parts += p[skip] == L'\\';
    } else {
        skip += 2;  // "C:"
    }
    wchar_t* d = work.data();
    for (std::size_t i = skip + 1; i < work.size(); ++i) {
        if (d[i] != L'\\') continue;
        d[i] = 0;
        CreateDirectoryW(d, nullptr);
        d[i] = L'\\';
    }
}

const wchar_t kMarker[] = L"qelvaro-sfx.tag";
const wchar_t kPrefix[] = L"sfx-";
constexpr int kPrefixLen = 4;

bool hasMarker(const WStr& folder, const WStr& folderFinal) {
    WStr path(folder);
    path.add(L"\\").add(kMarker);
    HANDLE h = openEntry(path.c(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const bool ok = GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
                    !(tag.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
                    isEntryItself(h, folderFinal, kMarker);
    CloseHandle(h);
    return ok;
}

void writeMarker(const WStr& folder) {
    WStr path(folder);
    path.add(L"\\").add(kMarker);
    HANDLE h = CreateFileW(path.c(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    static const char kText[] =
        "Made by a Qelvaro self-extracting package. Each run unpacks into a new sfx-* folder here\r\n"
        "and removes those of earlier runs.\r\n";
    DWORD done = 0;
    WriteFile(h, kText, sizeof kText - 1, &done, nullptr);
    CloseHandle(h);
}

bool isOwnSubfolderName(const wchar_t* name) {
    if (wcsncmp(name, kPrefix, kPrefixLen) != 0 || wcslen(name) != kPrefixLen + 8) return false;
    for (const wchar_t* c = name + kPrefixLen; *c; ++c) {
        if (!((*c >= L'0' && *c <= L'9') || (*c >= L'a' && *c <= L'f'))) return false;
    }
    return true;
}

// The subfolders earlier runs left, removed as far as they can be: one a running copy
// still holds stays (its handle shares no deletion).
void removeEarlierRuns(const WStr& folder, const WStr& folderFinal) {
    if (!hasMarker(folder, folderFinal)) return;
    WStr pattern(folder);
    pattern.add(L"\\").add(kPrefix).add(L"*");
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileExW(pattern.c(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (isOwnSubfolderName(fd.cFileName)) removeTree(folder, folderFinal, fd.cFileName);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

// Where a run unpacks: a fresh subfolder of the unpack folder, made by this run (it
// did not exist before) and held open while the run lasts, so that it can be neither
// swapped for a link nor removed by another copy's clean-up.
struct UnpackPlace {
    HANDLE folder = INVALID_HANDLE_VALUE;  // the unpack folder of the settings
    WStr folderFinal;
    HANDLE own = INVALID_HANDLE_VALUE;  // the subfolder of this run
    WStr ownName;
    WStr ownFinal;
    ~UnpackPlace() { close(); }
    void close() {
        if (own != INVALID_HANDLE_VALUE) CloseHandle(own);
        if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
        own = folder = INVALID_HANDLE_VALUE;
    }
};

// Makes the unpack folder `root` when it is missing (with the marker), checks that it is
// a plain folder and not a link, removes earlier runs' subfolders, and makes this run's.
// Nothing that the stub did not make is emptied or deleted.
bool prepareFolder(const WStr& root, UnpackPlace& place) {
    if (CreateDirectoryW(root.c(), nullptr)) {
        writeMarker(root);
    } else if (GetLastError() == ERROR_PATH_NOT_FOUND) {
        makeParents(root);
        if (!CreateDirectoryW(root.c(), nullptr)) return false;
        writeMarker(root);
    }
    // The folder must be the one its parent holds under its name, not a link: Wine shows
    // a Unix link to a folder as a reparse point but opens its target all the same.
    std::size_t cut = root.size();
    while (cut > 0 && root.c()[cut - 1] != L'\\') --cut;
    WStr parent(root);
    parent.cut(cut);
    HANDLE above = CreateFileW(parent.c(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (above == INVALID_HANDLE_VALUE) return false;
    WStr aboveFinal = finalPath(above);
    CloseHandle(above);
    if (aboveFinal.size() > 0 && aboveFinal.c()[aboveFinal.size() - 1] == L'\\') aboveFinal.cut(aboveFinal.size() - 1);
    place.folder = openEntry(root.c(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (place.folder == INVALID_HANDLE_VALUE || !isOwnFolder(place.folder, aboveFinal, root.c() + cut)) return false;
    place.folderFinal = finalPath(place.folder);
    if (place.folderFinal.size() == 0) return false;
    removeEarlierRuns(root, place.folderFinal);

    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    std::uint32_t x = (GetCurrentProcessId() * 2654435761u) ^ GetTickCount() ^ counter.LowPart;
    for (int attempt = 0; attempt < 64; ++attempt) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        wchar_t name[16];
        wsprintfW(name, L"%s%08lx", kPrefix, static_cast<unsigned long>(x));
        WStr path(root);
        path.add(L"\\").add(name);
        // CreateDirectory fails on anything already there: nobody hands the run theirs.
        if (!CreateDirectoryW(path.c(), nullptr)) {
            if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
            return false;
        }
        place.own = openEntry(path.c(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (place.own == INVALID_HANDLE_VALUE || !isOwnFolder(place.own, place.folderFinal, name)) return false;
        place.ownName.add(name);
        place.ownFinal = finalPath(place.own);
        return place.ownFinal.size() > 0;
    }
    return false;
}

bool isAbsolute(const wchar_t* p) {
    return (p[0] && p[1] == L':' && p[2] == L'\\') || (p[0] == L'\\' && p[1] == L'\\');
}

// Expands the placeholders of a setting into wide text.
WStr expand(const char* text, const char* temp, const char* dir, bool quote) {
    const std::size_t need = expandPlaceholders(text, temp, dir, quote, nullptr, 0);
    char* buf = static_cast<char*>(std::malloc(need + 1));
    if (!buf) std::abort();
    expandPlaceholders(text, temp, dir, quote, buf, need + 1);
    WStr out;
    out.addUtf8(buf);
    std::free(buf);
    return out;
}

constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED

// A restore program that asks for administrator rights cannot be started by
// CreateProcess from a standard user's process (ERROR_ELEVATION_REQUIRED): the shell
// starts it with the elevation prompt instead. shell32 is loaded by its full path in
// System32, never searched for.
bool startThroughShell(const wchar_t* file, const wchar_t* params, const wchar_t* dir, HANDLE* process) {
    wchar_t path[MAX_PATH];
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n > MAX_PATH - 16) return false;
    lstrcatW(path, L"\\shell32.dll");
    HMODULE shell = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!shell) return false;
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    auto run = reinterpret_cast<ShellExecuteExFn>(reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteExW")));
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpVerb = L"runas";
    info.lpFile = file;
    info.lpParameters = params;
    info.lpDirectory = dir;
    info.nShow = SW_SHOWNORMAL;
    const bool started = run && run(&info) && info.hProcess;
    if (started) *process = info.hProcess;
    return started;
}

Outcome runProgram(const Settings& settings, const char* temp, const WStr& folder) {
    Outcome r;
    const char* bar = std::strchr(settings.run, '|');
    const std::size_t progLen = bar ? static_cast<std::size_t>(bar - settings.run) : std::strlen(settings.run);
    char* progText = static_cast<char*>(std::malloc(progLen + 1));
    if (!progText) std::abort();
    std::memcpy(progText, settings.run, progLen);
    progText[progLen] = 0;
    char* dir = toUtf8(folder.c());
    WStr prog = expand(progText, temp, dir, false);
    WStr params = expand(bar ? bar + 1 : "", temp, dir, true);
    std::free(progText);
    std::free(dir);
    if (prog.size() == 0) return r;
    // Never searched for: a relative name means the unpack folder.
    WStr full;
    if (isAbsolute(prog.c())) full.add(prog.c());
    else full.add(folder.c()).add(L"\\").add(prog.c());

    WStr commandLine;
    commandLine.add(L"\"").add(full.c()).add(L"\"");
    if (params.size()) commandLine.add(L" ").add(params.c());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const DWORD attrs = GetFileAttributesW(full.c());
    bool started = attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY) &&
                   CreateProcessW(full.c(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c(), &si, &pi);
    if (started) CloseHandle(pi.hThread);
    else if (GetLastError() == kElevationRequired)
        started = startThroughShell(full.c(), params.size() ? params.c() : nullptr, folder.c(), &pi.hProcess);
    if (!started) {
        r.code = kExitRunFailed;
        r.text = texts::kRunFailed;
        r.detail.add(full.c());
        return r;
    }
    if (settings.install) {
        // Install mode: the package ends when the restore program ends, with its code.
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        r.code = static_cast<int>(code);
    }
    CloseHandle(pi.hProcess);
    return r;
}

// Held by the one copy of a package that unpacks into, and runs from, a folder: a
// mutex of this session named after the folder's path (upper-cased, hashed). Windows
// releases it when the process ends, however it ends.
class FolderLock {
public:
    explicit FolderLock(const wchar_t* folder) {
        std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
        for (const wchar_t* p = folder; *p; ++p) {
            wchar_t c = *p;
            CharUpperBuffW(&c, 1);
            hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
        }
        wchar_t name[64];
        wsprintfW(name, L"Local\\QelvaroSfx.%08lx%08lx", static_cast<unsigned long>(hash >> 32),
                  static_cast<unsigned long>(hash & 0xFFFFFFFFu));
        // Only the rights the lock needs: a copy run as administrator made its mutex
        // for administrators, and asking for more would be refused where this much is
        // not needed.
        mutex_ = CreateMutexExW(nullptr, name, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
        if (!mutex_) {
            // Refused (another copy runs elevated) or taken by something else: busy.
            // Only a system out of resources lets the package go on without a lock.
            const DWORD e = GetLastError();
            unlocked_ = e == ERROR_NOT_ENOUGH_MEMORY || e == ERROR_NO_SYSTEM_RESOURCES || e == ERROR_OUTOFMEMORY ||
                        e == ERROR_COMMITMENT_LIMIT;
            return;
        }
        const DWORD waited = WaitForSingleObject(mutex_, 0);
        owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~FolderLock() {
        if (owned_) ReleaseMutex(mutex_);
        if (mutex_) CloseHandle(mutex_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool owned() const { return owned_ || unlocked_; }

private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
    bool unlocked_ = false;
};

Outcome unpackAndRun(const wchar_t* self, bool quiet, WStr& title) {
    Outcome r;
    HANDLE file = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        r.code = kExitDamaged;
        r.text = texts::kSelfUnreadable;
        r.detail.add(self);
        return r;
    }
    struct Close {
        HANDLE h;
        ~Close() {
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    } closeFile{file};
    HandleInput in(file);
    Archive archive;
    auto fail = [&r](Status s) -> Outcome& {
        r.code = exitFor(s);
        r.text = textFor(s);
        return r;
    };
    if (Status s = archive.open(in); s != Status::Ok) return fail(s);

    // The settings end right where the archive starts.
    Settings settings;
    const std::uint64_t start = archive.start();
    std::uint8_t trailer[kSettingsTrailerSize];
    if (start < kSettingsTrailerSize || !in.readAt(start - kSettingsTrailerSize, trailer, sizeof trailer))
        return fail(Status::Damaged);
    const std::uint32_t textLen = Settings::textLengthFromTrailer(trailer);
    const std::size_t block = textLen + kSettingsTrailerSize;
    if (textLen == 0 || start < block) return fail(Status::Damaged);
    auto* raw = static_cast<std::uint8_t*>(std::malloc(block));
    if (!raw) return fail(Status::NoMemory);
    const bool parsed = in.readAt(start - block, raw, block) && settings.parse(raw, block);
    std::free(raw);
    if (!parsed) return fail(Status::Damaged);
    if (settings.title[0]) {
        title.cut(0);
        title.addUtf8(settings.title);
    }

    if (settings.confirm[0] && !quiet) {
        WStr question;
        question.addUtf8(settings.confirm);
        if (MessageBoxW(nullptr, question.c(), title.c(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
            r.code = kExitCancelled;
            return r;
        }
    }

    if (unpackFolderProblem(settings.folder)) return fail(Status::Damaged);
    wchar_t tempBuf[MAX_PATH + 2] = {};
    DWORD tn = GetTempPathW(MAX_PATH + 1, tempBuf);
    while (tn > 0 && tempBuf[tn - 1] == L'\\') tempBuf[--tn] = 0;
    char* temp = toUtf8(tempBuf);
    WStr folder = expand(settings.folder, temp, "", false);
    while (folder.size() > 3 && folder.c()[folder.size() - 1] == L'\\') folder.cut(folder.size() - 1);
    if (!isAbsolute(folder.c())) {
        std::free(temp);
        return fail(Status::Damaged);
    }
    // A second copy started meanwhile (a double click too many) would start a second
    // restore program on the same drivers: it stops here.
    FolderLock lock(folder.c());
    if (!lock.owned()) {
        std::free(temp);
        r.code = kExitBusy;
        r.text = texts::kBusy;
        r.detail.add(folder.c());
        return r;
    }
    WStr root = longPath(folder.c());
    UnpackPlace place;
    if (!prepareFolder(root, place)) {
        std::free(temp);
        fail(Status::WriteFailed);
        r.detail.add(folder.c());
        return r;
    }
    WStr own(root);
    own.add(L"\\").add(place.ownName.c());
    folder.add(L"\\").add(place.ownName.c());
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < archive.count(); ++i) total += archive.entry(i).size;
    Status s = Status::Ok;
    {
        Progress progress(!quiet, title.c(), total);
        for (std::size_t i = 0; i < archive.count() && s == Status::Ok; ++i)
            s = writeEntry(archive, in, archive.entry(i), settings.password, own, place.ownFinal, progress);
    }
    if (s != Status::Ok) {
        // A package that did not unpack whole leaves nothing to install by mistake.
        CloseHandle(place.own);
        place.own = INVALID_HANDLE_VALUE;
        removeTree(root, place.folderFinal, place.ownName.c());
        std::free(temp);
        fail(s);
        if (s == Status::DiskFull || s == Status::WriteFailed) r.detail.add(folder.c());
        return r;
    }
    if (settings.done[0] && !quiet) {
        WStr doneText;
        doneText.addUtf8(settings.done);
        MessageBoxW(nullptr, doneText.c(), title.c(), MB_OK | MB_ICONINFORMATION);
    }
    // The restore program may run long: the package and the buffers go first.
    archive.close();
    CloseHandle(file);
    closeFile.h = INVALID_HANDLE_VALUE;
    Outcome ran = runProgram(settings, temp, folder);
    std::free(temp);
    r.code = ran.code;
    r.text = ran.text;
    r.detail.add(ran.detail.c());
    return r;
}

// "/q", "-q", "/quiet" or "-quiet" anywhere after the program's name.
bool quietSwitch(const wchar_t* cmd) {
    const wchar_t* p = cmd;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p) {
        while (*p == L' ' || *p == L'\t') ++p;
        const wchar_t* t = p;
        while (*p && *p != L' ' && *p != L'\t') ++p;
        const int n = static_cast<int>(p - t);
        if (n >= 2 && (t[0] == L'/' || t[0] == L'-')) {
            if ((n == 2 && (t[1] == L'q' || t[1] == L'Q')) ||
                (n == 6 && CompareStringOrdinal(t + 1, 5, L"quiet", 5, TRUE) == CSTR_EQUAL))
                return true;
        }
    }
    return false;
}

}  // namespace
}  // namespace qsfx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace qsfx;
    restrictDllSearch();
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const bool quiet = quietSwitch(GetCommandLineW());

    DWORD cap = MAX_PATH;
    wchar_t* self = nullptr;
    for (;;) {
        self = static_cast<wchar_t*>(std::realloc(self, cap * sizeof(wchar_t)));
        if (!self) return kExitNoMemory;
        const DWORD n = GetModuleFileNameW(nullptr, self, cap);
        if (n == 0) return kExitDamaged;
        if (n < cap) break;
        cap *= 2;
    }
    WStr title;
    title.addUtf8(texts::kTitle);
    Outcome r = unpackAndRun(self, quiet, title);
    std::free(self);
    if (r.text && !quiet) {
        WStr message;
        message.addUtf8(r.text).add(r.detail.c());
        MessageBoxW(nullptr, message.c(), title.c(), MB_OK | MB_ICONERROR);
    }
    return r.code;
}
