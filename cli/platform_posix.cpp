#include "commands.h"
#include "posix_file_system.h"

#include <unistd.h>

#include "cmd_restore.h"
#include "windows_tree_file_system.h"

namespace qelvaro {
MachineArch DefaultMachineArch() { return MachineArch::Amd64; }

std::unique_ptr<Registry> MakePlatformRegistry() { return nullptr; }

std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<PosixFileSystem>(); }

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
}  // namespace qelvaro
