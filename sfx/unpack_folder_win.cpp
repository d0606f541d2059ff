#include "sfx/unpack_folder_win.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/win32/final_path.h"

namespace qsfx {
namespace {

// An entry opened as itself: a symbolic link or junction as the link, never its target.
HANDLE openEntry(const wchar_t* path, DWORD access, DWORD share) {
    return CreateFileW(path, access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// True when the opened entry is the one its folder (final path `folderFinal`) holds under
// `name`, never a Unix link that Wine opened as its target.
bool isEntryItself(HANDLE h, const WStr& folderFinal, const wchar_t* name) {
    return qelvaro::base::IsEntryItself(h, folderFinal.c(), static_cast<DWORD>(folderFinal.size()), name);
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


}  // namespace

WStr finalPath(HANDLE h) {
    WStr out;
    DWORD n = 0;
    wchar_t* path = qelvaro::base::FinalPathOf(h, n);
    if (path) out.add(path, n);
    std::free(path);
    return out;
}

// The entry `name` of `folder`, removed with what it holds (see the header).
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


namespace {

bool isPlainFolder(const wchar_t* path) {
    const DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}


}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace qsfx
