#pragma once
// The machine's native architecture, which decides an INF's decorated sections and
// whether drivers must be installed by a 64-bit process. A 32-bit process on 64-bit
// Windows (WOW64) asks the system, never its own build.

#include "inf_values.h"

namespace qelvaro {

// IsWow64Process2 where the system has it (Windows 10 1709 and later: tells ARM64
// apart), else IsWow64Process; the answer of a 64-bit build is its own.
MachineArch NativeMachineArch();

}  // namespace qelvaro
