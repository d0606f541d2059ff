#include "cmd_verify.h"

#include <map>
#include <string_view>

#include "json_writer.h"
#include "shown_text.h"

namespace qelvaro {
namespace {

constexpr std::string_view kUsage = "usage: qelvaro verify PATH [--json]\n";

std::string_view formName(BackupForm form) {
  switch (form) {
    case BackupForm::Zip: return "zip";
    case BackupForm::Package: return "package";
    case BackupForm::Folder: break;
  }
  return "folder";
}

std::string_view kindName(VerifyIssueKind kind) {
  switch (kind) {
    case VerifyIssueKind::Missing: return "missing";
    case VerifyIssueKind::Changed: return "changed";
    case VerifyIssueKind::Unexpected: return "unexpected";
    case VerifyIssueKind::Unreadable: return "unreadable";
    case VerifyIssueKind::Link: return "link";
    case VerifyIssueKind::Duplicate: return "duplicate";
    case VerifyIssueKind::Signature: return "signature";
  }
  return "changed";
}

constexpr VerifyIssueKind kKinds[] = {VerifyIssueKind::Missing,    VerifyIssueKind::Changed,
                                      VerifyIssueKind::Unexpected, VerifyIssueKind::Unreadable,
                                      VerifyIssueKind::Link,       VerifyIssueKind::Duplicate};

// The issues per driver folder, in path order.
std::map<std::string, std::vector<const VerifyIssue*>> byDriver(const VerifyReport& report) {
  std::map<std::string, std::vector<const VerifyIssue*>> drivers;
  for (const VerifyIssue& issue : report.issues) drivers[DriverOfPath(issue.path)].push_back(&issue);
  return drivers;
}

const char* archName(MachineArch arch) {
  switch (arch) {
    case MachineArch::X86: return "x86";
    case MachineArch::Amd64: return "x64";
    case MachineArch::Arm64: return "arm64";
    default: break;
  }
  return "x64";
}


void writeJson(const VerifyReport& report, const std::string& path, std::ostream& out) {
  JsonWriter json(out);
  json.beginObject();
  json.key("path");
  json.value(path);
  if (!report.error.empty()) {
    json.key("error");
    json.value(report.error);
  } else {
    json.key("form");
    json.value(formName(report.form));
    json.key("checksumList");
    json.value(report.checksumList);
    json.key("filesChecked");
    json.value(static_cast<long long>(report.filesChecked));
    if (report.arch) {
      json.key("arch");
      json.value(std::string_view(archName(*report.arch)));
    }
    json.key("drivers");
    json.beginArray();
    // Every driver with a signature or an issue, in path order.
    std::map<std::string, const DriverSignatureCheck*> signatures;
    for (const DriverSignatureCheck& d : report.signatures) signatures[d.driver] = &d;
    auto issuesOf = byDriver(report);
    for (const auto& [driver, check] : signatures) issuesOf[driver];
    for (const auto& [driver, issues] : issuesOf) {
      json.beginObject();
      json.key("driver");
      json.value(driver);
      if (const auto found = signatures.find(driver); found != signatures.end()) {
        WriteSignatureJson(json, found->second->signature, true);
      }
      for (const VerifyIssueKind kind : kKinds) {
        json.key(kindName(kind));
        json.beginArray();
        for (const VerifyIssue* issue : issues) {
          if (issue->kind == kind) json.value(issue->path);
        }
        json.endArray();
      }
      json.endObject();
    }
    json.endArray();
  }
  json.key("exitCode");
  json.value(static_cast<long long>(report.exitCode));
  json.endObject();
  out << "\n";
}

void writeText(const VerifyReport& report, const std::string& path, std::ostream& out, std::ostream& err) {
  // Names come from the checksum list and the archive: shown escaped.
  if (!report.error.empty()) {
    err << "qelvaro verify: " << ShownText(report.error) << "\n";
    return;
  }
  for (const auto& [driver, issues] : byDriver(report)) {
    out << "FAILED " << ShownText(driver) << ":";
    for (const VerifyIssue* issue : issues) {
      out << " ";
      if (issue->kind == VerifyIssueKind::Signature) {
        out << ShownText(issue->detail) << ";";  // "x.sys: not in catalog x.cat"
        continue;
      }
      const bool inside = issue->path.size() > driver.size();
      out << kindName(issue->kind) << " " << ShownText(inside ? issue->path.substr(driver.size() + 1) : issue->path);
      if (issue->kind == VerifyIssueKind::Duplicate) out << " (differs only in case from " << ShownText(issue->detail) << ")";
      else if (issue->kind == VerifyIssueKind::Link) out << " (a link, never followed)";
      else if (!issue->detail.empty()) out << " (" << ShownText(issue->detail) << ")";
      out << ";";
    }
    out << "\n";
  }
  for (const DriverSignatureCheck& d : report.signatures) {
    if (d.signature.kind == SignatureKind::Unsigned) {
      out << "unsigned " << ShownText(d.driver) << ": its INF names no catalog\n";
    }
  }
  if (const std::size_t n = UnsignedOn64Bit(report); n > 0) {
    out << "This backup is for " << archName(report.arch.value_or(MachineArch::Amd64)) << " Windows, which installs no "
        << "unsigned driver: " << n << (n == 1 ? " unsigned driver" : " unsigned drivers") << " will not install there\n";
  }
  if (!report.signatures.empty()) {
    std::map<std::string_view, std::size_t> kinds;
    for (const DriverSignatureCheck& d : report.signatures) ++kinds[SignatureKindWord(d.signature.kind)];
    out << report.signatures.size() << (report.signatures.size() == 1 ? " driver's" : " drivers'")
        << " signatures checked against their catalogs:";
    const char* sep = " ";
    for (const auto& [word, n] : kinds) {
      out << sep << word << " " << n;
      sep = ", ";
    }
    out << "\n";
  }
  out << report.filesChecked << (report.filesChecked == 1 ? " file" : " files") << " of the " << formName(report.form)
      << " " << ShownText(path) << " checked";
  out << (report.checksumList ? " against SHA256SUMS" : " by their CRCs only: this backup carries no SHA256SUMS");
  std::size_t signatureIssues = 0;
  for (const VerifyIssue& issue : report.issues) signatureIssues += issue.kind == VerifyIssueKind::Signature;
  if (report.issues.size() > signatureIssues) {
    out << "; " << report.issues.size() - signatureIssues << " do not match";
    if (signatureIssues > 0) out << ", and Windows would refuse " << signatureIssues << " by their catalogs";
    out << "\n";
  } else if (signatureIssues > 0) {
    out << "; they match, but Windows would refuse " << signatureIssues << " by their catalogs\n";
  }
  else if (report.checksumList) out << "; everything matches\n";
  else out << "; the CRCs match, but there is no list to compare the files with\n";
}

}  // namespace

void WriteSignatureJson(JsonWriter& json, const PackageSignature& signature, bool withNotCovered) {
  json.key("signature");
  json.value(SignatureKindWord(signature.kind));
  json.key("signer");
  json.value(signature.signer);
  json.key("catalog");
  json.value(signature.catalog);
  if (withNotCovered) {
    json.key("notCovered");
    json.beginArray();
    for (const std::string& name : signature.notCovered) json.value(name);
    json.endArray();
  }
  if (!signature.problem.empty()) {
    json.key("signatureProblem");
    json.value(signature.problem);
  }
}

int RunVerifyCommand(const Args& args, const FileSystem& fs, const std::function<std::string(const std::string&)>& toFsPath,
                     const ArchiveOpener& openArchive, std::ostream& out, std::ostream& err) {
  std::string path;
  bool json = false;
  for (const std::string& a : args) {
    if (a == "--json") {
      json = true;
    } else if (path.empty() && !a.empty() && a.rfind("--", 0) != 0) {
      path = a;
    } else {
      err << "qelvaro verify: unexpected argument '" << a << "'\n" << kUsage;
      return kVerifyNotABackup;
    }
  }
  if (path.empty()) {
    err << "qelvaro verify: PATH is required\n" << kUsage;
    return kVerifyNotABackup;
  }
  const VerifyReport report = VerifyBackup(toFsPath ? toFsPath(path) : path, fs, openArchive);
  if (json) writeJson(report, path, out);
  else writeText(report, path, out, err);
  return report.exitCode;
}

}  // namespace qelvaro
