#include "driver_inventory.h"

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

DriverInventory ScanDrivers(const Registry& registry, Ui& ui, bool hideMicrosoft,
                            const std::string& classRoot) {
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

  for (const auto& instance : instances) {
    const std::string driverPath = prefix + instance.key;
    // The class key is known from the scan itself, so instance names of any length
    // find their class.
    const std::string classPath = prefix + instance.classKey;
    DriverRecord record;
    record.provider = VariantText(ReadRegistryValue(registry, hklm, driverPath, "ProviderName"));
    record.classDisplayName = VariantText(ReadRegistryValue(registry, hklm, classPath, ""));
    record.className = VariantText(ReadRegistryValue(registry, hklm, classPath, "Class"));
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
