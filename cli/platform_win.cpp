#include "commands.h"
#include <io.h>
#include <stdio.h>

#include "cmd_backup.h"
#include "driver_store_setupapi.h"
#include "md_folders.h"
#include "native_arch.h"
#include "md_resource.h"
#include "win32_file_system.h"
#include "win32_registry.h"

namespace qelvaro {
MachineArch DefaultMachineArch() { return NativeMachineArch(); }

std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<Win32FileSystem>(); }

int RunPlatformBackup(const Args& args, std::ostream& out, std::ostream& err) {
  const Win32Registry registry;
  const Win32SystemFolders folders;
  Win32FileSystem fs;
  const SetupApiDriverStoreLookup setupapi(folders);
  const RegistryDriverStoreLookup database(registry, folders);
  const ChainedDriverStoreLookup store({&setupapi, &database});
  BackupSystem system{registry, folders, fs, &store, NativeMachineArch()};
  system.sfxPayloads = [](std::string& setup, std::string& stub, std::string& icon) {
    std::uint32_t error = 0;
    return LoadOwnResource("SETUP.EXE", "CUSTOM", setup, error) && LoadOwnResource("SFX.BIN", "CUSTOM", stub, error) &&
           LoadOwnResource("ICON.ICO", "CUSTOM", icon, error);
  };
  return RunBackupCommand(args, system, out, err, _isatty(_fileno(stdout)) != 0);
}
}  // namespace qelvaro
