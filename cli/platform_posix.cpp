#include "commands.h"
#include "posix_file_system.h"

#include <unistd.h>

#include <cstdlib>

#include "cmd_restore.h"
#include "cmd_verify.h"
#include "windows_tree_file_system.h"

namespace qelvaro {
MachineArch DefaultMachineArch() { return MachineArch::Amd64; }

std::unique_ptr<Registry> MakePlatformRegistry() { return nullptr; }

std::unique_ptr<ClassDescriptions> MakePlatformClassDescriptions() { return nullptr; }

std::optional<std::vector<std::string>> PresentDeviceInstances() { return std::nullopt; }

SignatureOfInf MakePlatformSignatures() { return {}; }

std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<PosixFileSystem>(); }

// The Windows build's payloads (build/win32/generated/payloads). The icon stays the
// stub's own: resources of a Windows program are not written here.
bool LoadSfxPayloads(std::string& setup, std::string& stub, std::string& icon, std::string& why) {
  const char* folder = std::getenv("QELVARO_SFX_PAYLOADS");
  if (!folder || !*folder) {
    why = "a self-extracting package needs the Windows build's restore program and stub: set "
          "QELVARO_SFX_PAYLOADS to the folder that holds its setup.exe and sfx.bin "
          "(build/win32/generated/payloads)";
    return false;
  }
  const PosixFileSystem fs;
  const std::string base = std::string(folder) + "/";
  const auto setupBytes = fs.readFile(base + "setup.exe");
  const auto stubBytes = fs.readFile(base + "sfx.bin");
  if (!setupBytes || !stubBytes || setupBytes->rfind("MZ", 0) != 0 || stubBytes->rfind("MZ", 0) != 0) {
    why = "QELVARO_SFX_PAYLOADS (" + std::string(folder) + ") holds no Windows setup.exe and sfx.bin";
    return false;
  }
  setup = *setupBytes;
  stub = *stubBytes;
  icon.clear();
  return true;
}

int RunPlatformBackup(const Args&, std::ostream&, std::ostream& err) {
  err << "qelvaro backup: this build has no Windows registry to read; run qelvaro.exe on the Windows system\n";
  return 2;
}

namespace {
// A host path as the Windows path of a tree whose drive Z is "/" (as under Wine).
std::string hostToTreePath(const std::string& host) {
  std::string path = host;
  if (path.empty() || path.front() != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
  }
  std::string out = "Z:";
  for (char c : path) out.push_back(c == '/' ? '\\' : c);
  return out;
}
}  // namespace

int RunPlatformRestore(const Args& args, std::ostream& out, std::ostream& err) {
  WindowsTreeFileSystem fs;
  if (auto error = fs.mapDrive('Z', "/")) {
    err << "qelvaro restore: " << *error << "\n";
    return 1;
  }
  RestoreSystem system{fs, MachineArch::Amd64, nullptr, "",
                       "drivers are installed by qelvaro.exe on Windows; this build checks them with --dry-run"};
  system.toFsPath = hostToTreePath;
  return RunRestoreCommand(args, system, out, err);
}

int RunPlatformVerify(const Args& args, std::ostream& out, std::ostream& err) {
  WindowsTreeFileSystem fs;
  if (auto error = fs.mapDrive('Z', "/")) {
    err << "qelvaro verify: " << *error << "\n";
    return kVerifyNotABackup;
  }
  const auto open = [&fs](const std::string& path, FsResult& why) {
    return OpenArchiveInput(fs.hostPath(path).value_or(path), why);
  };
  return RunVerifyCommand(args, fs, hostToTreePath, open, out, err);
}
}  // namespace qelvaro
