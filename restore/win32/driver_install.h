#pragma once
// Installing one staged driver package in this process, through SetupAPI and
// newdev, both loaded from System32 only: the restore program runs from a temporary
// folder where a planted DLL of those names must never load.
//
// 64-bit Windows refuses driver installs from 32-bit processes (ERROR_IN_WOW64), so a
// 32-bit caller on 64-bit Windows goes through the 64-bit installer instead
// (win32_installer.h).

#include <windows.h>

#include <string>
#include <vector>

#include "restore_run.h"

namespace qelvaro::restore {

// Adds the INF to the driver store, then updates every present device whose hardware
// or compatible id is one of `deviceIds`. A device that already has an equal or
// better driver keeps it; the package is still in the store.
InstallOutcome InstallDriverHere(const std::wstring& infPath, const std::vector<std::string>& deviceIds);

// The system's text for a Win32 or SetupAPI error code, "" when it has none.
std::string SystemErrorText(unsigned long code);

}  // namespace qelvaro::restore
