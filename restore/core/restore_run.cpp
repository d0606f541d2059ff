#include "restore_run.h"

#include <algorithm>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "backup_manifest.h"
#include "ini_reader.h"
#include "base/text_encoding.h"

namespace qelvaro::restore {

std::string RestoreItem::description() const {
  // The backup names a second driver of one description "description (oemN.inf)".
  const std::string& folder = driver.driverFolder;
  for (const auto& d : package.modelDescriptions) {
    if (iequalsAscii(d, folder)) return d;
    if (folder.size() > d.size() + 3 && folder.back() == ')' && iequalsAscii(folder.substr(0, d.size() + 2), d + " (")) {
      return d;
    }
  }
  if (!package.description.empty()) return package.description;
  if (!driver.driverFolder.empty()) return driver.driverFolder;
  return driver.infName;
}

namespace {

void readInf(const FileSystem& fs, const std::function<std::string(std::string_view)>& decoder, MachineArch arch,
             RestoreItem& item) {
  const FoundDriver& d = item.driver;
  if (!d.link.empty()) {
    item.unreadable = Problem::Link;
    item.problem = "a link: " + d.link;
    return;
  }
  if (!d.refused.empty()) {
    item.unreadable = Problem::InfDeviceName;
    item.problem = d.refused + ": not opened";
    return;
  }
  std::uint64_t size = 0;
  auto bytes = fs.readFileHead(d.infPath(), kMaxInfBytes + 1, size);
  if (!bytes) {
    item.unreadable = Problem::InfUnreadable;
    item.problem = "the INF cannot be read";
    return;
  }
  if (size > kMaxInfBytes) {
    item.unreadable = Problem::InfTooLarge;
    item.problem = "the INF is too large to read (" + std::to_string(size >> 20) + " MB; at most " +
                   std::to_string(kMaxInfBytes >> 20) + " MB)";
    return;
  }
  // Decoding and parsing take several times the file's size; a machine short of memory
  // fails this one driver, not the run.
  try {
    const std::string text =
        decodeProfileText(*bytes, [&](std::string_view b) { return decoder ? decoder(b) : fs.decodeAnsi(b); });
    bytes.reset();
    item.package = ReadInfPackage(IniDocument::parse(text), arch);
    item.readable = true;
  } catch (const std::bad_alloc&) {
    item.package = InfPackage{};
    item.unreadable = Problem::InfTooLarge;
    item.problem = "not enough memory to read the INF (" + std::to_string(size >> 20) + " MB)";
  }
}

// The files of the driver's folder that differ from the list, or are gone; by their
// paths in the folder.
std::vector<std::string> damagedFiles(const FileSystem& fs, const RestoreItem& item) {
  const std::string& folder = item.driver.folder;
  if (folder.size() <= item.sumsRoot.size()) return {};
  std::string prefix = folder.substr(item.sumsRoot.size() + 1) + "/";
  std::replace(prefix.begin(), prefix.end(), '\\', '/');
  std::size_t checked = 0;
  std::vector<std::string> damaged;
  for (const VerifyIssue& issue : CompareFolderWithList(fs, item.sumsRoot, *item.sums, prefix, checked)) {
    // A file the list does not know is no damage: the install takes only what the INF names.
    if (issue.kind == VerifyIssueKind::Unexpected) continue;
    damaged.push_back(issue.path.size() > prefix.size() ? issue.path.substr(prefix.size()) : issue.path);
  }
  return damaged;
}

// The backup as the damage check reads it once the driver is staged: a staged file's
// sum is the one taken as its bytes went into the staging folder, so the bytes checked
// are the bytes installed, and no file is read a second time.
class StagedSums final : public ForwardingFileSystem {
 public:
  StagedSums(FileSystem& fs, const LayoutPlan& plan, const StageResult& staged) : ForwardingFileSystem(fs) {
    for (std::size_t i = 0; i < plan.copies.size() && i < staged.sha256.size(); ++i) {
      const auto [it, added] = sums_.emplace(key(plan.copies[i].from), staged.sha256[i]);
      // One file staged at two places, changed between the two copies: it matches nothing.
      if (!added && it->second != staged.sha256[i]) it->second.clear();
    }
  }
  FsResult hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const override {
    const auto it = sums_.find(key(path));
    if (it == sums_.end()) return inner().hashFile(path, sha256, size);
    sha256 = it->second;
    return {};
  }

 private:
  // Windows finds a file without regard to case, by either separator.
  static std::string key(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    path.erase(std::unique(path.begin(), path.end(), [](char a, char b) { return a == '\\' && b == '\\'; }),
               path.end());
    return asciiLowerCopy(path);
  }
  std::unordered_map<std::string, std::string> sums_;
};

// The staged files the list does not name: none of them was in the backup when it was
// made (the list covers every file of it), so none is installed unchecked.
std::vector<std::string> unlistedCopies(const RestoreItem& item, const LayoutPlan& plan) {
  std::unordered_set<std::string> listed;
  for (const ChecksumEntry& e : *item.sums) listed.insert(asciiLowerCopy(e.path));
  std::vector<std::string> unlisted;
  for (const StagedFile& copy : plan.copies) {
    if (copy.from.size() <= item.driver.folder.size() || copy.from.size() <= item.sumsRoot.size()) continue;
    std::string path = copy.from.substr(item.sumsRoot.size());
    path.erase(0, path.find_first_not_of("\\/"));  // the root may end with its separator ("D:\\")
    std::replace(path.begin(), path.end(), '\\', '/');
    if (!listed.count(asciiLowerCopy(path))) unlisted.push_back(copy.from.substr(item.driver.folder.size() + 1));
  }
  return unlisted;
}

}  // namespace

RestoreCatalog LoadRestoreCatalog(const FileSystem& fs, const std::string& root, MachineArch arch,
                                  const AnsiDecoderFor& decoderFor, unsigned codePage) {
  RestoreCatalog catalog;
  catalog.search = FindDrivers(fs, root);
  std::uint64_t manifestSize = 0;
  const auto manifest = fs.readFileHead(root + "\\" + kManifestName, 1 << 20, manifestSize);
  if (manifest) catalog.backupArch = ManifestArch(*manifest);
  std::shared_ptr<const std::vector<ChecksumEntry>> sums;
  bool sumsDamaged = false;
  const ChecksumListFile list = ReadChecksumListFile(fs, root, fs.listDir(root));
  // A list that is there but cannot be read whole, or that backup.json names but that
  // is gone, is damage: never a backup made without checksums.
  const bool named = manifest && manifest->find(std::string("\"checksums\": \"") + kChecksumListName + "\"") !=
                                     std::string::npos;
  if (list.state == ChecksumListFile::State::Read) {
    std::string error;
    auto entries = ParseChecksumList(list.text, error);
    sumsDamaged = !entries;
    sums = std::make_shared<const std::vector<ChecksumEntry>>(entries.value_or(std::vector<ChecksumEntry>{}));
  } else if (list.state != ChecksumListFile::State::Absent || named) {
    sumsDamaged = true;
    sums = std::make_shared<const std::vector<ChecksumEntry>>();
  }
  unsigned backupCodePage = 0;
  if (manifest) backupCodePage = ManifestCodePage(*manifest).value_or(0);
  // A backup of a Chinese Windows holds GBK INFs, whatever this system's code page is.
  const unsigned page = codePage ? codePage : backupCodePage;
  std::function<std::string(std::string_view)> decoder;
  if (page && decoderFor) decoder = decoderFor(page);
  if (!codePage && backupCodePage && decoderFor && !decoder) catalog.unreadableCodePage = backupCodePage;
  for (const FoundDriver& d : catalog.search.drivers) {
    RestoreItem item;
    item.driver = d;
    item.sums = sums;
    item.sumsRoot = root;
    item.sumsDamaged = sumsDamaged;
    readInf(fs, decoder, arch, item);
    catalog.items.push_back(std::move(item));
  }
  return catalog;
}

DriverResult RestoreDriver(FileSystem& fs, const RestoreItem& item, const std::string& stagingDir,
                           DriverInstaller* installer) {
  DriverResult result;
  if (!item.readable) {
    result.problemKind = item.unreadable == Problem::None ? Problem::InfUnreadable : item.unreadable;
    result.problem = item.problem.empty() ? "the INF cannot be read" : item.problem;
    if (!item.driver.link.empty()) {
      result.problem = "a link";
      result.links = {item.driver.link};
    }
    return result;
  }
  if (std::string syntax = InfSyntaxProblem(item.package); !syntax.empty()) {
    result.problemKind = Problem::InfSyntax;
    result.problem = std::move(syntax);
    return result;
  }
  if (std::string style = InfStyleProblem(item.package); !style.empty()) {
    result.problemKind = Problem::InfStyle;
    result.problem = std::move(style);
    return result;
  }
  if (!item.package.hasManufacturers && item.package.catalog.empty() && item.package.listedFiles.empty()) {
    // A plain INF (no models) still goes into the driver store with its files; one
    // with neither models nor files (a cut-off INF) installs nothing.
    result.problemKind = Problem::NoModels;
    result.problem = "the INF installs nothing: no [Manufacturer] section and no files";
    return result;
  }
  if (item.package.hasManufacturers && !item.package.hasModelsForArch) {
    // Models for other architectures only: Windows would refuse it.
    result.status = DriverStatus::Unsupported;
    return result;
  }
  const LayoutPlan plan = PlanLayout(fs, item.driver, item.package);
  result.missing = plan.missing;
  result.unsafe = plan.unsafe;
  if (!plan.unsafe.empty()) {
    result.problemKind = Problem::UnsafePath;
    result.problem = "the INF names paths outside its package";
    return result;
  }
  if (!plan.badNames.empty()) {
    result.badNames = plan.badNames;
    result.problemKind = Problem::BadName;
    result.problem = "the INF names files Windows cannot create (a device name, or a trailing dot or blank)";
    return result;
  }
  if (!plan.missing.empty()) {
    result.status = DriverStatus::Incomplete;
    return result;
  }
  // Nothing of a driver whose files changed since the backup is installed. (A file
  // its INF needs that is gone, or a link, was named above as the layout's fault.)
  // The install checks the sums taken as the files were staged; a dry run, which
  // stages nothing, reads them for the check.
  auto damaged = [&](std::vector<std::string> files) {
    result.damaged = std::move(files);
    if (result.damaged.empty()) return false;
    result.problemKind = Problem::Damaged;
    result.problem = item.sumsDamaged ? "the backup's checksum list is damaged or cannot be read"
                                      : "files changed or missing since the backup (" + std::string(kChecksumListName) + ")";
    return true;
  };
  if (item.sums && damaged(item.sumsDamaged ? std::vector<std::string>{kChecksumListName}
                                             : unlistedCopies(item, plan))) {
    return result;
  }
  result.stagedInf = stagingDir + "\\" + item.driver.infName;
  if (!installer) {
    if (item.sums && damaged(damagedFiles(fs, item))) return result;
    result.status = DriverStatus::Ready;
    return result;
  }
  const StageResult staged = StageLayout(fs, plan, stagingDir);
  if (!staged.result) {
    result.problemKind = Problem::StagingFailed;
    result.problem = "cannot stage " + staged.failedPath + ": " + staged.result.describe();
    return result;
  }
  if (item.sums && damaged(damagedFiles(StagedSums(fs, plan, staged), item))) return result;
  result.installerCalled = true;
  result.install = installer->install(result.stagedInf, item.package.deviceIds);
  result.status = result.install.status;
  return result;
}

std::vector<std::string> DriversNotForThisArch(const RestoreCatalog& catalog) {
  std::vector<std::string> names;
  for (const RestoreItem& item : catalog.items) {
    if (item.readable && item.package.hasManufacturers && !item.package.hasModelsForArch) {
      names.push_back(item.description());
    }
  }
  return names;
}

bool StatusSucceeded(DriverStatus status) {
  return status == DriverStatus::Installed || status == DriverStatus::Staged || status == DriverStatus::NeedsRestart ||
         status == DriverStatus::Ready;
}

int RestoreExitCode(const std::vector<DriverStatus>& statuses) {
  if (std::any_of(statuses.begin(), statuses.end(), [](DriverStatus s) { return !StatusSucceeded(s); })) return 1;
  if (std::any_of(statuses.begin(), statuses.end(), [](DriverStatus s) { return s == DriverStatus::NeedsRestart; })) {
    return 3010;
  }
  return 0;
}

int SetupExitCode(bool supportedWindows, std::size_t driversFound, const std::vector<DriverStatus>* lastRun) {
  if (lastRun) return RestoreExitCode(*lastRun);
  if (!supportedWindows) return kSetupUnsupportedWindows;
  if (driversFound == 0) return kSetupNoDrivers;
  return kSetupClosedWithoutInstalling;
}

bool DriverMatches(const RestoreItem& item, const std::string& text) {
  const std::string needle = asciiLowerCopy(text);
  for (const std::string& hay : {item.description(), item.driver.classFolder, item.driver.driverFolder,
                                 item.driver.infName}) {
    if (asciiLowerCopy(hay).find(needle) != std::string::npos) return true;
  }
  return false;
}

const char* DriverStatusName(DriverStatus status) {
  switch (status) {
    case DriverStatus::Installed: return "installed";
    case DriverStatus::Staged: return "staged";
    case DriverStatus::NeedsRestart: return "restart";
    case DriverStatus::Incomplete: return "incomplete";
    case DriverStatus::Unsupported: return "unsupported";
    case DriverStatus::Ready: return "ready";
    case DriverStatus::Failed: break;
  }
  return "failed";
}

}  // namespace qelvaro::restore
