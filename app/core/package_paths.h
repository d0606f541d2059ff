#pragma once
// Paths inside a driver package: where a file of the INF lies below the INF's folder.
// They come from the INF's text, so only paths that stay inside the package are
// accepted.

#include <optional>
#include <string>

namespace qelvaro {

// `diskPath` + `subdir` + `name` as one relative path, separators as "\", or none
// when the INF's text would leave the package: "..", a drive letter or any ":", a
// share ("\\server"), characters Windows refuses in names. One leading "\" means the
// distribution's root, the INF's own folder. The name may carry subfolders of its
// own (old INFs list "Sub\name.sys").
std::optional<std::string> SafeRelativePath(const std::string& diskPath, const std::string& subdir,
                                            const std::string& name);

}  // namespace qelvaro
