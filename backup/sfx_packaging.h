#pragma once
// Packs a backup root into one self-extracting program: the stub, then the root's files
// (the restore program among them) encrypted with the package password. Run, the
// package unpacks into "%t\_sfxDriverSetup" without asking and starts the restore
// program there with that folder. The files that went in are deleted once the package
// is complete; nothing is deleted when it fails.
//
// The password is fixed and written into every package for its stub: it keeps the
// drivers out of casual view in an archive tool, and protects nothing.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zip_packaging.h"
#include "zipcomp/wait_host.h"

namespace qelvaro {

inline constexpr char kPackagePassword[] = "qorvantelbrix";
inline constexpr char kSfxUnpackFolder[] = "%t\\_sfxDriverSetup";
inline constexpr char kSfxRunAfter[] = "%d\\setup.exe|%d";

// The settings of a package: `stub` and `icon` are the files it is built from (the
// icon may be empty to keep the stub's own).
PackSettings SfxPackSettings(const std::string& folder, const std::string& exeFile, const std::string& stub,
                             const std::string& icon);

// Progress, waiting and the runner as for PackBackupAsZip.
ZipOutcome PackBackupAsSfx(const std::string& folder, const std::string& exeFile, const std::string& stub,
                           const std::string& icon, const BytesPercent& bytesPercent,
                           std::shared_ptr<zipcomp::WaitHost> waitHost, const ZipRunner& runner = {});

}  // namespace qelvaro
