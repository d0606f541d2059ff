#include "cmd_restore.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "json_writer.h"
#include "code_page_file_system.h"
#include "setupapi_codes.h"
#include "shown_text.h"

namespace qelvaro {
namespace {

using restore::DriverResult;
using restore::DriverStatus;
using restore::RestoreItem;

constexpr std::string_view kUsage =
    "usage: qelvaro restore FOLDER [--all | --driver TEXT]... [--matching] [--dry-run] [--json]\n"
    "                       [--arch x86|amd64|arm64] [--code-page N]\n";

struct Options {
  std::string folder;
  bool all = false;
  std::vector<std::string> drivers;
  bool dryRun = false;
  bool json = false;
  bool matching = false;  // only drivers that fit a device plugged in now
  std::string arch;
  unsigned codePage = 0;  // the ANSI code page of the backup's Windows (936), else this system's
};

bool parse(const Args& args, Options& o, std::ostream& err) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--all") o.all = true;
    else if (a == "--dry-run") o.dryRun = true;
    else if (a == "--json") o.json = true;
    else if (a == "--matching") o.matching = true;
    else if (a == "--driver" && i + 1 < args.size()) o.drivers.push_back(args[++i]);
    else if (a == "--arch" && i + 1 < args.size()) o.arch = args[++i];
    else if (a == "--code-page" && i + 1 < args.size() && !args[i + 1].empty() && args[i + 1].size() < 6 &&
             args[i + 1].find_first_not_of("0123456789") == std::string::npos) {
      o.codePage = static_cast<unsigned>(std::stoul(args[++i]));
    }
    else if (!a.empty() && a[0] != '-' && o.folder.empty()) o.folder = a;
    else {
      err << "qelvaro restore: unexpected argument '" << a << "'\n" << kUsage;
      return false;
    }
  }
  if (o.folder.empty()) {
    err << kUsage;
    return false;
  }
  return true;
}

std::string joinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

// What the line adds of the signature of a driver that goes on: who signed it, the
// warning 32-bit Windows gives, and a refusal Windows' own check gave.
std::string signatureNote(const DriverResult& r) {
  std::string note;
  if (r.signatureDecision.verdict == restore::SignatureVerdict::InstallWithWarning) {
    note = "; " + restore::DescribeSignatureDecision(r.signatureDecision);
  } else if (r.signature && !r.signature->signer.empty()) {
    note = "; signed by " + r.signature->signer;
  }
  if (r.windowsTrust && r.windowsTrust->code != 0) {
    note += "; Windows' own check refuses " + r.windowsTrust->file + ": " +
            restore::DescribeInstallError(r.windowsTrust->code, r.windowsTrust->systemText);
  }
  return note;
}

// What happened to the driver.
std::string outcome(const DriverResult& r, MachineArch arch) {
  switch (r.status) {
    case DriverStatus::Installed:
      return r.install.storedInf + ", " + std::to_string(r.install.devicesUpdated) +
             (r.install.devicesUpdated == 1 ? " device" : " devices");
    case DriverStatus::Staged:
      if (r.install.devicesKept > 0) {
        return r.install.storedInf + " in the driver store; the device keeps an equal or newer driver";
      }
      return r.install.storedInf + " in the driver store, device not present";
    case DriverStatus::NeedsRestart: return r.install.storedInf + ", finishes after a restart";
    case DriverStatus::Incomplete: return "missing " + joinNames(r.missing);
    case DriverStatus::Ready: return "complete, would be installed";
    case DriverStatus::Unsupported:
      return r.installerCalled ? "this Windows is not supported yet (ARM64)"
                               : "no models for " + std::string(ArchDecoration(arch));
    case DriverStatus::Failed: break;
  }
  if (!r.unsafe.empty()) return r.problem + ": " + joinNames(r.unsafe);
  if (!r.badNames.empty()) return r.problem + ": " + joinNames(r.badNames);
  if (!r.damaged.empty()) return r.problem + ": " + joinNames(r.damaged);
  if (!r.links.empty()) return r.problem + ": " + joinNames(r.links);
  if (!r.problem.empty()) return r.problem;
  return restore::DescribeInstallError(r.install.code, r.install.systemText);
}

// What the line says after the driver's name.
std::string detail(const DriverResult& r, MachineArch arch) {
  const std::string said = outcome(r, arch);
  return restore::StatusSucceeded(r.status) || r.installerCalled ? said + signatureNote(r) : said;
}

const char* fitName(restore::Fit fit) {
  switch (fit) {
    case restore::Fit::Present: return "present";
    case restore::Fit::NotConnected: return "not connected";
    case restore::Fit::NewerInstalled: return "newer installed";
    case restore::Fit::None: break;
  }
  return "none";
}

// Why `--matching` leaves a driver out.
std::string unmatched(const restore::DriverFit& fit, const std::vector<restore::PcDevice>& devices) {
  switch (fit.fit) {
    case restore::Fit::NotConnected: return "fits " + devices[fit.match.device].name + ", which is not connected";
    case restore::Fit::NewerInstalled: return devices[fit.match.device].name + " has a newer driver";
    case restore::Fit::Present:
    case restore::Fit::None: break;
  }
  return "fits no device of this PC";
}

// The backup read through `fs`, the driver packages written below a staging folder this
// run has just made: there every folder and file is new, created exclusively, so that
// an entry planted in between (a link to a system folder or file) fails the driver
// instead of receiving its files.
class StagingFileSystem final : public ForwardingFileSystem {
 public:
  // An empty `staging` (a dry run) writes nothing anywhere.
  StagingFileSystem(FileSystem& fs, const std::string& staging)
      : ForwardingFileSystem(fs), staging_(staging.empty() ? std::string() : staging + "\\") {}
  FsResult createDir(const std::string& path) override {
    return staged(path) ? inner().createNewDir(path) : inner().createDir(path);
  }
  FsResult copyFile(const std::string& from, const std::string& to) override {
    return staged(to) ? inner().copyNewFile(from, to) : inner().copyFile(from, to);
  }
  FsResult copyFileHashed(const std::string& from, const std::string& to, std::string& sha256) override {
    return staged(to) ? inner().copyNewFileHashed(from, to, sha256) : inner().copyFileHashed(from, to, sha256);
  }
  FsResult writeFile(const std::string& path, std::string_view bytes) override {
    if (staged(path)) return FsResult::Failure(FsError::NotSupported);
    return inner().writeFile(path, bytes);
  }

 private:
  bool staged(const std::string& path) const { return !staging_.empty() && path.rfind(staging_, 0) == 0; }
  std::string staging_;
};

}  // namespace

int RunRestoreCommand(const Args& args, RestoreSystem& system, std::ostream& out, std::ostream& err) {
  Options o;
  if (!parse(args, o, err)) return 2;
  MachineArch arch = system.arch;
  if (!o.arch.empty()) {
    if (!ParseMachineArch(o.arch, arch)) {
      err << "qelvaro restore: unknown architecture '" << o.arch << "'\n" << kUsage;
      return 2;
    }
    if (arch != system.arch && !o.dryRun) {
      err << "qelvaro restore: --arch other than this machine's works with --dry-run only\n";
      return 2;
    }
  }
  if (o.matching && !system.listDevices) {
    err << "qelvaro restore: --matching needs the devices of a running Windows\n";
    return 2;
  }
  if (!o.dryRun && !system.installer) {
    err << "qelvaro restore: " << system.cannotInstall << "\n";
    return 1;
  }

  // ANSI INFs are read in the code page of the Windows they came from, where it is not
  // this system's (a Chinese backup checked on Linux): --code-page, else the one the
  // backup's backup.json records.
  FileSystem* fs = &system.fs;
  if (o.codePage != 0 && !AnsiDecoderForCodePage(o.codePage)) {
    err << "qelvaro restore: code page " << o.codePage << " cannot be read here\n";
    return 2;
  }

  JsonWriter json(out);
  // With --json every outcome, a refusal included, is one whole document.
  auto refuse = [&](const std::string& message) {
    err << "qelvaro restore: " << message << "\n";
    if (o.json) {
      json.beginObject();
      json.key("drivers");
      json.beginArray();
      json.endArray();
      json.key("error");
      json.value(message);
      json.key("exitCode");
      json.value(1LL);
      json.endObject();
      out << "\n";
    }
    return 1;
  };
  const restore::RestoreCatalog catalog =
      restore::LoadRestoreCatalog(*fs, system.folderPath(o.folder), arch, AnsiDecoderForCodePage, o.codePage);
  if (!catalog.search.result) {
    return refuse("cannot list " + o.folder + ": " + catalog.search.result.describe());
  }
  for (const auto& p : catalog.search.problems) err << "qelvaro restore: cannot list " << ShownText(p) << "\n";
  if (catalog.unreadableCodePage) {
    err << "qelvaro restore: warning: this backup's ANSI INFs are in code page " << catalog.unreadableCodePage
        << ", which cannot be read here; they are read in this system's (--code-page N names another)\n";
  }
  if (catalog.backupArch && *catalog.backupArch != arch) {
    err << "qelvaro restore: warning: this backup comes from " << ArchDecoration(*catalog.backupArch)
        << " Windows and this machine is " << ArchDecoration(arch);
    const std::vector<std::string> cannot = restore::DriversNotForThisArch(catalog);
    if (!cannot.empty()) err << "; these drivers have no " << ArchDecoration(arch) << " version: " << joinNames(cannot);
    err << "\n";
  }

  // The devices are listed only for what uses them: --matching, and --json's columns.
  const bool matchDevices = system.listDevices && (o.matching || o.json);
  const std::vector<restore::PcDevice> devices =
      matchDevices ? system.listDevices() : std::vector<restore::PcDevice>();
  // No PC is without devices: an empty list means they could not be listed, and
  // --matching would wrongly leave every driver out.
  if (o.matching && devices.empty()) return refuse("the devices of this PC cannot be listed");
  std::vector<const RestoreItem*> chosen, unfit;
  std::vector<restore::DriverFit> fits(catalog.items.size());
  for (std::size_t i = 0; i < catalog.items.size(); ++i) {
    const RestoreItem& item = catalog.items[i];
    fits[i] = restore::FitDriver(item.package.modelLines, item.package.driverVer, item.package.provider, devices);
    bool take = o.all || o.drivers.empty();
    for (const auto& text : o.drivers) take = take || restore::DriverMatches(item, text);
    // A driver with a link in the backup fits no question of devices: it fails, named.
    if (take && o.matching && fits[i].fit != restore::Fit::Present && item.driver.link.empty()) unfit.push_back(&item);
    else if (take) chosen.push_back(&item);
  }
  auto fitOf = [&](const RestoreItem& item) -> const restore::DriverFit& {
    return fits[static_cast<std::size_t>(&item - catalog.items.data())];
  };
  // Said first, so that a run left with nothing to install still tells why.
  for (const RestoreItem* item : unfit) {
    if (!o.json) out << "skipped    \"" << ShownText(item->description()) << "\" (" << ShownText(item->driver.location())
                     << "): " << ShownText(unmatched(fitOf(*item), devices)) << "\n";
  }
  if (chosen.empty()) {
    std::string why = "matches";
    if (catalog.items.empty()) why = "found below " + o.folder;
    else if (!unfit.empty()) why = "fits a device of this PC";
    return refuse("no driver " + why);
  }

  if (o.json) {
    json.beginObject();
    json.key("drivers");
    json.beginArray();
  }
  std::vector<DriverStatus> statuses;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const RestoreItem& item = *chosen[i];
    std::string staging;
    FsResult made;
    if (!o.dryRun) {
      staging = system.stagingRoot + "\\" + std::to_string(i + 1);
      made = system.fs.createNewDir(staging);
    }
    DriverResult r;
    if (made) {
      StagingFileSystem stagingFs(*fs, staging);
      r = restore::RestoreDriver(stagingFs, item, staging, o.dryRun ? nullptr : system.installer);
    } else {
      // This driver fails; the output stays whole and the others are still tried.
      r.problemKind = restore::Problem::StagingFailed;
      r.problem = "cannot make " + staging + ": " + made.describe();
      err << "qelvaro restore: " << r.problem << "\n";
    }
    statuses.push_back(r.status);
    if (o.json) {
      json.beginObject();
      json.key("description");
      json.value(item.description());
      json.key("inf");
      json.value(item.driver.location());
      json.key("class");
      json.value(item.package.className);
      json.key("provider");
      json.value(item.package.provider);
      json.key("version");
      json.value(restore::DisplayDriverVersion(item.package.driverVer));
      if (matchDevices) {
        const restore::DriverFit& fit = fitOf(item);
        json.key("fit");
        json.value(std::string_view(fitName(fit.fit)));
        json.key("device");
        json.value(fit.match.found() ? devices[fit.match.device].name : std::string());
        json.key("deviceInstance");
        json.value(fit.match.found() ? devices[fit.match.device].instanceId : std::string());
        json.key("matchedId");
        json.value(fit.match.matchedId);
      }
      json.key("status");
      json.value(std::string_view(DriverStatusName(r.status)));
      json.key("detail");
      json.value(detail(r, arch));
      json.key("missing");
      json.beginArray();
      for (const auto& m : r.missing) json.value(m);
      json.endArray();
      if (r.signature) {
        json.key("signature");
        json.value(SignatureKindWord(r.signature->kind));
        json.key("signer");
        json.value(r.signature->signer);
        json.key("catalog");
        json.value(r.signature->catalog);
        json.key("notCovered");
        json.beginArray();
        for (const auto& name : r.signature->notCovered) json.value(name);
        json.endArray();
        if (r.signatureDecision.verdict == restore::SignatureVerdict::InstallWithWarning) {
          json.key("signatureWarning");
          json.value(restore::DescribeSignatureDecision(r.signatureDecision));
        }
      }
      if (r.windowsTrust) {
        // Windows' own answer, reported: 0 when it accepts every file.
        json.key("windowsTrust");
        json.value(static_cast<long long>(r.windowsTrust->code));
      }
      if (r.installerCalled) {
        json.key("code");
        json.value(static_cast<long long>(r.install.code));
        json.key("storedInf");
        json.value(r.install.storedInf);
      }
      json.endObject();
    } else {
      std::string word = DriverStatusName(r.status);
      word.resize(std::max<std::size_t>(11, word.size() + 1), ' ');
      // The names come from the backup's folders and INFs: shown escaped.
      out << word << "\"" << ShownText(item.description()) << "\" (" << ShownText(item.driver.location())
          << "): " << ShownText(detail(r, arch)) << "\n";
      out.flush();
    }
  }
  int code = restore::RestoreExitCode(statuses);
  // A folder that could not be listed may hold drivers that were not restored.
  if (!catalog.search.problems.empty() && code != 1) code = 1;
  if (o.json) {
    json.endArray();
    if (o.matching) {
      // Left out by --matching: not installed, and no failure.
      json.key("skipped");
      json.beginArray();
      for (const RestoreItem* item : unfit) {
        json.beginObject();
        json.key("description");
        json.value(item->description());
        json.key("inf");
        json.value(item->driver.location());
        json.key("fit");
        json.value(std::string_view(fitName(fitOf(*item).fit)));
        json.key("detail");
        json.value(unmatched(fitOf(*item), devices));
        json.endObject();
      }
      json.endArray();
    }
    json.key("unlisted");
    json.beginArray();
    for (const auto& p : catalog.search.problems) json.value(p);
    json.endArray();
    json.key("exitCode");
    json.value(static_cast<long long>(code));
    json.endObject();
    out << "\n";
  } else if (code == 3010) {
    out << "A restart of Windows finishes the installation.\n";
  }
  return code;
}

}  // namespace qelvaro
