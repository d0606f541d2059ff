#include "cmd_backup.h"

#include <map>
#include <set>
#include <string_view>

#include "backup_collector.h"
#include "backup_root.h"
#include "backup_manifest.h"
#include "checksum_list.h"
#include "console_ui.h"
#include "device_index.h"
#include "driver_inventory.h"
#include "base/text_encoding.h"
#include "sfx_packaging.h"
#include "shown_text.h"
#include "zip_packaging.h"

namespace qelvaro {
namespace {

constexpr std::string_view kUsage =
    "usage: qelvaro backup --to DIR [--all] [--class NAME]... [--format folder|zip|sfx] [--arch x86|amd64|arm64]\n"
    "                      [--present-only]\n"
    "       qelvaro backup --image ROOT [--allow-dirty] --to DIR [same options]\n";

class RecordRows final : public DriverRowSource {
 public:
  RecordRows(std::vector<DriverRecord> records, const Registry& registry, const DeviceIndex& devices)
      : records_(std::move(records)), registry_(registry), devices_(devices) {}
  std::size_t rowCount() const override { return records_.size(); }
  bool rowTicked(std::size_t) const override { return true; }
  DriverRow rowAt(std::size_t row) const override {
    const DriverRecord& r = records_[row];
    return DriverRow{r.description, r.className, r.infName, r.installSection,
                     DriverDeviceIds(registry_, r.keyPath, devices_, kClassRoot)};
  }

 private:
  std::vector<DriverRecord> records_;
  const Registry& registry_;
  const DeviceIndex& devices_;
};

// One line per driver as the run goes.
class LineSink final : public BackupSink {
 public:
  explicit LineSink(std::ostream& out) : out_(out) {}
  void driverDone(const DriverReport& report) override {
    // The names come from the registry and the INFs: shown escaped.
    if (!report.problem().empty()) {
      out_ << "FAILED " << ShownText(report.problem()) << "\n";
    } else {
      out_ << "ok     \"" << ShownText(report.driver.description) << "\" (" << ShownText(report.driver.infName)
           << "): " << report.copied.size() << (report.copied.size() == 1 ? " file" : " files")
           << (report.package.empty() ? "" : ", the package from the driver store")
           << (report.relatedTo.empty() ? "" : ", with \"" + ShownText(report.relatedTo) + "\"") << "\n";
    }
    out_.flush();
  }

 private:
  std::ostream& out_;
};

}  // namespace

std::string_view BackupUsage() { return kUsage; }

int RunBackupCommand(const Args& args, BackupSystem& system, std::ostream& out, std::ostream& err,
                     bool progressBar) {
  std::string target;
  std::string format = "folder";
  bool all = false, presentOnly = false;
  std::vector<std::string> classes;
  MachineArch arch = system.arch;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--arch") {
      if (i + 1 >= args.size() || !ParseMachineArch(args[i + 1], arch)) {
        err << "qelvaro backup: --arch needs x86, amd64 or arm64\n" << kUsage;
        return 2;
      }
      ++i;
    } else if (a == "--to" || a == "--class" || a == "--format") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        err << "qelvaro backup: " << a << " needs a value\n" << kUsage;
        return 2;
      }
      (a == "--to" ? target : a == "--format" ? format : classes.emplace_back()) = args[++i];
    } else if (a == "--all") {
      all = true;
    } else if (a == "--present-only") {
      presentOnly = true;
    } else {
      err << "qelvaro backup: unknown argument '" << a << "'\n" << kUsage;
      return 2;
    }
  }
  if (target.empty()) {
    err << "qelvaro backup: --to is required\n" << kUsage;
    return 2;
  }
  std::optional<std::vector<std::string>> present;
  if (presentOnly && !(system.presentDevices && (present = system.presentDevices()))) {
    err << "qelvaro backup: --present-only needs to know which devices are plugged in, which only the running "
           "Windows can tell\n";
    return 2;
  }
  if (format != "folder" && format != "zip" && format != "sfx") {
    err << "qelvaro backup: unknown format '" << format << "' (folder, zip or sfx)\n";
    return 2;
  }
  std::string setupExe, stub, icon, why = "this build carries no self-extractor";
  if (format == "sfx" && !(system.sfxPayloads && system.sfxPayloads(setupExe, stub, icon, why))) {
    err << "qelvaro backup: " << why << "; use --format folder or zip\n";
    return 2;
  }

  if (!system.fs.exists(target, AttrMask::Folder)) {
    err << "qelvaro backup: the folder '" << target << "' does not exist\n";
    return 2;
  }

  ConsoleUi ui(err, "backup");
  DriverInventory inventory = ScanDrivers(system.registry, ui, !all, kClassRoot, system.classDescriptions);
  // Unreadable parts of the device tree matter (and are named) only when presence decides.
  const DeviceIndex devices = DeviceIndex::Read(system.registry, present ? &ui : nullptr);
  std::set<std::string> plugged;
  if (present) {
    for (const auto& id : *present) plugged.insert(asciiLowerCopy(id));
  }
  std::vector<DriverRecord> chosen;
  for (auto& d : inventory.drivers) {
    bool wanted = classes.empty();
    for (const auto& c : classes) wanted = wanted || iequalsAscii(c, d.className);
    if (wanted && present) {
      // A driver whose device is gone (or that serves none) is left out, and said so.
      const std::string instance = devices.instanceOf(d.keyPath);
      if (!plugged.count(asciiLowerCopy(instance))) {
        out << "skipped \"" << ShownText(d.description) << "\" (" << ShownText(d.infName) << "): "
            << (instance.empty() ? std::string("no device uses it") : instance + " is not plugged in") << "\n";
        continue;
      }
    }
    if (wanted) chosen.push_back(std::move(d));
  }
  if (chosen.empty()) {
    err << "qelvaro backup: no driver to back up\n";
    return 1;
  }

  const std::string named = BackupRoot(target);
  const auto zipPath = [&](const std::string& p) { return system.zipPath ? system.zipPath(p) : p; };
  const auto shown = [&](const std::string& p) { return system.shownPath ? system.shownPath(p) : p; };
  // A package is collected in a folder of this run's own: only that is packed and deleted.
  std::string root = named;
  if (format != "folder") {
    FsResult why;
    const auto fresh = MakeCollectingFolder(system.fs, named, why);
    if (!fresh) {
      err << "qelvaro backup: cannot create a folder to collect the backup in beside " << shown(named) << ": "
          << why.describe() << "\n";
      return 1;
    }
    root = *fresh;
  }
  RecordRows rows(std::move(chosen), system.registry, devices);
  LineSink sink(out);
  BackupCollector collector(system.folders, system.fs, system.store, arch);
  const BackupResult result = collector.run(rows, root, sink);

  // A driver with a file missing has its line FAILED: it is not counted as backed up.
  std::size_t files = 0, whole = 0;
  for (const auto& d : result.drivers) {
    files += d.copied.size();
    whole += d.problem().empty() ? 1 : 0;
  }
  const std::size_t skippedDrivers = result.skippedDrivers();
  out << whole << " of " << result.drivers.size() << " drivers backed up, "
      << files << " files, into " << shown(root);
  if (!result.complete()) {
    out << "; " << skippedDrivers << " drivers and " << result.skippedFiles() << " files skipped";
    if (result.missingFiles() > 0) out << ", " << result.missingFiles() << " files not found";
  }
  out << "\n";
  // Drivers below a key that could not be listed were not even seen: not a whole backup.
  const bool complete = result.complete() && inventory.unreadableKeys.empty();
  // backup.json and the checksum list go in last, the list over every file of the
  // backup (a package's restore program included), once nothing more is written into it.
  const BackupOrigin origin{arch, ReadWindowsVersion(system.registry), UtcNow(), ReadWindowsName(system.registry),
                            system.ansiCodePage};
  const auto writeSums = [&] {
    std::string failedPath;
    if (const FsResult r = SealBackup(system.fs, root, result, origin, failedPath); !r) {
      err << "qelvaro backup: cannot write backup.json and SHA256SUMS: " << shown(failedPath) << ": " << r.describe() << "\n";
      return false;
    }
    return true;
  };
  const auto unpacked = [&] {
    err << "qelvaro backup: nothing was packed; the backup stays in " << shown(root) << "\n";
    return 1;
  };
  if (format == "folder") {
    if (skippedDrivers == result.drivers.size()) return 1;
    return writeSums() && complete ? 0 : 1;
  }
  if (skippedDrivers == result.drivers.size()) {
    (void)system.fs.deleteTree(root);  // this run's own folder, with nothing in it to pack
    return 1;
  }

  const bool sfx = format == "sfx";
  const std::string packageFile = named + (sfx ? ".exe" : ".zip");
  int shownPercent = -1;
  const auto bar = [&](std::int16_t percent) {
    if (!progressBar || percent == shownPercent) return;
    shownPercent = percent;
    out << "\r[" << std::string(static_cast<std::size_t>(percent / 5), '#')
        << std::string(static_cast<std::size_t>(20 - percent / 5), ' ') << "] " << percent << "%" << std::flush;
  };
  ZipOutcome zipped;
  if (sfx) {
    // The restore program is packed with the drivers; the stub and the icon are only
    // read while packing, from beside the package, and go again afterwards.
    const std::string scratch = root + ".sfx";
    const std::string stubFile = scratch + "\\sfx.bin", iconFile = scratch + "\\icon.ico";
    FsResult wrote = system.fs.writeFile(root + "\\setup.exe", setupExe);
    bool scratchMade = false;
    if (wrote.ok() && !writeSums()) return unpacked();
    if (wrote.ok()) scratchMade = (wrote = system.fs.createNewDir(scratch)).ok();
    if (wrote.ok()) wrote = system.fs.writeFile(stubFile, stub);
    if (wrote.ok() && !icon.empty()) wrote = system.fs.writeFile(iconFile, icon);
    if (wrote.ok()) {
      zipped = PackBackupAsSfx(zipPath(root), zipPath(packageFile), zipPath(stubFile),
                               icon.empty() ? std::string() : zipPath(iconFile), bar, nullptr);
    } else {
      zipped.code = -1;
      zipped.description = "could not write the self-extractor's files next to " + shown(root);
    }
    if (scratchMade) (void)system.fs.deleteTree(scratch);  // never a folder this run did not make
  } else {
    if (!writeSums()) return unpacked();
    zipped = PackBackupAsZip(zipPath(root), zipPath(packageFile), bar, nullptr);
  }
  if (shownPercent >= 0) out << "\n";
  if (!zipped.ok()) {
    // The collected files are the only copy: they stay where they are.
    err << "qelvaro backup: packing failed: " << zipped.description << " (" << zipped.code
        << "); the backup stays in " << shown(root) << "\n";
    return 1;
  }
  const FsResult removed = DeleteDir(root, system.fs);
  out << "packed into " << shown(packageFile) << "\n";
  if (!removed.ok()) err << "qelvaro backup: could not remove " << shown(root) << " after packing\n";
  return complete ? 0 : 1;
}

}  // namespace qelvaro
