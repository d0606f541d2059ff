#pragma once
// Windows' own verdict on a staged driver package: WinVerifyTrust with the driver
// signing policy (DRIVER_ACTION_VERIFY) on the package's catalog, member by member,
// through wintrust.dll loaded from System32 (setup.exe runs elevated from a folder
// where a planted copy must never load). Each member is named by the hash the restore
// took as it staged the file, so no file is read again.

#include <optional>
#include <string>
#include <vector>

#include "restore_run.h"

namespace qelvaro::restore {

// The first member Windows refuses, with its code (0 and no file when it accepts them
// all); none when wintrust.dll or its entry point cannot be loaded.
std::optional<WindowsTrust> AskWindowsTrust(const std::string& stagedCatalog, const std::vector<TrustMember>& members);

}  // namespace qelvaro::restore
