#include "backup_verify.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "backup_manifest.h"
#include "backup_report.h"
#include "file_name_fold.h"
#include "sfx_format/sfx_archive.h"
#include "sfx_packaging.h"
#include "base/sha256.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

// The most of a file kept to be read whole (an INF, a catalog, backup.json): one byte
// more than the largest catalog, so that a larger one is told apart as too large.
constexpr std::size_t kKeptBytes = kMaxCatalogBytes + 1;

// What an archive entry holds, hashed as it is unpacked, and kept too (up to
// kKeptBytes) when `keep` is given.
class HashingOutput final : public qsfx::Output {
 public:
  explicit HashingOutput(std::string* keep) : hash(keep, kKeptBytes) {}
  qsfx::Status write(const void* data, std::size_t n) override {
    hash.update(data, n);
    return qsfx::Status::Ok;
  }
  KeepingFileHasher hash;
};

std::string hexOf(const std::string& raw) {
  return HexOf(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
}

// A file restore reads whole from a driver folder, or the backup's own description.
bool keptWhole(std::string_view name) {
  const auto slashes = std::count(name.begin(), name.end(), '/');
  if (slashes == 0) return iequalsAscii(name, kManifestName);
  return slashes <= 2 && name.size() > 4 &&
         (iequalsAscii(name.substr(name.size() - 4), ".inf") || iequalsAscii(name.substr(name.size() - 4), ".cat"));
}

// Each driver folder's signature, from the hashes its files were read with: a broken
// one is an issue, naming each file the catalog leaves out, or the catalog.
// `manifest` is backup.json's text (empty when there is none): an INF that names no
// catalog is Windows' own when the backup recorded it so, and Windows checks it
// against its system catalogs on the PC it is restored to.
void checkSignatures(const std::map<std::string, FileHashes>& hashes,
                     const std::function<std::optional<std::string>(const std::string&)>& read,
                     const AnsiDecoder& decodeAnsi, const std::string& manifest, VerifyReport& report) {
  std::set<std::string> windowsDrivers;
  for (const std::string& folder : ManifestWindowsDrivers(manifest)) windowsDrivers.insert(FoldFileName(folder));
  const MachineArch arch = report.arch.value_or(MachineArch::Amd64);
  std::map<std::string, std::vector<PackageFile>> drivers;
  for (const auto& [path, fileHashes] : hashes) {
    const std::string driver = DriverOfPath(path);
    if (driver.size() >= path.size()) continue;  // a file at the root
    drivers[driver].push_back({path.substr(driver.size() + 1), fileHashes});
  }
  for (const auto& [folder, files] : drivers) {
    const std::string& driver = folder;  // clang 14 cannot capture a structured binding
    std::optional<PackageSignature> signature = CheckFolderPackageSignature(
        files, [&driver, &read](const std::string& name) { return read(driver + "/" + name); }, arch, decodeAnsi);
    if (!signature) continue;
    if (signature->kind == SignatureKind::Unsigned && windowsDrivers.count(FoldFileName(driver))) {
      signature->kind = SignatureKind::Windows;
    }
    if (signature->kind == SignatureKind::Broken) {
      for (const std::string& name : signature->notCovered) {
        report.issues.push_back({VerifyIssueKind::Signature, driver + "/" + name,
                                 name + ": not in catalog " + signature->catalog});
      }
      if (signature->notCovered.empty()) {
        report.issues.push_back({VerifyIssueKind::Signature, driver + "/" + signature->catalog, signature->problem});
      }
    }
    report.signatures.push_back({driver, std::move(*signature)});
  }
}

// The checksum list an archive carries, unpacked into memory (it is small; one that
// is not is no list of ours).
class ListOutput final : public qsfx::Output {
 public:
  qsfx::Status write(const void* data, std::size_t n) override {
    if (text.size() + n > (std::size_t{64} << 20)) return qsfx::Status::NoMemory;
    text.append(static_cast<const char*>(data), n);
    return qsfx::Status::Ok;
  }
  std::string text;
};

std::string describeStatus(qsfx::Status status) {
  switch (status) {
    case qsfx::Status::Damaged: return "damaged (its CRC or size does not match)";
    case qsfx::Status::WrongPassword: return "encrypted with another password";
    case qsfx::Status::Unsupported: return "packed in a way this reader does not know";
    case qsfx::Status::NoMemory: return "out of memory";
    case qsfx::Status::UnsafeName: return "an entry's name leads out of the folder it unpacks into, or names a device such as CON";
    default: return "cannot be read";
  }
}

// An INF in a driver folder, where restore looks for drivers (class\driver\x.inf, or
// driver\x.inf for a driver without a class).
bool isDriverInf(const qsfx::Entry& e) {
  const std::string_view name(e.name, e.nameLength);
  const auto slashes = std::count(name.begin(), name.end(), '/');
  return !e.isFolder && (slashes == 1 || slashes == 2) && name.size() > 4 &&
         iequalsAscii(name.substr(name.size() - 4), ".inf");
}

VerifyReport verifyArchive(const std::string& path, const FileSystem& fs, const ArchiveOpener& openArchive,
                           VerifyProgress progress, void* context) {
  VerifyReport report;
  report.form = BackupForm::Zip;
  FsResult why;
  std::unique_ptr<qsfx::Input> input = openArchive(path, why);
  if (!input) {
    report.exitCode = kVerifyNotABackup;
    report.error = "cannot read " + path + ": " + why.describe();
    return report;
  }
  qsfx::Archive archive;
  archive.setWholeLimit(std::size_t{8} << 20);  // larger entries stream through a small buffer
  if (const qsfx::Status s = archive.open(*input); s != qsfx::Status::Ok) {
    report.exitCode = kVerifyNotABackup;
    report.error = path + " is no backup folder, Zip file or package, or it is damaged: " +
                   (s == qsfx::Status::Damaged ? "no whole archive ends it, or more than a signature follows its archive"
                                                : describeStatus(s));
    return report;
  }
  if (archive.start() > 0) report.form = BackupForm::Package;
  // Any Zip file opens; only one holding a driver is a backup that CRCs alone could vouch for.
  bool hasDriver = false;
  for (std::size_t i = 0; i < archive.count() && !hasDriver; ++i) hasDriver = isDriverInf(archive.entry(i));
  if (!hasDriver) {
    report.exitCode = kVerifyNotABackup;
    report.error = path + (archive.count() == 0 ? " holds no files" : " holds no driver (no class\\driver\\*.inf)") +
                   ": it is no backup";
    return report;
  }
  // Paths folded as Windows compares them: two entries of one folded name are one file
  // once unpacked there, and which of them wins depends on the unpacker.
  std::unordered_set<std::string> seen;
  std::map<std::string, std::string> sums;     // folded path -> sum of what the archive holds
  std::map<std::string, std::string> spelled;  // folded path -> the entry's name
  std::map<std::string, FileHashes> hashes;     // the entry's name -> its hashes
  std::map<std::string, std::string> kept;      // the entry's name -> its bytes (INFs, catalogs)
  std::string listText;
  bool listRead = false;
  for (std::size_t i = 0; i < archive.count(); ++i) {
    const qsfx::Entry& e = archive.entry(i);
    if (e.isFolder) continue;
    const std::string name(e.name, e.nameLength);
    const std::string key = FoldFileName(name);
    if (!seen.insert(key).second) {
      report.issues.push_back({VerifyIssueKind::Unexpected, name, "a second entry of a name already in the archive"});
      continue;
    }
    const char* password = e.encrypted ? kPackagePassword : nullptr;
    if (iequalsAscii(name, kChecksumListName)) {
      ListOutput list;
      const qsfx::Status s = archive.extract(*input, e, password, list);
      // A damaged list is still a list: the backup is not one made without checksums.
      report.checksumList = true;
      if (s != qsfx::Status::Ok) {
        report.issues.push_back({VerifyIssueKind::Unreadable, name, describeStatus(s)});
      } else {
        listRead = true;
        listText = std::move(list.text);
      }
      continue;
    }
    HashingOutput out(keptWhole(name) ? &kept[name] : nullptr);
    const qsfx::Status s = archive.extract(*input, e, password, out);
    ++report.filesChecked;
    if (progress) progress(context);
    if (s == qsfx::Status::Damaged) {
      report.issues.push_back({VerifyIssueKind::Changed, name, describeStatus(s)});
    } else if (s != qsfx::Status::Ok) {
      report.issues.push_back({VerifyIssueKind::Unreadable, name, describeStatus(s)});
    } else {
      FileHashes& got = hashes[name] = out.hash.hasher.finish();
      sums[key] = hexOf(got.flatSha256);
    }
    spelled[key] = name;
  }
  if (listRead) {
    std::string error;
    const auto list = ParseChecksumList(listText, error);
    if (!list) {
      report.issues.push_back({VerifyIssueKind::Changed, kChecksumListName, error});
    } else {
      for (const ChecksumEntry& entry : *list) {
        const std::string key = FoldFileName(entry.path);
        const auto found = spelled.find(key);
        if (found == spelled.end()) {
          report.issues.push_back({VerifyIssueKind::Missing, entry.path, ""});
          continue;
        }
        spelled.erase(found);
        const auto sum = sums.find(key);
        // A damaged or unreadable entry is named already.
        if (sum != sums.end() && sum->second != entry.sha256) {
          report.issues.push_back({VerifyIssueKind::Changed, entry.path, ""});
        }
      }
      for (const auto& [key, name] : spelled) report.issues.push_back({VerifyIssueKind::Unexpected, name, ""});
    }
  }
  std::string manifest;
  if (const auto found = kept.find(kManifestName); found != kept.end()) manifest = found->second;
  report.arch = ManifestArch(manifest);
  checkSignatures(
      hashes,
      [&](const std::string& name) -> std::optional<std::string> {
        const auto found = kept.find(name);
        if (found == kept.end()) return std::nullopt;
        return found->second;
      },
      [&fs](std::string_view ansi) { return fs.decodeAnsi(ansi); }, manifest, report);
  SortIssuesByPath(report.issues);
  if (!report.issues.empty()) report.exitCode = kVerifyMismatch;
  // CRCs show an entry unpacks as it was packed, not that the backup is whole.
  else if (!report.checksumList) report.exitCode = kVerifyNothingToCompare;
  return report;
}

}  // namespace

std::size_t UnsignedOn64Bit(const VerifyReport& report) {
  if (report.arch.value_or(MachineArch::Amd64) == MachineArch::X86) return 0;
  std::size_t n = 0;
  for (const DriverSignatureCheck& d : report.signatures) n += d.signature.kind == SignatureKind::Unsigned;
  return n;
}

VerifyReport VerifyBackup(const std::string& path, const FileSystem& fs, const ArchiveOpener& openArchive,
                          VerifyProgress progress, void* context) {
  if (!fs.exists(path, AttrMask::Folder) || fs.exists(path, AttrMask::System)) {
    return verifyArchive(path, fs, openArchive, progress, context);
  }
  VerifyReport report;
  const DirListing top = fs.listDir(path);
  if (!top.result) {
    report.exitCode = kVerifyNotABackup;
    report.error = "cannot list " + path + ": " + top.result.describe();
    return report;
  }
  const ChecksumListFile list = ReadChecksumListFile(fs, path, top);
  if (list.state == ChecksumListFile::State::Unreadable) {
    report.exitCode = kVerifyNotABackup;
    report.error = "cannot read " + path + "\\" + kChecksumListName + ": " + list.why.describe();
    return report;
  }
  if (list.state == ChecksumListFile::State::Absent) {
    report.exitCode = kVerifyNothingToCompare;
    report.error = std::string("no ") + kChecksumListName + " in " + path +
                   ": this folder backup was made without checksums, so there is nothing to compare it with";
    return report;
  }
  if (list.state == ChecksumListFile::State::TooLarge) {
    report.checksumList = true;
    report.exitCode = kVerifyMismatch;
    report.issues.push_back({VerifyIssueKind::Changed, kChecksumListName,
                             "larger than any checksum list (" + std::to_string(list.size >> 20) + " MB; at most " +
                                 std::to_string(kMaxChecksumListBytes >> 20) + " MB)"});
    return report;
  }
  report.checksumList = true;
  std::string error;
  const auto entries = ParseChecksumList(list.text, error);
  if (!entries) {
    report.exitCode = kVerifyMismatch;
    report.issues.push_back({VerifyIssueKind::Changed, kChecksumListName, error});
    return report;
  }
  FolderReadBack readBack;
  readBack.keep = [](const std::string& name) { return keptWhole(name); };
  readBack.keepLimit = kKeptBytes;
  report.issues = CompareFolderWithList(fs, path, *entries, "", report.filesChecked, progress, context, &readBack);
  const auto readKept = [&](const std::string& name) -> std::optional<std::string> {
    const auto found = readBack.kept.find(name);
    if (found == readBack.kept.end()) return std::nullopt;
    return found->second;
  };
  const std::string manifest = readKept(kManifestName).value_or(std::string());
  report.arch = ManifestArch(manifest);
  checkSignatures(readBack.hashes, readKept, [&fs](std::string_view ansi) { return fs.decodeAnsi(ansi); }, manifest,
                  report);
  SortIssuesByPath(report.issues);
  if (!report.issues.empty()) report.exitCode = kVerifyMismatch;
  return report;
}

}  // namespace qelvaro
