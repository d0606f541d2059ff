#include "driver_store.h"

#include <functional>

#include "folder_ids.h"
#include "package_paths.h"
#include "base/text_encoding.h"

namespace qelvaro {

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

std::optional<std::string> PackageInfName(const std::string& packageFolderName) {
  const std::string lower = asciiLowerCopy(packageFolderName);
  const auto at = lower.rfind(".inf_");
  if (at == std::string::npos || at == 0) return std::nullopt;
  return packageFolderName.substr(0, at + 4);
}

void FileRepositoryDriverStoreLookup::index() const {
  indexed_ = true;
  const std::string repository = folders_.systemDir() + "\\DriverStore\\FileRepository";
  const std::string archPart = "_" + std::string(ArchDecoration(arch_)) + "_";
  for (const DirEntry& e : fs_.listDir(repository).entries) {
    if (e.kind != EntryKind::Folder) continue;
    const auto inf = PackageInfName(e.name);
    if (!inf || asciiLowerCopy(e.name).compare(inf->size(), archPart.size(), archPart) != 0) continue;
    const std::string folder = repository + "\\" + e.name;
    const auto bytes = fs_.readFile(folder + "\\" + *inf);
    if (!bytes) continue;
    packages_.push_back({folder, *inf, bytes->size(), std::hash<std::string>{}(*bytes)});
  }
}

std::optional<std::string> FileRepositoryDriverStoreLookup::packageFolder(const std::string& infName) const {
  if (!IsPlainEntryName(infName)) return std::nullopt;
  const auto published = fs_.readFile(InfDir(folders_) + "\\" + infName);
  if (!published) return std::nullopt;
  if (!indexed_) index();
  const std::size_t hash = std::hash<std::string>{}(*published);
  for (const Package& p : packages_) {
    if (p.size != published->size() || p.hash != hash) continue;
    // A hash is no proof: the bytes are compared.
    if (fs_.readFile(p.folder + "\\" + p.inf) == published) return p.folder;
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
