#include "backup_report.h"

#include <unordered_map>

#include "file_name_fold.h"
#include "package_paths.h"
#include "backup_texts.h"
#include "base/product.h"

namespace qelvaro {
namespace {

constexpr std::size_t kDriversInMessage = 10;
constexpr std::size_t kKeptFilesInMessage = 10;

std::string_view fsErrorText(FsError error) {
  switch (error) {
    case FsError::NotFound: return texts::kFsNotFound;
    case FsError::AccessDenied: return texts::kFsAccessDenied;
    case FsError::DiskFull: return texts::kFsDiskFull;
    case FsError::InUse: return texts::kFsInUse;
    case FsError::AlreadyExists: return texts::kFsAlreadyExists;
    case FsError::NotAFolder: return texts::kFsNotAFolder;
    case FsError::NotAFile: return texts::kFsNotAFile;
    case FsError::BadName: return texts::kFsBadName;
    case FsError::NotSupported: return texts::kFsNotSupported;
    case FsError::Link: return texts::kFsLink;
    case FsError::None:
    case FsError::Other: break;
  }
  return texts::kFsOther;
}

std::string driverName(const DriverRow& driver) {
  return FormatText(texts::kDriverName,
                    {driver.description, driver.infName.empty() ? texts::kNoInfFile : driver.infName});
}

std::string join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? std::string(separator) : "") + items[i];
  return out;
}

std::string skipLine(const DriverReport& r) {
  const std::string who = driverName(r.driver);
  const std::string reason = DescribeFsResultForUser(r.skipReason);
  switch (r.skip) {
    case DriverSkip::NoInfName: return FormatText(texts::kProblemNoInf, {who});
    case DriverSkip::InfNotFound: return FormatText(texts::kProblemInfNotFound, {who, r.skipPath});
    case DriverSkip::InfNotCopied: return FormatText(texts::kProblemInfNotCopied, {who, r.skipPath, reason});
    case DriverSkip::FolderFailed: return FormatText(texts::kProblemFolder, {who, r.skipPath, reason});
    case DriverSkip::UnsafeName: return FormatText(texts::kProblemUnsafeName, {who, r.skipPath});
    case DriverSkip::LinkFolder: return FormatText(texts::kProblemLinkFolder, {who, r.skipPath});
    case DriverSkip::None: break;
  }
  return {};
}

void line(std::string& out, const std::string& text) { out += text + "\r\n"; }

}  // namespace

std::string DescribeFsResultForUser(const FsResult& result) {
  std::string text(fsErrorText(result.error()));
  if (!result.ok() && result.systemCode() != 0) {
    text += FormatText(texts::kFsSystemCode, {std::to_string(result.systemCode())});
  }
  return text;
}

std::string DriverProblemLine(const DriverReport& r) {
  if (r.skipped()) return skipLine(r);
  if (r.skippedFiles.empty() && r.missing.empty()) return {};
  std::string text = driverName(r.driver) + ": ";
  if (!r.skippedFiles.empty()) {
    std::vector<std::string> files;
    for (const SkippedFile& f : r.skippedFiles) {
      files.push_back(f.name + " (" +
                      (f.source.empty() ? std::string(texts::kBadNameReason) : DescribeFsResultForUser(f.reason)) + ")");
    }
    text += FormatText(texts::kProblemNotCopied, {std::to_string(files.size())}) + join(files, texts::kListSeparator);
  }
  if (!r.missing.empty()) {
    if (!r.skippedFiles.empty()) text += texts::kClauseSeparator;
    std::vector<std::string> files;
    for (const MissingFile& f : r.missing) files.push_back(f.name);
    text += FormatText(texts::kProblemNotFound, {std::to_string(files.size())}) + join(files, texts::kListSeparator);
  }
  return text;
}

std::string BackupReportPath(const std::string& backupRoot) { return backupRoot + texts::kReportFileSuffix; }

std::string SignatureKindText(SignatureKind kind) {
  switch (kind) {
    case SignatureKind::Whql: return texts::kSignatureWhql;
    case SignatureKind::Attestation: return texts::kSignatureAttestation;
    case SignatureKind::Windows: return texts::kSignatureWindows;
    case SignatureKind::Publisher: return texts::kSignaturePublisher;
    case SignatureKind::Unsigned: return texts::kSignatureUnsigned;
    case SignatureKind::Broken: break;
  }
  return texts::kSignatureBroken;
}

std::string SignatureColumnText(const PackageSignature& signature) {
  if (signature.kind == SignatureKind::Unsigned || signature.kind == SignatureKind::Broken || signature.signer.empty()) {
    return SignatureKindText(signature.kind);
  }
  return signature.signer;
}

std::string BackupReportText(const BackupResult& result, const BackupOrigin* origin) {
  std::size_t whole = 0, partial = 0, skipped = 0;
  for (const auto& d : result.drivers) {
    if (d.skipped()) ++skipped;
    else if (d.skippedFiles.empty() && d.missing.empty()) ++whole;
    else ++partial;
  }
  std::string out = "\xEF\xBB\xBF";
  line(out, texts::kReportTitle);
  line(out, FormatText(texts::kReportTool, {kProductName, kProductVersion}));
  line(out, FormatText(texts::kReportRoot, {result.root}));
  if (origin) {
    line(out, FormatText(texts::kReportArch, {ArchDecoration(origin->arch)}));
    std::string windows = origin->windowsName;
    if (!origin->windowsVersion.empty()) {
      windows += windows.empty() ? origin->windowsVersion : " (" + origin->windowsVersion + ")";
    }
    line(out, FormatText(texts::kReportWindows, {windows.empty() ? texts::kReportUnknown : windows}));
    if (origin->ansiCodePage) line(out, FormatText(texts::kReportCodePage, {std::to_string(origin->ansiCodePage)}));
    line(out, FormatText(texts::kReportChecksums, {kChecksumListName, kManifestName}));
  }
  line(out, FormatText(texts::kReportSummary, {std::to_string(result.drivers.size()), std::to_string(whole),
                                               std::to_string(partial), std::to_string(skipped)}));
  for (const auto& d : result.drivers) {
    line(out, "");
    if (d.skipped()) {
      line(out, FormatText(texts::kReportDriverSkipped, {skipLine(d)}));
      continue;
    }
    const bool isWhole = d.skippedFiles.empty() && d.missing.empty();
    line(out, FormatText(isWhole ? texts::kReportDriverWhole : texts::kReportDriverPartial, {driverName(d.driver)}));
    line(out, FormatText(texts::kReportFolder, {d.folder}));
    if (!d.relatedTo.empty()) line(out, FormatText(texts::kReportWithDriver, {d.relatedTo}));
    if (!d.package.empty()) line(out, FormatText(texts::kReportFromStore, {d.package}));
    if (d.signature) {
      const PackageSignature& sig = *d.signature;
      if (sig.kind == SignatureKind::Unsigned) line(out, texts::kReportUnsigned);
      else if (sig.kind == SignatureKind::Broken) line(out, FormatText(texts::kReportBrokenSignature, {sig.problem}));
      else line(out, FormatText(texts::kReportSignature, {sig.signer, SignatureKindText(sig.kind), sig.catalog}));
    }
    for (const CollectedFile& f : d.copied) line(out, FormatText(texts::kReportCopied, {f.name, f.source}));
    for (const SkippedFile& f : d.skippedFiles) {
      if (f.source.empty()) line(out, FormatText(texts::kReportBadName, {f.name}));
      else line(out, FormatText(texts::kReportNotCopied, {f.name, f.source, DescribeFsResultForUser(f.reason)}));
    }
    for (const MissingFile& f : d.missing) {
      line(out, FormatText(texts::kReportMissing, {f.name, join(f.searched, texts::kClauseSeparator)}));
    }
    for (const MissingFile& f : d.notNeeded) {
      line(out, FormatText(texts::kReportNotNeeded, {f.name, join(f.searched, texts::kClauseSeparator)}));
    }
  }
  return out;
}

std::string BackupEndMessage(const BackupResult& result, const BackupEnd& end) {
  std::string text;
  if (result.drivers.empty()) return texts::kAllUnticked;
  if (result.complete()) {
    text = texts::kSuccess;
  } else {
    if (result.skippedDrivers() == result.drivers.size()) {
      text = texts::kNothingBackedUp;
    } else {
      text = FormatText(texts::kPartial, {std::to_string(result.skippedDrivers()),
                                          std::to_string(result.skippedFiles() + result.missingFiles())});
    }
    std::size_t named = 0, withProblems = 0;
    for (const auto& d : result.drivers) {
      const std::string problem = DriverProblemLine(d);
      if (problem.empty()) continue;
      ++withProblems;
      if (named < kDriversInMessage) {
        text += "\r\n" + problem;
        ++named;
      }
    }
    if (withProblems > named) {
      text += "\r\n" + FormatText(texts::kMoreDrivers, {std::to_string(withProblems - named)});
    }
  }
  if (!end.keptSources.empty()) {
    text += "\r\n\r\n" + FormatText(texts::kZipCompleteSourcesKept, {end.zipFile, result.root});
    for (std::size_t i = 0; i < end.keptSources.size() && i < kKeptFilesInMessage; ++i) {
      text += "\r\n" + end.keptSources[i];
    }
    if (end.keptSources.size() > kKeptFilesInMessage) text += "\r\n...";
  }
  if (!end.reportPath.empty() && !result.complete()) {
    text += "\r\n\r\n" + FormatText(texts::kReportAt, {end.reportPath});
  }
  if (!end.reportError.empty()) text += "\r\n\r\n" + end.reportError;
  if (!end.note.empty()) text += "\r\n" + end.note;
  return text;
}

std::string VerifyEndText(std::size_t filesChecked, const std::vector<VerifyIssue>& issues, const std::string& error,
                          std::size_t unsignedOn64Bit) {
  if (!error.empty()) return FormatText(texts::kVerifyFailed, {error});
  const std::string unsignedNote =
      unsignedOn64Bit ? "\r\n" + FormatText(texts::kVerifyUnsignedOn64, {std::to_string(unsignedOn64Bit)}) : "";
  if (issues.empty()) return FormatText(texts::kVerifyAllMatch, {std::to_string(filesChecked)}) + unsignedNote;
  std::string text = FormatText(texts::kVerifyMismatch, {std::to_string(issues.size()), std::to_string(filesChecked)});
  for (std::size_t i = 0; i < issues.size() && i < kDriversInMessage; ++i) {
    const VerifyIssue& issue = issues[i];
    const char* pattern = issue.kind == VerifyIssueKind::Missing      ? texts::kVerifyMissing
                          : issue.kind == VerifyIssueKind::Unexpected ? texts::kVerifyUnexpected
                          : issue.kind == VerifyIssueKind::Unreadable ? texts::kVerifyUnreadable
                          : issue.kind == VerifyIssueKind::Link       ? texts::kVerifyLink
                          : issue.kind == VerifyIssueKind::Duplicate  ? texts::kVerifyDuplicate
                          : issue.kind == VerifyIssueKind::Signature  ? texts::kVerifySignature
                                                                      : texts::kVerifyChanged;
    text += "\r\n" + FormatText(pattern, {issue.path, issue.detail});
  }
  if (issues.size() > kDriversInMessage) text += "\r\n...";
  return text + unsignedNote;
}

FolderContents FilesBelow(const std::string& folder, const FileSystem& fs) {
  FolderContents found;
  std::vector<std::string> pending{folder};
  while (!pending.empty()) {
    const std::string dir = std::move(pending.back());
    pending.pop_back();
    const DirListing listing = fs.listDir(dir);
    if (!listing.result) {
      found.unlisted.push_back({dir, listing.result});
      continue;
    }
    // Names that Windows would take for one: neither is looked into, since which of
    // them a copy on NTFS keeps is up to the order of copying.
    std::unordered_map<std::string, std::vector<const DirEntry*>> byFolded;
    for (const DirEntry& e : listing.entries) byFolded[FoldFileName(e.name)].push_back(&e);
    for (const DirEntry& e : listing.entries) {
      const std::string path = dir + "\\" + e.name;
      const auto& same = byFolded[FoldFileName(e.name)];
      if (same.size() > 1) {
        found.twins.push_back({path, same.front() == &e ? same.back()->name : same.front()->name});
      } else if (e.link || (IsWindowsFileName(e.name) && fs.isLink(path))) {
        // Wine shows a Unix link as a plain entry; isLink tells it. A device's name
        // (AUX.inf) is never opened to ask: that would open the device, not the file.
        found.links.push_back(path);
      } else {
        (e.kind == EntryKind::Folder ? pending : found.files).push_back(path);
      }
    }
  }
  return found;
}

}  // namespace qelvaro
