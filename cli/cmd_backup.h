#pragma once
// `qelvaro backup --to DIR [--all] [--class NAME]...`: the driver inventory and the
// backup collector of the main window, without a window.

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
};

// 0 when every chosen driver was backed up whole, 1 when some driver or file was
// skipped (or no driver was chosen), 2 for wrong arguments.
int RunBackupCommand(const Args& args, BackupSystem& system, std::ostream& out, std::ostream& err);

}  // namespace qelvaro
