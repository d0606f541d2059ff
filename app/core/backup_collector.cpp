#include "backup_collector.h"

#include <optional>

#include "backup_root.h"
#include "folder_ids.h"
#include "md_ini_inf.h"
#include "source_search.h"

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

BackupResult BackupCollector::run(const DriverRowSource& rows, const std::string& backupRoot, BackupSink& sink) {
  BackupResult result;
  result.root = backupRoot;
  const std::size_t count = rows.rowCount();
  for (std::size_t row = 0; row < count; ++row) {
    if (rows.rowTicked(row)) {
      DriverReport report = collect(rows.rowAt(row), backupRoot, sink);
      report.row = row;
      sink.driverDone(report);
      result.drivers.push_back(std::move(report));
    }
    sink.rowDone(row, count, BackupProgress(row, count));
  }
  return result;
}

bool BackupCollector::makeFolder(const std::string& path, DriverReport& report, bool& created) {
  created = false;
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
  if (driver.infName.empty()) {
    report.skip = DriverSkip::NoInfName;
    return report;
  }
  // These names come from the registry; one holding "\" or ".." would put files
  // outside the backup root.
  const std::string folderName = SafeDir(driver.description);
  for (const std::string* name : {&driver.infName, &driver.className, &folderName}) {
    const bool mayBeEmpty = name != &driver.infName;
    if ((mayBeEmpty && name->empty()) || IsPlainEntryName(*name)) continue;
    report.skip = DriverSkip::UnsafeName;
    report.skipPath = *name;
    return report;
  }

  const std::string classFolder = backupRoot + "\\" + driver.className;
  report.folder = classFolder + "\\" + folderName;
  bool rootCreated = false, classCreated = false, driverCreated = false;
  if (!makeFolder(backupRoot, report, rootCreated) || !makeFolder(classFolder, report, classCreated) ||
      !makeFolder(report.folder, report, driverCreated)) {
    return report;
  }

  const std::string infSource = InfDir(folders_) + "\\" + driver.infName;
  const std::string infCopy = report.folder + "\\" + driver.infName;
  if (const FsResult r = fs_.copyFile(infSource, infCopy); !r) {
    report.skip = r.error() == FsError::NotFound ? DriverSkip::InfNotFound : DriverSkip::InfNotCopied;
    report.skipReason = r;
    report.skipPath = infSource;
    // Leave no empty folders behind for a driver that is not in the backup.
    if (driverCreated) (void)fs_.deleteTree(report.folder);
    if (classCreated) (void)fs_.deleteTree(classFolder);
    if (rootCreated) (void)fs_.deleteTree(backupRoot);
    return report;
  }
  report.copied.push_back({driver.infName, infSource});
  sink.letMessagesRun();

  // Everything below reads the copy, never the INF folder: the copy is what the
  // backup holds. The INF is read once; it does not change while it is read.
  const IniDocument doc = LoadIniFile(infCopy, fs_).value_or(IniDocument{});
  const InfBackupView inf = ReadInfForBackup(doc, arch_);
  if (!inf.catalog.empty()) copyCatalog(inf.catalog, report);

  std::optional<std::optional<std::string>> packageFolder;  // looked up once, when first needed
  const std::vector<bool> versionFolders = versionFoldersFor(inf.destination);
  for (const std::string& key : inf.sourceFiles) {
    copySourceFile(key, inf.destination, report, packageFolder, versionFolders);
  }
  return report;
}

void BackupCollector::copyCatalog(const std::string& catalog, DriverReport& report) {
  if (!IsPlainEntryName(catalog)) {
    report.skippedFiles.push_back({catalog, "", FsResult::Failure(FsError::BadName)});
    return;
  }
  const std::string catRoot = folders_.systemDir() + "\\CatRoot";
  const DirListing listing = fs_.listDir(catRoot);  // no catalog root: no catalog
  // Each find would replace the previous copy, so the last one is the copy to make;
  // the earlier ones stand in when it cannot be copied.
  std::vector<std::string> found;
  for (const DirEntry& entry : listing.entries) {
    if (!AttrMaskAdmits(AttrMask::Folder, entry.kind, entry.hidden, entry.system)) continue;
    std::string candidate = catRoot + "\\" + entry.name + "\\" + catalog;
    if (fs_.exists(candidate, AttrMask::System)) found.insert(found.begin(), std::move(candidate));
  }
  if (found.empty()) {
    report.missing.push_back({catalog, {catRoot + "\\*\\" + catalog}});
    return;
  }
  copyFirstThatCopies(found, catalog, report);
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

void BackupCollector::copySourceFile(const std::string& key, const InfDestination& dest, DriverReport& report,
                                     std::optional<std::optional<std::string>>& packageFolder,
                                     const std::vector<bool>& versionFolders) {
  if (!IsPlainEntryName(key)) {
    report.skippedFiles.push_back({key, "", FsResult::Failure(FsError::BadName)});
    return;
  }
  // As with the catalog, the last find is the copy that would stay, so the candidates
  // are tried from the last one back, and an earlier find stands in when a copy fails.
  // A numbered version folder that is not there holds nothing: printer drivers would
  // otherwise cost 19 lookups per file.
  std::vector<std::string> found;
  std::vector<std::string> searched;
  const SourceFileLookup lookup = SourceFileCandidates(key, dest, folders_);
  for (std::size_t i = lookup.candidates.size(); i-- > 0;) {
    const int version = lookup.versionFolder[i];
    if (version > 0 && !versionFolders[static_cast<std::size_t>(version)]) continue;
    searched.insert(searched.begin(), lookup.candidates[i]);
    if (fs_.exists(lookup.candidates[i], AttrMask::Plain)) found.push_back(lookup.candidates[i]);
  }
  // The driver store is looked at only when the usual places hold nothing.
  if (found.empty() && store_) {
    if (!packageFolder) packageFolder = store_->packageFolder(report.driver.infName);
    if (*packageFolder) {
      std::string candidate = **packageFolder + "\\" + key;
      searched.push_back(candidate);
      if (fs_.exists(candidate, AttrMask::Plain)) found.push_back(std::move(candidate));
    }
  }
  if (found.empty()) {
    report.missing.push_back({key, std::move(searched)});
    return;
  }
  copyFirstThatCopies(found, key, report);
}

void BackupCollector::copyFirstThatCopies(const std::vector<std::string>& found, const std::string& name,
                                          DriverReport& report) {
  std::optional<SkippedFile> first;
  for (const std::string& source : found) {
    const FsResult r = fs_.copyFile(source, report.folder + "\\" + name);
    if (r) {
      report.copied.push_back({name, source});
      return;
    }
    if (!first) first = SkippedFile{name, source, r};
  }
  report.skippedFiles.push_back(*first);
}

}  // namespace qelvaro
