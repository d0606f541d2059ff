#include "offline_image.h"

#include <cstdlib>

#include "hive_header.h"
#include "hive_log_replay.h"
#include "md_registry.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

std::string join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
  return folder + "\\" + name;
}

// The transaction logs beside a hive, as the folder spells them. Found by listing,
// since Windows keeps them hidden and an existence test does not admit hidden files.
std::string shown(const OfflineImageOptions& options, const std::string& path) {
  return options.shownPath ? options.shownPath(path) : path;
}

std::vector<std::string> logFilesOf(const FileSystem& fs, const std::string& folder, const std::string& hive) {
  std::vector<std::string> logs;
  const DirListing listing = fs.listDir(folder);
  for (const char* suffix : {".LOG", ".LOG1", ".LOG2"}) {
    for (const DirEntry& e : listing.entries) {
      if (e.kind == EntryKind::File && iequalsAscii(e.name, hive + suffix)) logs.push_back(join(folder, e.name));
    }
  }
  return logs;
}

// Checks and opens one hive file; `optional` hives that are absent give null and no error.
std::unique_ptr<Hive> openHive(const FileSystem& fs, const std::string& configDir, const std::string& name,
                               bool optional, const HiveOpener& open, const OfflineImageOptions& options,
                               std::vector<std::string>& warnings, std::string& error) {
  const std::string path = join(configDir, name);
  // The base block first, then the bins it declares and nothing after them: a file of
  // gigabytes (a sparse one costs nothing to make) costs no more than the hive it holds,
  // and nothing at all when its base block is not sound.
  std::uint64_t fileSize = 0;
  std::optional<std::string> bytes = fs.readFileHead(path, kHiveBaseBlockSize, fileSize);
  HiveHeader header;
  if (bytes) header = CheckHiveHeader(*bytes, fileSize);
  if (bytes && (header.state == HiveState::Clean || header.state == HiveState::Dirty)) {
    bytes = fs.readFileHead(path, header.declaredSize, fileSize);
    // Checked again on what was read, should the file have changed in between.
    if (bytes) header = CheckHiveHeader(std::string_view(*bytes).substr(0, kHiveBaseBlockSize), bytes->size());
  }
  if (!bytes) {
    if (!optional || fs.exists(path, AttrMask::System)) error = shown(options, path) + " cannot be read";
    return nullptr;
  }
  std::optional<ReplayedHive> replayed;
  if (header.state == HiveState::Dirty) {
    std::vector<HiveLog> logs;
    std::string names;
    for (const std::string& log : logFilesOf(fs, configDir, name)) {
      names += (names.empty() ? "" : ", ") + shown(options, log);
      // Read whole only when its base block shows a log that can apply; the others are
      // passed on as their base block, which tells why they cannot.
      std::uint64_t logSize = 0;
      std::optional<std::string> text = fs.readFileHead(log, kHiveBaseBlockSize, logSize);
      if (text && LogMayApply(header, *text)) text = fs.readFile(log);
      if (text) logs.push_back({shown(options, log), std::move(*text)});
    }
    std::string why;
    replayed = ReplayHiveLogs(*bytes, logs, why);
    const std::string what = DescribeHiveState(header.state, shown(options, path)) +
                             (names.empty() ? std::string(" (no transaction log found beside it)")
                                            : " (" + names + ")");
    if (replayed) {
      warnings.push_back(what + "; " + std::to_string(replayed->entriesApplied) +
                         " log entries replayed into a private copy");
    } else if (!options.allowDirty) {
      error = what + (names.empty() ? "" : ", which cannot be replayed: " + why) +
              ". Start that Windows once and shut it down normally, or pass --allow-dirty to read the "
              "hive as it is, without the changes in the logs";
      return nullptr;
    } else {
      warnings.push_back(what + (names.empty() ? "" : ", which cannot be replayed: " + why) +
                         "; read as it is (--allow-dirty)");
    }
  } else if (header.state != HiveState::Clean) {
    error = DescribeHiveState(header.state, shown(options, path));
    return nullptr;
  }
  std::string why;
  std::unique_ptr<Hive> hive = open(replayed ? replayed->bytes : *bytes, why);
  if (!hive) error = shown(options, path) + " cannot be read: " + (why.empty() ? "it is not a sound registry hive" : why);
  return hive;
}

std::string valueText(const Hive& hive, const std::string& path, const std::string& name) {
  std::unique_ptr<RegistryKey> key;
  if (hive.open(path, key) != kRegSuccess) return {};
  RegistryData data;
  if (key->queryValue(name, data) != kRegSuccess) return {};
  if (data.type != RegistryType::String && data.type != RegistryType::ExpandString) return {};
  return RegistryStringText(data.bytes);
}

}  // namespace

std::optional<MachineArch> MachineArchFromProcessorArchitecture(const std::string& text) {
  if (iequalsAscii(text, "AMD64")) return MachineArch::Amd64;
  if (iequalsAscii(text, "x86")) return MachineArch::X86;
  if (iequalsAscii(text, "ARM64")) return MachineArch::Arm64;
  return std::nullopt;
}

std::unique_ptr<OfflineImage> OpenOfflineImage(const FileSystem& fs, const std::string& root, const HiveOpener& open,
                                               const OfflineImageOptions& options, std::string& error) {
  error.clear();
  const std::string windowsDir = join(root, "Windows");
  if (!fs.exists(windowsDir, AttrMask::Folder)) {
    error = "no Windows folder in " + shown(options, root) + " (give the root of the Windows volume)";
    return nullptr;
  }
  const std::string systemDir = join(windowsDir, "System32");
  const std::string configDir = join(systemDir, "config");

  auto image = std::unique_ptr<OfflineImage>(new OfflineImage());
  std::unique_ptr<Hive> system = openHive(fs, configDir, "SYSTEM", false, open, options, image->warnings_, error);
  if (!system) return nullptr;
  std::unique_ptr<Hive> drivers = openHive(fs, configDir, "DRIVERS", true, open, options, image->warnings_, error);
  if (!error.empty()) return nullptr;

  const std::optional<std::string> controlSet = CurrentControlSetName(*system);
  if (!controlSet) {
    error = shown(options, join(configDir, "SYSTEM")) + " names no current control set (Select\\Current)";
    return nullptr;
  }
  std::unique_ptr<RegistryKey> probe;
  if (system->open(*controlSet, probe) != kRegSuccess) {
    error = shown(options, join(configDir, "SYSTEM")) + " has no " + *controlSet + ", which Select\\Current names";
    return nullptr;
  }

  image->archText_ =
      valueText(*system, *controlSet + "\\Control\\Session Manager\\Environment", "PROCESSOR_ARCHITECTURE");
  image->arch_ = MachineArchFromProcessorArchitecture(image->archText_);
  const std::string acp = valueText(*system, *controlSet + "\\Control\\Nls\\CodePage", "ACP");
  char* end = nullptr;
  const unsigned long cp = std::strtoul(acp.c_str(), &end, 10);
  if (!acp.empty() && end && *end == '\0' && cp > 0 && cp < 65536) image->ansiCodePage_ = static_cast<unsigned>(cp);

  std::unique_ptr<Hive> software;
  if (options.readSoftware) {
    std::string why;
    software = openHive(fs, configDir, "SOFTWARE", true, open, options, image->warnings_, why);
    if (!why.empty()) image->warnings_.push_back(why + "; the Windows version is not recorded");
  }

  image->hasDrivers_ = drivers != nullptr;
  image->registry_ =
      std::make_unique<OfflineRegistry>(std::move(system), std::move(drivers), *controlSet, std::move(software));
  image->folders_ = std::make_unique<FixedSystemFolders>(windowsDir, systemDir);
  return image;
}

}  // namespace qelvaro
