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
    json.key("drivers");
    json.beginArray();
    for (const auto& [driver, issues] : byDriver(report)) {
      json.beginObject();
      json.key("driver");
      json.value(driver);
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
      const bool inside = issue->path.size() > driver.size();
      out << " " << kindName(issue->kind) << " "
          << ShownText(inside ? issue->path.substr(driver.size() + 1) : issue->path);
      if (issue->kind == VerifyIssueKind::Duplicate) out << " (differs only in case from " << ShownText(issue->detail) << ")";
      else if (issue->kind == VerifyIssueKind::Link) out << " (a link, never followed)";
      else if (!issue->detail.empty()) out << " (" << ShownText(issue->detail) << ")";
      out << ";";
    }
    out << "\n";
  }
  out << report.filesChecked << (report.filesChecked == 1 ? " file" : " files") << " of the " << formName(report.form)
      << " " << ShownText(path) << " checked";
  out << (report.checksumList ? " against SHA256SUMS" : " by their CRCs only: this backup carries no SHA256SUMS");
  if (!report.issues.empty()) out << "; " << report.issues.size() << " do not match\n";
  else if (report.checksumList) out << "; everything matches\n";
  else out << "; the CRCs match, but there is no list to compare the files with\n";
}

}  // namespace

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
