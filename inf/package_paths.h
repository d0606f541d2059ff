#pragma once
// Paths inside a driver package: where a file of the INF lies below the INF's folder.
// They come from the INF's text, so only paths that stay inside the package are
// accepted.

#include <optional>
#include <string>
#include <string_view>

namespace qelvaro {

// `diskPath` + `subdir` + `name` as one relative path, separators as "\", or none
// when the INF's text would leave the package: "..", a drive letter or any ":", a
// share ("\\server"), characters Windows refuses in names. One leading "\" means the
// distribution's root, the INF's own folder. The name may carry subfolders of its
// own (old INFs list "Sub\name.sys").
std::optional<std::string> SafeRelativePath(const std::string& diskPath, const std::string& subdir,
                                            const std::string& name);

// True for a name Windows can hold as one file or folder: not empty, no character
// it refuses (controls, < > : " / \ | ? *), no trailing dot or blank (Windows drops
// them), and not a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without
// an extension), which opens the device instead of a file.
bool IsWindowsFileName(std::string_view name);

// True for a name that stands for one entry of a folder: not empty, not "." or "..",
// and without "\", "/" or ":" (a drive, or a stream of another file).
bool IsPlainEntryName(const std::string& name);

// `name` made into a folder name Windows can hold: trailing dots and blanks removed,
// a device name (and an empty result) prefixed with "_". Characters Windows refuses
// are left to SafeDir.
std::string WindowsFolderName(std::string name);

}  // namespace qelvaro
