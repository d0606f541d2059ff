#pragma once
// The subcommands of the `qelvaro` command line. Each takes the arguments after its
// name and returns the process exit code: 0 success, 1 some input failed, 2 usage.

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "driver_inventory.h"
#include "file_system.h"
#include "inf_values.h"
#include "package_signature.h"
#include "registry.h"

namespace qelvaro {

using Args = std::vector<std::string>;

// The platform's file system: Win32 on Windows, POSIX natively.
std::unique_ptr<FileSystem> MakePlatformFileSystem();

// The architecture whose decorated INF sections are read when none is asked for: the
// running machine's on Windows; amd64 elsewhere (an offline image is most likely a
// 64-bit Windows).
MachineArch DefaultMachineArch();

// The running system's registry; null where there is none (natively on Linux).
std::unique_ptr<Registry> MakePlatformRegistry();
// The running system's names for device classes; null where there is no running Windows.
std::unique_ptr<ClassDescriptions> MakePlatformClassDescriptions();

// Who signed each of the running system's drivers, by its INF's name in the INF
// folder; unset where there is no running Windows (natively on Linux).
using SignatureOfInf = std::function<PackageSignature(const std::string& infName)>;
SignatureOfInf MakePlatformSignatures();

// The instance ids of the devices plugged in now; none where there is no running
// Windows to ask (natively on Linux).
std::optional<std::vector<std::string>> PresentDeviceInstances();

// `backup` on the running system: the Windows build only, for now.
int RunPlatformBackup(const Args& args, std::ostream& out, std::ostream& err);

// What a self-extracting package is built from: the restore program, the stub and the
// package icon (left empty to keep the stub's own). The Windows build carries them; on
// Linux they come from a Windows build, from the folder named by the environment
// variable QELVARO_SFX_PAYLOADS. False with `why` saying how to get them.
bool LoadSfxPayloads(std::string& setup, std::string& stub, std::string& icon, std::string& why);

// `restore` with the platform's file system and installer (dry runs only, natively).
int RunPlatformRestore(const Args& args, std::ostream& out, std::ostream& err);

int RunInfCommand(const Args& args, const FileSystem& fs, std::ostream& out, std::ostream& err);

// Dispatches argv (without the program name).
int RunCommandLine(const Args& args, std::ostream& out, std::ostream& err);

// The program around RunCommandLine on std::cout and std::cerr: whatever escapes a
// command ends it with a message and a failure code, never with an abort that prints
// nothing, and output that never reached its reader is a failure.
int RunProgram(const Args& args);

// The exit code when memory ran out: Windows' ERROR_OUTOFMEMORY, apart from every
// code a command gives (0 to 3, 3010) and from a package's own 2 to 10, so that a
// script never reads it as a mismatch or a failed driver.
constexpr int kExitOutOfMemory = 14;

}  // namespace qelvaro
