#pragma once
// The backup root below the folder the user chose, and its removal after packaging.

#include <cstddef>
#include <optional>
#include <string>

#include "file_system.h"

namespace qelvaro {

// The chosen folder followed by "Quorvak" when it already ends with "\" (a drive
// root such as "D:\"), by "\Quorvak" otherwise.
std::string BackupRoot(const std::string& chosenFolder);

// A fresh folder beside `root` to collect a backup that is then packed
// ("<root>.collect-1a2b3c4d"): made by this call, never one that was there, so that
// the packing and the deletion after it touch only what this run collected (files
// a user keeps in an existing Quorvak folder, or an image's own, stay untouched).
// None, with the reason, when no such folder can be made.
std::optional<std::string> MakeCollectingFolder(FileSystem& fs, const std::string& root, FsResult& failure);

// A fresh folder "<prefix>1a2b3c4d" made by this call (creation fails on anything
// already there, so nobody hands us theirs). None, with the reason, when none can be made.
std::optional<std::string> MakeFreshFolder(FileSystem& fs, const std::string& prefix, FsResult& failure);

// Deletes the folder `Path` with everything in it (read-only files too). Goes on past
// what it cannot delete and reports the first failure, so that the caller can tell
// the user what is left behind.
FsResult DeleteDir(const std::string& Path, FileSystem& fs);

// How full the progress picture is after row `row` of `rowCount` (0 to 1). The last
// row fills it, also when it is the only one.
double BackupProgress(std::size_t row, std::size_t rowCount);

}  // namespace qelvaro
