#pragma once
// Finding the drivers of a backup and rebuilding, for one of them, the package
// layout its INF expects. A backup keeps each driver's files flat in one folder:
//   root \ class folder \ driver folder \ files
// while an INF may look for its files in subfolders (the disk's path and the file's
// subfolder). The layout is rebuilt in a fresh staging folder, and only paths that
// stay inside it are accepted from an INF.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "file_hashes.h"
#include "file_system.h"
#include "package_paths.h"
#include "restore_inf.h"

namespace qelvaro::restore {

struct FoundDriver {
  std::string classFolder;   // the class folder's name ("" for a driver folder at the top)
  std::string driverFolder;  // the driver folder's name
  std::string folder;        // the driver folder's path
  std::string infName;       // the INF's name in it
  // Why the INF must not be opened at all ("" when it may): a name such as AUX.inf
  // opens the device on Windows and under Wine, not the file.
  std::string refused;
  // A link (symbolic link or junction) met at this driver's level of the backup or
  // below its folder, relative to the backup's root ("Net\\Evil"); "" when none. Such a
  // driver is never read or restored: the link may lead anywhere. A driver folder
  // that is itself a link is found with no INF (`infName` empty).
  std::string link;
  std::string infPath() const { return folder + "\\" + infName; }
  // Where the INF sits in the backup, as a person reads it: "class\\driver\\x.inf".
  std::string location() const;
};

// The INF files of every driver folder below `root` (root\class\driver\*.inf, and
// root\driver\*.inf), sorted by class, driver folder and INF name. Folders that
// cannot be listed are named in `problems` ("path: reason"); `root` itself failing
// gives its reason. Links are never followed: a class or driver folder that is one is
// a driver of its own with `link` set, and so is each INF of a folder with a link below.
struct DriverSearch {
  FsResult result;
  std::vector<FoundDriver> drivers;
  std::vector<std::string> problems;
};
DriverSearch FindDrivers(const FileSystem& fs, const std::string& root);

using qelvaro::IsWindowsFileName;
using qelvaro::SafeRelativePath;

struct StagedFile {
  std::string from;      // path in the backup
  std::string relative;  // path below the staging folder
};

struct LayoutPlan {
  std::vector<StagedFile> copies;     // the INF first, then the catalog, then the files
  std::vector<std::string> missing;   // needed files not in the backup, by name
  std::vector<std::string> unsafe;    // INF texts refused as paths
  std::vector<std::string> badNames;  // paths with a part Windows cannot create or open as a file
  bool complete() const { return missing.empty() && unsafe.empty() && badNames.empty(); }
};

// Where every file goes, looked up in the driver folder without regard to case
// (flat first; a folder that already has the layout is taken as it is).
LayoutPlan PlanLayout(const FileSystem& fs, const FoundDriver& driver, const InfPackage& package);

// Copies the plan into `stagingDir` (which must exist and be empty), making the
// folders it needs, each file created new, and hashes each file as its bytes pass, in
// that one read: its SHA-256 for the checksum list and the hashes its catalog names.
// Those are of what the installer will read, whatever happens to the backup meanwhile.
// The INF and the catalog at the top of the package are kept whole as they pass too:
// the signature check reads them. Stops at the first failure, naming the path.
struct StageResult {
  FsResult result;
  std::string failedPath;
  std::vector<std::string> sha256;  // of each copy of the plan, in its order (lower-case hex)
  std::vector<FileHashes> hashes;   // the same copies' hashes
  // The bytes of the *.inf and *.cat copies directly in the package, by their path there.
  std::map<std::string, std::string> kept;
};
StageResult StageLayout(FileSystem& fs, const LayoutPlan& plan, const std::string& stagingDir);

// The same hashes of the plan's files read where they are in the backup, staging
// nothing: a dry run's check, and setup.exe's look at each driver before a run.
StageResult HashLayout(const FileSystem& fs, const LayoutPlan& plan);

}  // namespace qelvaro::restore
