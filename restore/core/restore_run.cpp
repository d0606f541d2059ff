#include "restore_run.h"

#include <algorithm>
#include <set>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "backup_manifest.h"
#include "file_name_fold.h"
#include "catalog.h"
#include "ini_reader.h"
#include "setupapi_codes.h"
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

// A path below the staging folder as a package names its files ("bin/x.sys").
std::string packagePath(std::string relative) {
  std::replace(relative.begin(), relative.end(), '\\', '/');
  return relative;
}

bool isTopLevelOf(const std::string& relative, std::string_view extension) {
  return relative.find('\\') == std::string::npos && relative.size() > extension.size() &&
         iequalsAscii(std::string_view(relative).substr(relative.size() - extension.size()), extension);
}

// The package's signature from the hashes and bytes that passed as its files were
// staged (or read, in a dry run): no file is read for it a second time.
std::optional<PackageSignature> signatureOf(const FileSystem& fs, const LayoutPlan& plan, const StageResult& passed,
                                            const RestoreItem& item) {
  const MachineArch arch = item.arch;
  std::vector<PackageFile> files;
  for (std::size_t i = 0; i < plan.copies.size() && i < passed.hashes.size(); ++i) {
    files.push_back({packagePath(plan.copies[i].relative), passed.hashes[i]});
  }
  std::optional<PackageSignature> signature = CheckFolderPackageSignature(
      files,
      [&](const std::string& name) -> std::optional<std::string> {
        const auto it = passed.kept.find(name);  // only names directly in the package are kept
        if (it == passed.kept.end()) return std::nullopt;
        return it->second;
      },
      arch, [&fs](std::string_view ansi) { return fs.decodeAnsi(ansi); });
  // An in-box INF names no catalog: Windows looks it up in its own.
  if (signature && signature->kind == SignatureKind::Unsigned && item.recordedAsWindows) {
    signature->kind = SignatureKind::Windows;
  }
  return signature;
}

// The staged files as Windows looks each up in their catalog, by the hash it names
// them with; the catalogs and INF caches at the top are not its members.
std::vector<TrustMember> trustMembers(const LayoutPlan& plan, const StageResult& staged, const std::string& stagingDir,
                                      bool sha256) {
  std::vector<TrustMember> members;
  for (std::size_t i = 0; i < plan.copies.size() && i < staged.hashes.size(); ++i) {
    const std::string& relative = plan.copies[i].relative;
    if (isTopLevelOf(relative, ".cat") || isTopLevelOf(relative, ".pnf")) continue;
    const FileHashes& h = staged.hashes[i];
    const std::string& digest = h.isPe ? (sha256 ? h.peSha256 : h.peSha1) : (sha256 ? h.flatSha256 : h.flatSha1);
    members.push_back({packagePath(relative), stagingDir + "\\" + relative, digest});
  }
  return members;
}

// Windows' answer for the staged catalog, asked through the installer.
std::optional<WindowsTrust> askWindows(DriverInstaller& installer, const LayoutPlan& plan, const StageResult& staged,
                                       const std::string& stagingDir, const std::string& catalog) {
  const auto kept = staged.kept.find(catalog);
  if (catalog.empty() || kept == staged.kept.end()) return std::nullopt;
  std::string error;
  const std::optional<Catalog> parsed = ParseCatalog(kept->second, error);
  const bool sha256 = parsed && std::any_of(parsed->members.begin(), parsed->members.end(), [](const CatalogMember& m) {
                        return m.algorithm == HashAlgorithm::Sha256;
                      });
  return installer.verifyTrust(stagingDir + "\\" + catalog, trustMembers(plan, staged, stagingDir, sha256));
}

std::string joinedNames(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

}  // namespace

SignatureDecision DecideSignature(const PackageSignature& signature, MachineArch arch) {
  SignatureDecision d;
  if (signature.kind != SignatureKind::Unsigned && signature.kind != SignatureKind::Broken) return d;
  if (signature.kind == SignatureKind::Unsigned) {
    d.code = 0xE000022F;  // ERROR_NO_CATALOG_FOR_OEM_INF
    d.why = "the INF names no catalog";
  } else {
    d.code = 0xE000024B;  // ERROR_FILE_HASH_NOT_IN_CATALOG
    d.why = signature.notCovered.empty() ? signature.problem
                                         : joinedNames(signature.notCovered) + ": not in catalog " + signature.catalog;
  }
  d.verdict = arch == MachineArch::X86 ? SignatureVerdict::InstallWithWarning : SignatureVerdict::Refuse;
  return d;
}

std::string DescribeSignatureDecision(const SignatureDecision& d) {
  const bool unsignedPackage = d.code == 0xE000022F;
  switch (d.verdict) {
    case SignatureVerdict::Install: return {};
    case SignatureVerdict::InstallWithWarning:
      return "warning: " + d.why + (unsignedPackage ? "; 32-bit Windows warns before it installs an unsigned driver"
                                                    : "; 32-bit Windows warns before it installs it");
    case SignatureVerdict::Refuse: break;
  }
  return "not installed: " + d.why +
         (unsignedPackage ? ", and 64-bit Windows installs no unsigned driver"
                          : "; 64-bit Windows refuses a package changed after it was signed") +
         " (" + DescribeInstallError(d.code, "") + ")";
}

RestoreCatalog LoadRestoreCatalog(const FileSystem& fs, const std::string& root, MachineArch arch,
                                  const AnsiDecoderFor& decoderFor, unsigned codePage) {
  RestoreCatalog catalog;
  catalog.search = FindDrivers(fs, root);
  std::uint64_t manifestSize = 0;
  const auto manifest = fs.readFileHead(root + "\\" + kManifestName, 1 << 20, manifestSize);
  if (manifest) catalog.backupArch = ManifestArch(*manifest);
  std::set<std::string> windowsDrivers;
  if (manifest) {
    for (const std::string& folder : ManifestWindowsDrivers(*manifest)) windowsDrivers.insert(FoldFileName(folder));
  }
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
    if (d.folder.size() > root.size() + 1) {
      std::string relative = d.folder.substr(root.size() + 1);
      std::replace(relative.begin(), relative.end(), '\\', '/');
      item.recordedAsWindows = windowsDrivers.count(FoldFileName(relative)) > 0;
    }
    item.sumsDamaged = sumsDamaged;
    item.arch = arch;
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
  // The sums and the signature are checked on the bytes that pass in one read of each
  // file: copied into the staging folder for an install, so that a file changed after
  // the check never reaches the installer; read where they are for a dry run.
  StageResult passed;
  if (installer) {
    passed = StageLayout(fs, plan, stagingDir);
    if (!passed.result) {
      result.problemKind = Problem::StagingFailed;
      result.problem = "cannot stage " + passed.failedPath + ": " + passed.result.describe();
      return result;
    }
  } else {
    passed = HashLayout(fs, plan);
  }
  // (A dry run that could not read a file names it as damage when the list has it.)
  if (item.sums && damaged(damagedFiles(StagedSums(fs, plan, passed), item))) return result;
  if (!passed.result) {
    result.problemKind = Problem::StagingFailed;
    result.problem = "cannot read " + passed.failedPath + ": " + passed.result.describe();
    return result;
  }
  result.signature = signatureOf(fs, plan, passed, item);
  if (result.signature) {
    result.signatureDecision = DecideSignature(*result.signature, item.arch);
    if (result.signatureDecision.verdict == SignatureVerdict::Refuse) {
      result.problemKind = Problem::Signature;
      result.problem = DescribeSignatureDecision(result.signatureDecision);
      return result;
    }
  }
  if (!installer) {
    result.status = DriverStatus::Ready;
    return result;
  }
  if (result.signature) {
    result.windowsTrust = askWindows(*installer, plan, passed, stagingDir, result.signature->catalog);
  }
  result.installerCalled = true;
  result.install = installer->install(result.stagedInf, item.package.deviceIds);
  result.status = result.install.status;
  return result;
}

std::optional<PackageSignature> CheckDriverSignature(const FileSystem& fs, const RestoreItem& item) {
  if (!item.readable) return std::nullopt;
  const LayoutPlan plan = PlanLayout(fs, item.driver, item.package);
  if (!plan.unsafe.empty() || !plan.badNames.empty()) return std::nullopt;
  const StageResult hashed = HashLayout(fs, plan);
  if (!hashed.result) return std::nullopt;
  return signatureOf(fs, plan, hashed, item);
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
