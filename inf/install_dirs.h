#pragma once
// Where an install put a file: the folder an INF directory id names on an installed
// Windows of a given architecture. The architecture is the driver's (the machine's
// native one), never the backup program's: a 32-bit program on 64-bit Windows sees
// Program Files (x86) and SysWOW64 under the names of the 64-bit folders, and the
// files of a 64-bit driver are in the 64-bit ones.

#include <string>

#include "inf_values.h"
#include "system_folders.h"

namespace qelvaro {

// The folder for `dirId` (as the INF writes it, "16422"), with `subdir` below it
// when given; empty for an id that names no fixed folder of the system: 01 (the
// source), -1 (an absolute path), 13 (the driver store package, which the caller
// knows), 53 (a user's profile), and ids Windows does not define.
std::string InstallDirFolder(const std::string& dirId, const std::string& subdir, MachineArch arch,
                             const SystemFolders& folders);

}  // namespace qelvaro
