#include "driver_inventory.h"

#include <map>

#include "driver_store.h"
#include "folder_ids.h"
#include "inf_install_model.h"
#include "md_ini_inf.h"
#include "md_registry.h"
#include "text_encoding.h"

namespace qelvaro {

bool IsMicrosoftProvider(const std::string& provider) {
  return provider.empty() || asciiLowerCopy(provider) == "microsoft";
}

std::string DriverInstallSection(const Registry& registry, const std::string& keyPath, const std::string& classRoot) {
  const std::string path = classRoot + "\\" + keyPath;
  const std::string section =
      VariantText(ReadRegistryValue(registry, RegistryRoot::LocalMachine, path, "InfSection"));
  if (section.empty()) return {};
  return section + VariantText(ReadRegistryValue(registry, RegistryRoot::LocalMachine, path, "InfSectionExt"));
}

std::string InfClassDescriptions::describe(const std::string&, const std::string& classDesc) const {
  // "@name.inf,%key%;fallback": the INF in the INF folder, its string for `key`.
  if (classDesc.size() < 2 || classDesc[0] != '@') return {};
  const std::string body = classDesc.substr(1, classDesc.find(';') == std::string::npos ? std::string::npos
                                                                                           : classDesc.find(';') - 1);
  const auto comma = body.find(',');
  if (comma == std::string::npos) return {};
  const std::string file = body.substr(0, comma), key = body.substr(comma + 1);
  if (!IsPlainEntryName(file) || key.size() < 3 || key.front() != '%' || key.back() != '%') return {};
  if (!iequalsAscii(std::string_view(file).substr(file.size() >= 4 ? file.size() - 4 : 0), ".inf")) return {};
  const auto doc = LoadIniFile(InfDir(folders_) + "\\" + file, fs_);
  if (!doc) return {};
  std::string text = InfIndex(*doc).resolve(key);
  return text == key ? std::string() : text;
}

std::string ClassDisplayName(const std::string& defaultValue, const std::string& classGuid,
                             const std::string& classDesc, const std::string& className,
                             const ClassDescriptions* source) {
  if (!defaultValue.empty()) return defaultValue;
  if (!classDesc.empty() && source) {
    if (std::string text = source->describe(classGuid, classDesc); !text.empty()) return text;
  }
  if (const auto semicolon = classDesc.find(';'); semicolon != std::string::npos && semicolon + 1 < classDesc.size()) {
    return classDesc.substr(semicolon + 1);
  }
  return className;
}

DriverInventory ScanDrivers(const Registry& registry, Ui& ui, bool hideMicrosoft,
                            const std::string& classRoot, const ClassDescriptions* classDescriptions) {
  const RegistryRoot hklm = RegistryRoot::LocalMachine;
  const std::string prefix = classRoot + "\\";
  DriverInventory inventory;

  struct Instance {
    std::string classKey;  // the class subkey name
    std::string key;       // class subkey \ driver subkey
  };
  std::vector<Instance> instances;
  bool complete = true;
  const std::vector<std::string> classKeys = EnumSubKeyNames(registry, hklm, classRoot, ui, &complete);
  if (!complete) inventory.unreadableKeys.push_back(classRoot);
  for (const auto& classKey : classKeys) {
    for (const auto& driverKey : EnumSubKeyNames(registry, hklm, prefix + classKey, ui, &complete)) {
      instances.push_back({classKey, classKey + "\\" + driverKey});
      inventory.driverKeys.push_back(instances.back().key);
    }
    if (!complete) inventory.unreadableKeys.push_back(prefix + classKey);
  }

  std::map<std::string, std::pair<std::string, std::string>> classNames;  // class key -> name, display name
  for (const auto& instance : instances) {
    const std::string driverPath = prefix + instance.key;
    // The class key is known from the scan itself, so instance names of any length
    // find their class.
    const std::string classPath = prefix + instance.classKey;
    DriverRecord record;
    record.provider = VariantText(ReadRegistryValue(registry, hklm, driverPath, "ProviderName"));
    // A class's names are read once, however many drivers it has (an indirect name
    // may mean reading an INF).
    auto [names, added] = classNames.try_emplace(instance.classKey);
    if (added) {
      names->second.first = VariantText(ReadRegistryValue(registry, hklm, classPath, "Class"));
      names->second.second =
          ClassDisplayName(VariantText(ReadRegistryValue(registry, hklm, classPath, "")), instance.classKey,
                           VariantText(ReadRegistryValue(registry, hklm, classPath, "ClassDesc")),
                           names->second.first, classDescriptions);
    }
    record.className = names->second.first;
    record.classDisplayName = names->second.second;
    record.description = VariantText(ReadRegistryValue(registry, hklm, driverPath, "DriverDesc"));
    record.infName = VariantText(ReadRegistryValue(registry, hklm, driverPath, "InfPath"));
    record.keyPath = instance.key;
    if (record.description.empty()) continue;
    if (hideMicrosoft && IsMicrosoftProvider(record.provider)) continue;
    record.installSection = DriverInstallSection(registry, instance.key, classRoot);
    inventory.drivers.push_back(std::move(record));
  }
  return inventory;
}

}  // namespace qelvaro
