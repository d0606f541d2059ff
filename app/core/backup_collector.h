#pragma once
// Collects the files of each ticked driver into the backup folder layout:
//   backup root \ class name \ SafeDir(description) \ files, flat
// The INF is copied from the INF folder and read from the copy; its catalog is
// searched in the subfolders of System32\CatRoot; each file of its source-disk list
// is searched through the default destination directory and the extension rule and,
// when none of those hold it, in the driver's package folder in the driver store.
//
// The INF is read as Windows reads it, for the machine's native architecture (see
// inf_backup_view.h): files listed only for other architectures are not looked for.
//
// A driver that cannot be backed up (no INF, a folder that cannot be made), a file
// that cannot be copied and a file that is found nowhere are named in the result,
// with the places looked in; the run goes on.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "driver_store.h"
#include "file_system.h"
#include "inf_backup_view.h"
#include "system_folders.h"

namespace qelvaro {

// The three cells of a driver row that the backup reads.
struct DriverRow {
  std::string description;  // becomes the driver folder's name, through SafeDir
  std::string className;    // the class folder's name, unchanged; empty puts the driver in the root
  std::string infName;      // the INF's name in the INF folder ("oem3.inf")
};

// The rows to back up. Tick states are asked for when the run reaches a row, since
// the user may still change them while the run goes on.
class DriverRowSource {
 public:
  virtual ~DriverRowSource() = default;
  virtual std::size_t rowCount() const = 0;
  virtual bool rowTicked(std::size_t row) const = 0;
  virtual DriverRow rowAt(std::size_t row) const = 0;
};

enum class DriverSkip {
  None,
  NoInfName,      // the row names no INF
  InfNotFound,    // the INF is not in the INF folder
  InfNotCopied,   // the INF is there but could not be copied
  FolderFailed,   // the backup root, class or driver folder could not be made
  UnsafeName,     // the class, description or INF cannot be used as a folder or file name
};

struct CollectedFile {
  std::string name;    // the name in the driver folder
  std::string source;  // where it was copied from
};

struct SkippedFile {
  std::string name;
  std::string source;  // empty when the name itself was refused
  FsResult reason;
};

// A file the INF names (its catalog or a source file) that is in none of the places
// where it would have been installed.
struct MissingFile {
  std::string name;
  std::vector<std::string> searched;  // the places looked in, in order
};

struct DriverReport {
  std::size_t row = 0;
  DriverRow driver;
  std::string folder;  // the driver folder
  DriverSkip skip = DriverSkip::None;
  FsResult skipReason;     // the file system's reason, when it gave one
  std::string skipPath;    // the folder or file the skip is about
  std::vector<CollectedFile> copied;  // in copy order; the INF first
  std::vector<SkippedFile> skippedFiles;
  std::vector<MissingFile> missing;

  bool skipped() const { return skip != DriverSkip::None; }
  // One line naming the driver (description and INF) and what went wrong; empty
  // when nothing did.
  std::string problem() const;
};

struct BackupResult {
  std::string root;
  std::vector<DriverReport> drivers;  // the ticked rows, in row order

  std::size_t skippedDrivers() const;
  std::size_t skippedFiles() const;  // in drivers that were not skipped as a whole
  std::size_t missingFiles() const;  // likewise
  // True when every ticked driver was backed up with every file its INF names.
  bool complete() const { return skippedDrivers() == 0 && skippedFiles() == 0 && missingFiles() == 0; }
};

// What the run tells its host while it goes.
class BackupSink {
 public:
  virtual ~BackupSink() = default;
  // After each INF copy: a window host lets pending messages run.
  virtual void letMessagesRun() {}
  // After each row, ticked or not; `fraction` is BackupProgress(row, rowCount).
  virtual void rowDone(std::size_t row, std::size_t rowCount, double fraction) {}
  // After each ticked row.
  virtual void driverDone(const DriverReport& report) {}
};

class BackupCollector {
 public:
  // `store` may be null: then no driver-store lookup is made. `arch` is the machine's
  // native architecture, which picks the INFs' decorated sections.
  BackupCollector(const SystemFolders& folders, FileSystem& fs, const DriverStoreLookup* store, MachineArch arch)
      : folders_(folders), fs_(fs), store_(store), arch_(arch) {}

  // Backs up every ticked row into `backupRoot` (see BackupRoot). An existing root
  // is reused: files of the same name are replaced, others stay.
  BackupResult run(const DriverRowSource& rows, const std::string& backupRoot, BackupSink& sink);

  // Backs up one driver.
  DriverReport collect(const DriverRow& driver, const std::string& backupRoot, BackupSink& sink);

 private:
  bool makeFolder(const std::string& path, DriverReport& report, bool& created);
  void copyCatalog(const std::string& catalog, DriverReport& report);
  void copySourceFile(const std::string& key, const InfDestination& dest, DriverReport& report,
                      std::optional<std::optional<std::string>>& packageFolder,
                      const std::vector<bool>& versionFolders);
  // Which numbered version folders (1 to 19) the printer-driver folder holds, when the
  // INF's files go there; all false otherwise.
  std::vector<bool> versionFoldersFor(const InfDestination& dest) const;
  // Copies the first of `found` that copies; names the file as skipped (with the
  // first failure) when none does.
  void copyFirstThatCopies(const std::vector<std::string>& found, const std::string& name, DriverReport& report);

  const SystemFolders& folders_;
  FileSystem& fs_;
  const DriverStoreLookup* store_;
  MachineArch arch_;
};

}  // namespace qelvaro
