#include "class_descriptions_win.h"
#include "commands.h"
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <stdio.h>

#include "cmd_backup.h"
#include "cmd_restore.h"
#include "cmd_verify.h"
#include "device_list.h"
#include "driver_install.h"
#include "native_arch.h"
#include "win32_installer.h"
#include "base/win32/system_dll.h"
#include "base/win32/wide_string.h"
#include "driver_store_setupapi.h"
#include "running_signatures.h"
#include "md_folders.h"
#include "native_arch.h"
#include "md_resource.h"
#include "win32_file_system.h"
#include "win32_registry.h"

namespace qelvaro {
MachineArch DefaultMachineArch() { return NativeMachineArch(); }

std::unique_ptr<Registry> MakePlatformRegistry() { return std::make_unique<Win32Registry>(); }

std::unique_ptr<ClassDescriptions> MakePlatformClassDescriptions() {
  return std::make_unique<Win32ClassDescriptions>();
}

std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<Win32FileSystem>(); }

bool LoadSfxPayloads(std::string& setup, std::string& stub, std::string& icon, std::string& why) {
  std::uint32_t error = 0;
  if (LoadOwnResource("SETUP.EXE", "CUSTOM", setup, error) && LoadOwnResource("SFX.BIN", "CUSTOM", stub, error) &&
      LoadOwnResource("ICON.ICO", "CUSTOM", icon, error)) {
    return true;
  }
  why = "this build carries no self-extractor";
  return false;
}

std::optional<std::vector<std::string>> PresentDeviceInstances() {
  std::vector<std::string> present;
  for (const restore::PcDevice& d : restore::ListPcDevices()) {
    if (d.present) present.push_back(d.instanceId);
  }
  // None listed means SetupAPI could not tell, not that every device is gone.
  if (present.empty()) return std::nullopt;
  return present;
}

SignatureOfInf MakePlatformSignatures() {
  auto running = std::make_shared<RunningSystemSignatures>();
  return [running](const std::string& infName) { return running->signatures.of(infName); };
}

int RunPlatformBackup(const Args& args, std::ostream& out, std::ostream& err) {
  const Win32Registry registry;
  const Win32SystemFolders folders;
  Win32FileSystem fs;
  const SetupApiDriverStoreLookup setupapi(folders);
  const DatabaseOrSearchLookup database(registry, fs, folders, NativeMachineArch());
  const ChainedDriverStoreLookup store({&setupapi, &database});
  BackupSystem system{registry, folders, fs, &store, NativeMachineArch()};
  system.ansiCodePage = GetACP();
  const Win32ClassDescriptions classes;
  system.classDescriptions = &classes;
  system.sfxPayloads = LoadSfxPayloads;
  system.presentDevices = PresentDeviceInstances;
  return RunBackupCommand(args, system, out, err, _isatty(_fileno(stdout)) != 0);
}

int RunPlatformRestore(const Args& args, std::ostream& out, std::ostream& err) {
  base::RestrictDllSearch();
  Win32FileSystem fs;
  const bool dryRun = std::find(args.begin(), args.end(), "--dry-run") != args.end();
  const restore::InstallRoute route = restore::CurrentInstallRoute();
  std::wstring runFolder;
  if (!dryRun && !restore::ProcessIsElevated()) {
    // Windows would refuse every driver with "access denied"; say it once instead.
    err << "qelvaro restore: installing drivers needs administrator rights; run it from an elevated "
           "command prompt (or check with --dry-run)\n";
    return 1;
  }
  if (!dryRun && route != restore::InstallRoute::Unsupported) {
    runFolder = restore::MakeRunFolder();
    if (runFolder.empty()) {
      err << "qelvaro restore: cannot make a temporary folder for the driver packages\n";
      return 1;
    }
  }
  int code = 1;
  {
    restore::Win32DriverInstaller installer(runFolder);
    RestoreSystem system{fs, NativeMachineArch(), runFolder.empty() ? nullptr : &installer, base::narrow(runFolder),
                         "Windows on ARM64 is not supported yet"};
    system.listDevices = restore::ListPcDevices;
    code = RunRestoreCommand(args, system, out, err);
  }
  restore::RemoveRunFolder(runFolder);
  return code;
}
int RunPlatformVerify(const Args& args, std::ostream& out, std::ostream& err) {
  Win32FileSystem fs;
  return RunVerifyCommand(args, fs, nullptr, OpenArchiveInput, out, err);
}

}  // namespace qelvaro
