#pragma once
// The stub's unpack folder and what it deletes. It unpacks below a fixed, guessable place
// (the temporary folder), so every decision is taken on handles opened on the entries
// themselves: nothing it did not make is emptied or deleted, nothing through a link.

#include <windows.h>

#include <cstddef>

#include "sfx/wide_buffer_win.h"

namespace qsfx {

// The path of an open file or folder as Windows resolves it ("\\\\?\\C:\\..."); empty
// when it cannot be read.
WStr finalPath(HANDLE h);

// Removes `name` in the folder `folder` (final path `folderFinal`) with everything in
// it, deciding on handles only: each entry is opened as itself and deleted through that
// handle only when it is the entry the folder holds under its name. A link or junction
// shown as one is removed as a link, its target never entered; an entry that opens as
// something else (a Unix link under Wine) is left, and nothing is deleted through it.
// Best effort: false when anything stayed.
bool removeTree(const WStr& folder, const WStr& folderFinal, const wchar_t* name);

// Creates the folders of `path` below `rootLen` characters (the last one too when
// `includeLast`), refusing any that turns out to be a link.
bool makeFolders(WStr& path, std::size_t rootLen, bool includeLast);

// True when `path` lies below `folder` (both final paths, compared without case).
bool startsWithFolder(const WStr& path, const WStr& folder);

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
bool prepareFolder(const WStr& root, UnpackPlace& place);

}  // namespace qsfx
