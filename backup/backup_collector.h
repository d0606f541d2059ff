#pragma once
// Collects the files of each ticked driver into the backup folder layout:
//   backup root \ class name \ SafeDir(description) \ files
// (a second driver of the same description, with another INF, gets "description (oemN.inf)")
//
// A driver whose package the driver store holds is backed up as the store has it:
// the whole package folder, the INF under its own name, its catalog and every file
// at its place in the package. This is what Windows' own export does, and it
// restores by construction.
//
// A driver without a package (installed before the store existed, or a damaged
// store) is collected from where its install put each file: the INF from the INF
// folder (as oemN.inf), its catalog from CatRoot (under the oem INF's base name,
// then under its own name; saved under its own name), and each file the install
// section copies from the folder its file list was sent to, under its installed name;
// the older places (DefaultDestDir, the extension rule, the numbered printer folders,
// the top of the store package) follow. Files land flat, each under its source name,
// unless two would share a name: then the driver keeps the package layout.
//
// The INF is read as Windows reads it, for the machine's native architecture and
// the install section the driver key names (see inf_install_model.h).
//
// A driver is complete when its catalog and every file its install section copies
// are in the backup (an INF without an install section for the architecture needs
// every file its source-disk lists name). Files listed but never copied are taken
// when found and never make a driver incomplete. What cannot be backed up is named
// in the result, with the places looked in; the run goes on.

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "driver_store.h"
#include "file_system.h"
#include "inf_backup_view.h"
#include "inf_install_model.h"
#include "installed_signatures.h"
#include "related_packages.h"
#include "system_folders.h"

namespace qelvaro {

// The three cells of a driver row that the backup reads.
struct DriverRow {
  std::string description;  // becomes the driver folder's name, through SafeDir
  std::string className;    // the class folder's name, unchanged; empty puts the driver in the root
  std::string infName;      // the INF's name in the INF folder ("oem3.inf")
  // The install section the driver key names (InfSection, with InfSectionExt
  // appended); empty when unknown, and then every model's section counts.
  std::string installSection = {};
  // The hardware and compatible ids of the devices the driver serves (MatchingDeviceId
  // first); extension packages for the same devices are backed up with it.
  std::vector<std::string> deviceIds = {};
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
  LinkFolder,     // the backup root, class or driver folder is a link or junction
};

struct CollectedFile {
  std::string name;    // the name in the driver folder
  std::string source;  // where it was copied from
  std::string sha256;  // of the bytes written, taken while copying
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
  // Files the INF lists but the install never copies, found nowhere: not needed.
  std::vector<MissingFile> notNeeded;
  std::string package;  // the driver store folder the package was copied from, if it was
  // For an extension or software-component package: the description of the driver it
  // was backed up with (it is no row of its own).
  std::string relatedTo;
  // Who signed the installed package, from the catalog it was installed with: what
  // Windows will check when the backup is restored (a driver that was not backed up
  // has none).
  std::optional<PackageSignature> signature;

  bool skipped() const { return skip != DriverSkip::None; }
  // One line naming the driver (description and INF) and what went wrong; empty
  // when nothing did.
  std::string problem() const;
};

struct BackupResult {
  std::string root;
  // The ticked rows, in row order, each followed by the extension and
  // software-component packages backed up with it.
  std::vector<DriverReport> drivers;

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
  // After each ticked row, and after each package backed up with it.
  virtual void driverDone(const DriverReport& report) {}
};

class BackupCollector {
 public:
  // `store` may be null: then no driver-store lookup is made. `arch` is the machine's
  // native architecture, which picks the INFs' decorated sections.
  BackupCollector(const SystemFolders& folders, FileSystem& fs, const DriverStoreLookup* store, MachineArch arch)
      : folders_(folders), fs_(fs), store_(store), arch_(arch), related_(fs, folders, arch),
        signatures_(fs, folders, store, arch) {}

  // Backs up every ticked row into `backupRoot` (see BackupRoot). An existing root
  // is reused: files of the same name are replaced, others stay.
  BackupResult run(const DriverRowSource& rows, const std::string& backupRoot, BackupSink& sink);

  // Backs up one driver (without the packages that go with it).
  DriverReport collect(const DriverRow& driver, const std::string& backupRoot, BackupSink& sink);

 private:
  bool makeFolder(const std::string& path, DriverReport& report, bool& created);
  // The extension and software-component packages of a driver just backed up, each
  // into its own class and driver folder, once per run.
  void collectRelated(const DriverRow& base, std::size_t row, const std::string& backupRoot, BackupSink& sink,
                      BackupResult& result);
  // Copies the store package; false (with nothing reported) when it holds no INF of
  // the package's name, so that the driver is collected from its installed files.
  bool copyPackage(const std::string& package, const std::string& installSection, DriverReport& report,
                   BackupSink& sink);
  void collectInstalled(const std::string& installSection, const std::optional<std::string>& package,
                        DriverReport& report);
  // Makes the folders of `relative` below the driver folder; false (the file named as
  // skipped) when one cannot be made or is a link.
  bool makeSubfolders(const std::string& relative, const std::string& source, DriverReport& report);
  // The catalog from CatRoot, saved as `saveAs` in the driver folder.
  void copyCatalog(const std::string& catalog, const std::string& saveAs, DriverReport& report);
  // The places an install put `file`, then the older places: in the order they are
  // tried (best first), and in the order the report names them.
  struct Places {
    std::vector<std::string> tryOrder;
    std::vector<std::string> searched;
  };
  Places installedPlaces(const InfFile& file, const InfDestination& dest,
                                           const std::optional<std::string>& package,
                                           const std::vector<bool>& versionFolders) const;
  // Those of `paths` that exist, each once, in the same order.
  std::vector<std::string> existing(const std::vector<std::string>& paths, AttrMask mask) const;
  // Which numbered version folders (1 to 19) the printer-driver folder holds, when the
  // INF's files go there; all false otherwise.
  std::vector<bool> versionFoldersFor(const InfDestination& dest) const;
  // Copies the first of `found` that copies to `name` in the driver folder; names
  // the file as skipped (with the first failure) when none does.
  void copyFirstThatCopies(const std::vector<std::string>& found, const std::string& name, DriverReport& report);

  // The first spelling of a folder below the root (lower-cased key), so that names
  // differing only in case land in one folder, as on Windows.
  std::string spelled(const std::string& relative);
  std::unordered_map<std::string, std::string> spellings_;
  // The driver folder's name below `className` for a driver named `name` whose INF is
  // `infName`: `name`, unless a driver of another INF has that folder already; then
  // "name (infName)".
  std::string driverFolder(const std::string& className, const std::string& name, const std::string& infName);
  std::unordered_map<std::string, std::string> folderOwners_;  // lower-cased folder -> lower-cased INF name

  const SystemFolders& folders_;
  FileSystem& fs_;
  const DriverStoreLookup* store_;
  MachineArch arch_;
  RelatedPackages related_;
  InstalledSignatures signatures_;
  std::unordered_set<std::string> collectedInfs_;  // lower-cased INF names backed up in this run
  std::vector<std::string> components_;  // the software components the last driver's install adds
};

}  // namespace qelvaro
