#include "driver_store.h"

namespace qelvaro {

bool IsPlainEntryName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("\\/:") == std::string::npos && name.find('\0') == std::string::npos;
}

std::optional<std::string> DriverStorePackageFolder(const SystemFolders& folders, const std::string& package) {
  if (!IsPlainEntryName(package)) return std::nullopt;
  return folders.systemDir() + "\\DriverStore\\FileRepository\\" + package;
}

std::optional<std::string> RegistryDriverStoreLookup::packageFolder(const std::string& infName) const {
  if (!IsPlainEntryName(infName)) return std::nullopt;
  for (const char* database : {"SYSTEM\\DriverDatabase", "DRIVERS\\DriverDatabase"}) {
    std::unique_ptr<RegistryKey> key;
    const std::string path = std::string(database) + "\\DriverInfFiles\\" + infName;
    if (registry_.open(RegistryRoot::LocalMachine, path, RegistryAccess::QueryValue, key) != kRegSuccess) {
      continue;
    }
    RegistryData data;
    if (key->queryValue("Active", data) != kRegSuccess) continue;
    // Written as a string; a multi-string's first entry is read the same way.
    if (data.type != RegistryType::String && data.type != RegistryType::MultiString) continue;
    if (auto folder = DriverStorePackageFolder(folders_, RegistryStringText(data.bytes))) return folder;
  }
  return std::nullopt;
}

std::optional<std::string> ChainedDriverStoreLookup::packageFolder(const std::string& infName) const {
  for (const DriverStoreLookup* lookup : lookups_) {
    if (auto folder = lookup->packageFolder(infName)) return folder;
  }
  return std::nullopt;
}

}  // namespace qelvaro
