#include "commands.h"
#include <io.h>
#include <stdio.h>

#include "cmd_backup.h"
#include "driver_store_setupapi.h"
#include "md_folders.h"
#include "native_arch.h"
#include "win32_file_system.h"
#include "win32_registry.h"

namespace qelvaro {
MachineArch DefaultMachineArch() { return NativeMachineArch(); }

std::unique_ptr<Registry> MakePlatformRegistry() { return std::make_unique<Win32Registry>(); }

std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<Win32FileSystem>(); }

int RunPlatformBackup(const Args& args, std::ostream& out, std::ostream& err) {
  const Win32Registry registry;
  const Win32SystemFolders folders;
  Win32FileSystem fs;
  const SetupApiDriverStoreLookup setupapi(folders);
  const RegistryDriverStoreLookup database(registry, folders);
  const ChainedDriverStoreLookup store({&setupapi, &database});
  BackupSystem system{registry, folders, fs, &store, NativeMachineArch()};
  return RunBackupCommand(args, system, out, err, _isatty(_fileno(stdout)) != 0);
}
}  // namespace qelvaro
