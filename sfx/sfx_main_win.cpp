// The self-extractor stub: a package is this program followed by its settings and a
// zip archive. Run, it unpacks the archive into its unpack folder without asking and
// starts the program its settings name. It runs from download folders and unpacks below
// a fixed, guessable place, so it loads system DLLs only, trusts no entry name, unpacks
// into a fresh folder of its own, deletes nothing it did not make and nothing through a
// link, and starts the program by its full path.

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "base/win32/system_dll.h"
#include "sfx/folder_lock_win.h"
#include "sfx/launch_win.h"
#include "sfx/progress_window_win.h"
#include "sfx_format/sfx_archive.h"
#include "sfx/sfx_exit_codes.h"
#include "sfx_format/sfx_handle_input_win.h"
#include "sfx_format/sfx_settings.h"
#include "sfx/sfx_texts.h"
#include "sfx/unpack_folder_win.h"

namespace qsfx {
namespace {

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
    case Status::DuplicateName: return kExitDamaged;
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
    case Status::DuplicateName: return texts::kDamaged;
    }
    return texts::kDamaged;
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
        if (err == ERROR_FILE_EXISTS) return Status::DuplicateName;
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
    Status s = archive.checkPassword(in, settings.password);
    if (s == Status::Ok) {
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
    // Before anything can load a DLL from the program's folder (a download folder
    // holds whatever else was downloaded).
    qelvaro::base::RestrictDllSearch();
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
