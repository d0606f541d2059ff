#pragma once
// Who signed each driver of the running Windows: its registry, folders and file system,
// its driver store as SetupAPI and the driver database find packages, and the
// signature of each INF, each checked once for the life of the object (a list shown
// again, with the other filter, checks nothing twice).

#include "driver_store.h"
#include "driver_store_setupapi.h"
#include "installed_signatures.h"
#include "md_folders.h"
#include "native_arch.h"
#include "win32_file_system.h"
#include "win32_registry.h"

namespace qelvaro {

struct RunningSystemSignatures {
  Win32Registry registry;
  Win32SystemFolders folders;
  Win32FileSystem fs;
  SetupApiDriverStoreLookup setupapi{folders};
  DatabaseOrSearchLookup database{registry, fs, folders, NativeMachineArch()};
  ChainedDriverStoreLookup store{{&setupapi, &database}};
  InstalledSignatures signatures{fs, folders, &store, NativeMachineArch()};
};

}  // namespace qelvaro
