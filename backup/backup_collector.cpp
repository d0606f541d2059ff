#include "backup_collector.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "backup_root.h"
#include "folder_ids.h"
#include "install_dirs.h"
#include "md_ini_inf.h"
#include "package_paths.h"
#include "source_search.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

std::string driverName(const DriverRow& driver) {
  return "\"" + driver.description + "\" (" + (driver.infName.empty() ? "no INF" : driver.infName) + ")";
}

}  // namespace

std::string DriverReport::problem() const {
  const std::string who = driverName(driver) + ": ";
  switch (skip) {
    case DriverSkip::NoInfName:
      return who + "the driver names no INF file";
    case DriverSkip::InfNotFound:
      return who + "INF file not found: " + skipPath;
    case DriverSkip::InfNotCopied:
      return who + "cannot copy " + skipPath + ": " + skipReason.describe();
    case DriverSkip::FolderFailed:
      return who + "cannot create folder " + skipPath + ": " + skipReason.describe();
    case DriverSkip::UnsafeName:
      return who + "\"" + skipPath + "\" cannot be used as a folder or file name";
    case DriverSkip::LinkFolder:
      return who + "the folder " + skipPath + " is a link or junction; nothing is written through it";
    case DriverSkip::None:
      break;
  }
  if (skippedFiles.empty() && missing.empty()) return {};
  std::string text = who;
  if (!skippedFiles.empty()) {
    text += std::to_string(skippedFiles.size()) + (skippedFiles.size() == 1 ? " file" : " files") + " not copied:";
    for (std::size_t i = 0; i < skippedFiles.size(); ++i) {
      const SkippedFile& f = skippedFiles[i];
      text += (i ? ", " : " ") + f.name + " (" +
              (f.source.empty() ? std::string("name cannot be used") : f.reason.describe()) + ")";
    }
  }
  if (!missing.empty()) {
    if (!skippedFiles.empty()) text += "; ";
    text += std::to_string(missing.size()) + (missing.size() == 1 ? " file" : " files") + " not found:";
    for (std::size_t i = 0; i < missing.size(); ++i) text += (i ? ", " : " ") + missing[i].name;
  }
  return text;
}

std::size_t BackupResult::skippedDrivers() const {
  std::size_t n = 0;
  for (const auto& d : drivers) n += d.skipped() ? 1 : 0;
  return n;
}

std::size_t BackupResult::skippedFiles() const {
  std::size_t n = 0;
  for (const auto& d : drivers) n += d.skipped() ? 0 : d.skippedFiles.size();
  return n;
}

std::size_t BackupResult::missingFiles() const {
  std::size_t n = 0;
  for (const auto& d : drivers) n += d.skipped() ? 0 : d.missing.size();
  return n;
}

std::string BackupCollector::spelled(const std::string& relative) {
  return spellings_.try_emplace(asciiLowerCopy(relative), relative).first->second;
}

std::string BackupCollector::driverFolder(const std::string& className, const std::string& name,
                                          const std::string& infName) {
  // Two adapters of one model on two driver versions share their description; in one
  // folder the later package would overwrite the earlier one. A folder belongs to the
  // first INF that lands in it (rows of one INF, two devices on one driver, share it);
  // another INF gets its own name added, which no other driver has.
  const std::string inf = asciiLowerCopy(infName);
  std::string candidate = name;
  for (std::size_t n = 1;; ++n) {
    const auto [owner, added] = folderOwners_.try_emplace(asciiLowerCopy(className + "\\" + candidate), inf);
    if (added || owner->second == inf) return spelled(className + "\\" + candidate).substr(className.size() + 1);
    candidate = name + " (" + infName + (n == 1 ? "" : " " + std::to_string(n)) + ")";
  }
}

BackupResult BackupCollector::run(const DriverRowSource& rows, const std::string& backupRoot, BackupSink& sink) {
  spellings_.clear();
  folderOwners_.clear();
  collectedInfs_.clear();
  BackupResult result;
  result.root = backupRoot;
  const std::size_t count = rows.rowCount();
  for (std::size_t row = 0; row < count; ++row) {
    if (rows.rowTicked(row)) {
      const DriverRow driver = rows.rowAt(row);
      DriverReport report = collect(driver, backupRoot, sink);
      report.row = row;
      if (!report.skipped()) report.signature = signatures_.of(driver.infName);
      collectedInfs_.insert(asciiLowerCopy(driver.infName));
      const bool backedUp = !report.skipped();
      sink.driverDone(report);
      result.drivers.push_back(std::move(report));
      if (backedUp) collectRelated(driver, row, backupRoot, sink, result);
    }
    sink.rowDone(row, count, BackupProgress(row, count));
  }
  return result;
}

void BackupCollector::collectRelated(const DriverRow& base, std::size_t row, const std::string& backupRoot,
                                     BackupSink& sink, BackupResult& result) {
  // Two devices of one kind share their extension: it is backed up once.
  for (const RelatedPackage& p : related_.find(base.deviceIds, components_)) {
    if (!collectedInfs_.insert(asciiLowerCopy(p.infName)).second) continue;
    DriverReport report = collect(DriverRow{p.description, p.className, p.infName}, backupRoot, sink);
    report.row = row;
    report.relatedTo = base.description;
    if (!report.skipped()) report.signature = signatures_.of(p.infName);
    sink.driverDone(report);
    result.drivers.push_back(std::move(report));
  }
}

bool BackupCollector::makeFolder(const std::string& path, DriverReport& report, bool& created) {
  created = false;
  if (fs_.isLink(path)) {
    report.skip = DriverSkip::LinkFolder;
    report.skipPath = path;
    return false;
  }
  if (fs_.exists(path, AttrMask::Folder)) return true;
  const FsResult r = fs_.createDir(path);
  if (r) {
    created = true;
    return true;
  }
  report.skip = DriverSkip::FolderFailed;
  report.skipReason = r;
  report.skipPath = path;
  return false;
}

DriverReport BackupCollector::collect(const DriverRow& driver, const std::string& backupRoot, BackupSink& sink) {
  DriverReport report;
  report.driver = driver;
  components_.clear();
  if (driver.infName.empty()) {
    report.skip = DriverSkip::NoInfName;
    return report;
  }
  // These names come from the registry; one holding "\" or ".." would put files
  // outside the backup root.
  const std::string folderName = SafeDir(driver.description);
  for (const std::string* name : {&driver.infName, &driver.className, &folderName}) {
    const bool mayBeEmpty = name != &driver.infName;
    if ((mayBeEmpty && name->empty()) || (IsPlainEntryName(*name) && (mayBeEmpty || IsWindowsFileName(*name)))) {
      continue;
    }
    report.skip = DriverSkip::UnsafeName;
    report.skipPath = *name;
    return report;
  }

  // Folder names Windows can hold, the same on every target: a description ending in a
  // blank or dot, or a class named like a device ("AUX"), would otherwise make folders
  // that the package's own unpacking refuses. Names that differ only in case are one
  // folder on Windows, so the first spelling is kept for the others.
  const std::string className = spelled(driver.className.empty() ? "" : WindowsFolderName(driver.className));
  const std::string classFolder = backupRoot + "\\" + className;
  report.folder = classFolder + "\\" + driverFolder(className, WindowsFolderName(folderName), driver.infName);
  bool rootCreated = false, classCreated = false, driverCreated = false;
  if (!makeFolder(backupRoot, report, rootCreated) || !makeFolder(classFolder, report, classCreated) ||
      !makeFolder(report.folder, report, driverCreated)) {
    return report;
  }

  const std::optional<std::string> package = store_ ? store_->packageFolder(driver.infName) : std::nullopt;
  if (package && copyPackage(*package, driver.installSection, report, sink)) return report;

  const std::string infSource = InfDir(folders_) + "\\" + driver.infName;
  const std::string infCopy = report.folder + "\\" + driver.infName;
  std::string infSum;
  if (const FsResult r = fs_.copyFileHashed(infSource, infCopy, infSum); !r) {
    report.skip = r.error() == FsError::NotFound ? DriverSkip::InfNotFound : DriverSkip::InfNotCopied;
    report.skipReason = r;
    report.skipPath = infSource;
    // Leave no empty folders behind for a driver that is not in the backup.
    if (driverCreated) (void)fs_.deleteTree(report.folder);
    if (classCreated) (void)fs_.deleteTree(classFolder);
    if (rootCreated) (void)fs_.deleteTree(backupRoot);
    return report;
  }
  report.copied.push_back({driver.infName, infSource, std::move(infSum)});
  sink.letMessagesRun();
  collectInstalled(driver.installSection, package, report);
  return report;
}

namespace {

// The files an install needs: those its install section copies; for an INF without
// an install section for the architecture, every file its source-disk lists name.
bool needed(const InfInstallModel& model, const InfFile& file) {
  return model.installSections.empty() ? file.listed : file.copied;
}

// A relative path Windows can hold, each part of it.
bool windowsPath(const std::string& relative) {
  for (std::size_t start = 0;;) {
    const auto sep = relative.find('\\', start);
    if (!IsWindowsFileName(std::string_view(relative).substr(start, sep == std::string::npos ? sep : sep - start))) {
      return false;
    }
    if (sep == std::string::npos) return true;
    start = sep + 1;
  }
}

}  // namespace

bool BackupCollector::copyPackage(const std::string& package, const std::string& installSection,
                                  DriverReport& report, BackupSink& sink) {
  const auto infName = PackageInfName(package.substr(package.find_last_of('\\') + 1));
  if (!infName) return false;
  // Every file of the package, at its place below the package folder.
  std::vector<std::string> files, folders;
  std::string infRelative;
  std::vector<std::string> pending{""};
  while (!pending.empty()) {
    const std::string relative = std::move(pending.back());
    pending.pop_back();
    const DirListing listing = fs_.listDir(relative.empty() ? package : package + "\\" + relative);
    if (!listing.result) {
      if (relative.empty()) return false;
      report.skippedFiles.push_back({relative, package + "\\" + relative, listing.result});
      continue;
    }
    for (const DirEntry& e : listing.entries) {
      const std::string path = relative.empty() ? e.name : relative + "\\" + e.name;
      if (e.kind == EntryKind::Folder) {
        folders.push_back(path);
        pending.push_back(path);
      } else {
        files.push_back(path);
        if (relative.empty() && iequalsAscii(e.name, *infName)) infRelative = path;
      }
    }
  }
  if (infRelative.empty()) return false;

  report.package = package;
  std::sort(folders.begin(), folders.end());  // parents before their subfolders
  std::vector<std::string> refused;  // folders of the backup that are links: nothing goes below them
  const auto below = [&](const std::string& file) {
    for (const std::string& folder : refused) {
      if (file.size() > folder.size() && file.compare(0, folder.size(), folder) == 0 && file[folder.size()] == '\\') {
        return true;
      }
    }
    return false;
  };
  for (const std::string& f : folders) {
    if (below(f)) continue;
    if (fs_.isLink(report.folder + "\\" + f)) {
      refused.push_back(f);
      report.skippedFiles.push_back({f, package + "\\" + f, FsResult::Failure(FsError::AccessDenied)});
    } else if (const FsResult r = fs_.createDir(report.folder + "\\" + f); !r) {
      report.skippedFiles.push_back({f, package + "\\" + f, r});
    }
  }
  // The INF first: the report lists it first, as for every driver.
  std::stable_partition(files.begin(), files.end(), [&](const std::string& f) { return f == infRelative; });
  std::unordered_set<std::string> present;  // lower-cased relative paths now in the backup
  for (const std::string& f : files) {
    const std::string from = package + "\\" + f;
    if (below(f)) {
      report.skippedFiles.push_back({f, from, FsResult::Failure(FsError::AccessDenied)});
      continue;
    }
    // Names Windows cannot hold, or two that differ only in case (possible in an image
    // read on Linux), would break the package where it is unpacked.
    if (!windowsPath(f) || present.count(asciiLowerCopy(f))) {
      report.skippedFiles.push_back({f, "", FsResult::Failure(FsError::BadName)});
      continue;
    }
    std::string sum;
    if (const FsResult r = fs_.copyFileHashed(from, report.folder + "\\" + f, sum); !r) {
      report.skippedFiles.push_back({f, from, r});
      continue;
    }
    report.copied.push_back({f, from, std::move(sum)});
    present.insert(asciiLowerCopy(f));
    sink.letMessagesRun();
  }

  // What the install needs must be in the package; a damaged store may have lost a
  // file, which the places it was installed to may still hold.
  const IniDocument doc = LoadIniFile(report.folder + "\\" + infRelative, fs_).value_or(IniDocument{});
  const InfInstallModel model = ReadInfInstallModel(doc, arch_, installSection);
  components_ = model.componentIds;
  const InfDestination& dest = model.defaultDestination;
  if (!model.catalog.empty() && IsPlainEntryName(model.catalog) && !present.count(asciiLowerCopy(model.catalog))) {
    copyCatalog(model.catalog, model.catalog, report);
  }
  const std::vector<bool> noVersionFolders(20, false);
  for (const InfFile& file : model.files) {
    if (!needed(model, file)) continue;
    const auto relative = SafeRelativePath(file.diskPath, file.subdir, file.name);
    if (!relative) {
      report.skippedFiles.push_back({file.name, "", FsResult::Failure(FsError::BadName)});
      continue;
    }
    if (present.count(asciiLowerCopy(*relative))) continue;
    Places places = installedPlaces(file, dest, std::nullopt, noVersionFolders);
    std::vector<std::string> found = existing(places.tryOrder, AttrMask::System);
    std::vector<std::string>& searched = places.searched;
    searched.insert(searched.begin(), package + "\\" + *relative);
    if (found.empty()) {
      report.missing.push_back({*relative, std::move(searched)});
      continue;
    }
    // Its folder in the package may be missing too.
    if (makeSubfolders(*relative, found.front(), report)) copyFirstThatCopies(found, *relative, report);
  }
  return true;
}

bool BackupCollector::makeSubfolders(const std::string& relative, const std::string& source, DriverReport& report) {
  std::string folder = report.folder;
  for (std::size_t start = 0, sep; (sep = relative.find('\\', start)) != std::string::npos; start = sep + 1) {
    folder += "\\" + relative.substr(start, sep - start);
    FsResult r;
    if (fs_.isLink(folder)) r = FsResult::Failure(FsError::AccessDenied);
    else r = fs_.createDir(folder);
    if (!r) {
      report.skippedFiles.push_back({relative, source, r});
      return false;
    }
  }
  return true;
}

void BackupCollector::collectInstalled(const std::string& installSection, const std::optional<std::string>& package,
                                       DriverReport& report) {
  // Everything below reads the copy, never the INF folder: the copy is what the
  // backup holds. The INF is read once; it does not change while it is read.
  const std::string infCopy = report.folder + "\\" + report.driver.infName;
  const IniDocument doc = LoadIniFile(infCopy, fs_).value_or(IniDocument{});
  const InfInstallModel model = ReadInfInstallModel(doc, arch_, installSection);
  components_ = model.componentIds;
  const InfDestination& dest = model.defaultDestination;
  if (!model.catalog.empty()) copyCatalog(model.catalog, model.catalog, report);

  // Flat, each file under its source name, unless two files the driver needs would
  // share a name there (an x86 and an amd64 file of one name): then every file keeps
  // its place in the package, which the restore takes as it is.
  bool keepLayout = false;
  std::unordered_map<std::string, std::string> flatNames;  // lower-cased name -> layout path
  for (const InfFile& file : model.files) {
    if (!needed(model, file)) continue;
    const auto relative = SafeRelativePath(file.diskPath, file.subdir, file.name);
    if (!relative) continue;
    const auto [it, added] = flatNames.emplace(asciiLowerCopy(file.name), asciiLowerCopy(*relative));
    if (!IsPlainEntryName(file.name) || (!added && it->second != asciiLowerCopy(*relative))) keepLayout = true;
  }

  const std::vector<bool> versionFolders = versionFoldersFor(dest);
  for (const InfFile& file : model.files) {
    std::string target = file.name;
    if (keepLayout) {
      const auto relative = SafeRelativePath(file.diskPath, file.subdir, file.name);
      if (relative) target = *relative;
    }
    if (!keepLayout ? !IsPlainEntryName(target) : !SafeRelativePath("", "", target)) {
      report.skippedFiles.push_back({file.name, "", FsResult::Failure(FsError::BadName)});
      continue;
    }
    Places places = installedPlaces(file, dest, package, versionFolders);
    const std::vector<std::string> found = existing(places.tryOrder, AttrMask::Plain);
    if (found.empty()) {
      (needed(model, file) ? report.missing : report.notNeeded).push_back({target, std::move(places.searched)});
      continue;
    }
    if (makeSubfolders(target, found.front(), report)) copyFirstThatCopies(found, target, report);
  }
}

void BackupCollector::copyCatalog(const std::string& catalog, const std::string& saveAs, DriverReport& report) {
  if (!IsPlainEntryName(catalog)) {
    report.skippedFiles.push_back({catalog, "", FsResult::Failure(FsError::BadName)});
    return;
  }
  // Windows installs a package's catalog under the oem INF's base name
  // (oem12.cat for oem12.inf); the catalog's own name is the older rule.
  std::vector<std::string> names;
  const std::string& inf = report.driver.infName;
  const auto dot = inf.find_last_of('.');
  if (dot != std::string::npos && dot > 0 && iequalsAscii(inf.substr(dot), ".inf")) {
    names.push_back(inf.substr(0, dot) + ".cat");
  }
  if (names.empty() || !iequalsAscii(names.front(), catalog)) names.push_back(catalog);
  const std::string catRoot = folders_.systemDir() + "\\CatRoot";
  const DirListing listing = fs_.listDir(catRoot);  // no catalog root: no catalog
  std::vector<std::string> searched;
  for (const std::string& name : names) {
    // Each find would replace the previous copy, so the last one is the copy to make;
    // the earlier ones stand in when it cannot be copied.
    std::vector<std::string> found;
    for (const DirEntry& entry : listing.entries) {
      if (!AttrMaskAdmits(AttrMask::Folder, entry.kind, entry.hidden, entry.system)) continue;
      std::string candidate = catRoot + "\\" + entry.name + "\\" + name;
      if (fs_.exists(candidate, AttrMask::System)) found.insert(found.begin(), std::move(candidate));
    }
    searched.push_back(catRoot + "\\*\\" + name);
    if (!found.empty()) {
      copyFirstThatCopies(found, saveAs, report);
      return;
    }
  }
  report.missing.push_back({saveAs, std::move(searched)});
}

std::vector<bool> BackupCollector::versionFoldersFor(const InfDestination& dest) const {
  std::vector<bool> present(20, false);
  if (dest.dirId.empty() || DestinationFolder(dest, folders_) != PrinterDriverDir(folders_)) return present;
  // Any folder counts, hidden or system too: the file test inside it does not look at
  // the folder's attributes.
  for (const DirEntry& entry : fs_.listDir(PrinterDriverDir(folders_)).entries) {
    if (entry.kind != EntryKind::Folder) continue;
    for (int n = 1; n <= 19; ++n) {
      if (entry.name == std::to_string(n)) present[static_cast<std::size_t>(n)] = true;
    }
  }
  return present;
}

BackupCollector::Places BackupCollector::installedPlaces(const InfFile& file, const InfDestination& dest,
                                                         const std::optional<std::string>& package,
                                                         const std::vector<bool>& versionFolders) const {
  Places places;
  // Where the install section sent it, under the name it was installed as.
  for (const InfCopy& copy : file.copies) {
    std::string path;
    if (copy.dirId == "13") {  // runs from the driver store: the file stays in the package
      if (!package) continue;
      path = *package + "\\" + SafeRelativePath(file.diskPath, file.subdir, file.name).value_or(file.name);
    } else {
      const std::string folder = InstallDirFolder(copy.dirId, copy.subdir, arch_, folders_);
      if (folder.empty() || !IsPlainEntryName(copy.installedName)) continue;
      path = folder + "\\" + copy.installedName;
    }
    places.searched.push_back(path);
    places.tryOrder.push_back(std::move(path));
  }
  if (!IsPlainEntryName(file.name)) return places;
  // The older places, under the source name. Later finds replaced earlier copies
  // there, so they are tried from the last one back. A numbered version folder that
  // is not there holds nothing: printer drivers would otherwise cost 19 lookups per file.
  const SourceFileLookup lookup = SourceFileCandidates(file.name, dest, folders_);
  const std::size_t older = places.searched.size();
  for (std::size_t i = lookup.candidates.size(); i-- > 0;) {
    const int version = lookup.versionFolder[i];
    if (version > 0 && !versionFolders[static_cast<std::size_t>(version)]) continue;
    places.searched.insert(places.searched.begin() + static_cast<std::ptrdiff_t>(older), lookup.candidates[i]);
    places.tryOrder.push_back(lookup.candidates[i]);
  }
  if (package) {
    places.searched.push_back(*package + "\\" + file.name);
    places.tryOrder.push_back(places.searched.back());
  }
  return places;
}

std::vector<std::string> BackupCollector::existing(const std::vector<std::string>& paths, AttrMask mask) const {
  std::vector<std::string> found;
  for (const std::string& p : paths) {
    bool seen = false;
    for (const std::string& f : found) seen = seen || iequalsAscii(f, p);
    if (!seen && fs_.exists(p, mask)) found.push_back(p);
  }
  return found;
}

void BackupCollector::copyFirstThatCopies(const std::vector<std::string>& found, const std::string& name,
                                          DriverReport& report) {
  if (!windowsPath(name)) {
    report.skippedFiles.push_back({name, "", FsResult::Failure(FsError::BadName)});
    return;
  }
  std::optional<SkippedFile> first;
  for (const std::string& source : found) {
    std::string sum;
    const FsResult r = fs_.copyFileHashed(source, report.folder + "\\" + name, sum);
    if (r) {
      report.copied.push_back({name, source, std::move(sum)});
      return;
    }
    if (!first) first = SkippedFile{name, source, r};
  }
  report.skippedFiles.push_back(*first);
}

}  // namespace qelvaro
