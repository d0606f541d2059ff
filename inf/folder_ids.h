#pragma once
// INF directory ids and driver folder names.

#include <string>

#include "system_folders.h"

namespace qelvaro {

// The folder for an INF directory id, compared as text exactly as the INF gives it
// ("12" matches, "012", " 12" and "12,drivers" do not). Empty for an id the table
// does not map to a folder.
std::string WhereIsDir(const std::string& DirId, const SystemFolders& folders);

// `Name` with each of \ / * : ; ? > < | replaced by a space; same length.
std::string SafeDir(const std::string& Name);

// The Windows INF folder: the Windows directory followed by "\inf".
std::string InfDir(const SystemFolders& folders);

}  // namespace qelvaro
