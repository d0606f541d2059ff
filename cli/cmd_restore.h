#pragma once
// `qelvaro restore FOLDER [--all | --driver TEXT]... [--dry-run] [--json] [--arch A]`:
// the drivers of a backup put back, one line (or JSON object) per driver.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "commands.h"
#include "device_match.h"
#include "file_system.h"
#include "restore_run.h"

namespace qelvaro {

struct RestoreSystem {
  FileSystem& fs;
  MachineArch arch;                       // the machine's; `--arch` may name another for a dry run
  restore::DriverInstaller* installer;    // null where drivers cannot be installed
  std::string stagingRoot;                // a fresh folder of this run; a subfolder per driver
  std::string cannotInstall;              // why drivers cannot be installed here, when they cannot
  // The path of `fs` for a folder given on the command line.
  std::string folderPath(const std::string& argument) const { return toFsPath ? toFsPath(argument) : argument; }
  std::string (*toFsPath)(const std::string&) = nullptr;
  // The devices of this PC, for `--matching` and the matched device of each driver;
  // unset where there is no running Windows to ask.
  std::function<std::vector<restore::PcDevice>()> listDevices = {};
};

// 0 when every chosen driver was installed or staged (or, with --dry-run, is complete),
// 3010 when a restart is needed, 1 when any failed, 2 for wrong arguments.
int RunRestoreCommand(const Args& args, RestoreSystem& system, std::ostream& out, std::ostream& err);

}  // namespace qelvaro
