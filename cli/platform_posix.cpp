#include "commands.h"
#include "posix_file_system.h"

namespace qelvaro {
MachineArch DefaultMachineArch() { return MachineArch::Amd64; }

std::unique_ptr<Registry> MakePlatformRegistry() { return nullptr; }

std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<PosixFileSystem>(); }

int RunPlatformBackup(const Args&, std::ostream&, std::ostream& err) {
  err << "qelvaro backup: this build has no Windows registry to read; run qelvaro.exe on the Windows system\n";
  return 2;
}
}  // namespace qelvaro
