// Exit codes of the self-extractor stub (what a quiet run reports instead of a message).
#pragma once

namespace qsfx {

enum ExitCode : int {
    kExitOk = 0,  // in install mode: the exit code of the program started after unpacking
    kExitCancelled = 1,
    kExitDamaged = 2,
    kExitWrongPassword = 3,
    kExitUnsafeName = 4,
    kExitUnsupported = 5,
    kExitDiskFull = 6,
    kExitWriteFailed = 7,
    kExitNoMemory = 8,
    kExitRunFailed = 9,
    kExitBusy = 10,  // another copy is unpacking into, or running from, the same folder
};

}  // namespace qsfx
