#pragma once
// `qelvaro backup --to DIR [--all] [--class NAME]...`: the driver inventory and the
// backup collector of the main window, without a window.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <ostream>

#include "commands.h"
#include "driver_store.h"
#include "file_system.h"
#include "registry.h"
#include "system_folders.h"

namespace qelvaro {

// The system whose drivers are backed up.
struct BackupSystem {
  const Registry& registry;
  const SystemFolders& folders;
  FileSystem& fs;
  const DriverStoreLookup* store;  // may be null
  MachineArch arch;  // the machine's native architecture; --arch overrides it
  // The path the zip component opens for a path of `fs`; unset when they are the same
  // (on Windows). An offline tree maps its Windows paths onto host folders.
  std::function<std::string(const std::string&)> zipPath = {};
  // The bytes a self-extracting package is built from (LoadSfxPayloads); unset where
  // the run offers none.
  std::function<bool(std::string& setup, std::string& stub, std::string& icon, std::string& why)> sfxPayloads = {};
  // How messages name a path of `fs` (the host path the user gave, for an offline
  // image on Linux); as it is when unset.
  std::function<std::string(const std::string&)> shownPath = {};
  // Names of device classes for the list; the class key's own values alone when unset.
  const ClassDescriptions* classDescriptions = nullptr;
  // The instance ids of the devices plugged in now, for --present-only; unset where
  // that is unknown (an offline image).
  std::function<std::optional<std::vector<std::string>>()> presentDevices = {};
  // The code page of the system's ANSI text files (GetACP, an image's ACP), which
  // backup.json records for the restore; 0 when unknown.
  unsigned ansiCodePage = 0;
};

// `--format zip` packs the backup root into DIR\Quorvak.zip and removes the root;
// `--format sfx` packs it with the restore program into the self-extracting
// DIR\Quorvak.exe. When packing fails the root stays, and the user is told where.
// 0 when every chosen driver was backed up whole (and packed), 1 when some driver or
// file was skipped, nothing was chosen, or packing failed; 2 for wrong arguments.
// `progressBar` draws the packing progress (for a terminal).
// The command's usage text, for the commands built on it.
std::string_view BackupUsage();

int RunBackupCommand(const Args& args, BackupSystem& system, std::ostream& out, std::ostream& err,
                     bool progressBar = false);

}  // namespace qelvaro
