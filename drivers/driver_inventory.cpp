#include "driver_inventory.h"

#include "driver_store.h"
#include "registry_texts.h"
#include "folder_ids.h"
#include "inf_install_model.h"
#include "md_ini_inf.h"
#include "md_registry.h"
#include "base/text_encoding.h"

namespace qelvaro {

bool IsMicrosoftProvider(const std::string& provider) {
  return provider.empty() || asciiLowerCopy(provider) == "microsoft";
}

namespace {

std::string ValueText(const RegistryKey& key, const std::string& name) {
  RegistryVariant value;
  ReadKeyValue(key, name, value);
  return VariantText(value);
}

}  // namespace

std::string DriverInstallSection(const Registry& registry, const std::string& keyPath, const std::string& classRoot) {
  std::unique_ptr<RegistryKey> key;
  if (registry.open(RegistryRoot::LocalMachine, classRoot + "\\" + keyPath, RegistryAccess::QueryValue, key) !=
      kRegSuccess) {
    return {};
  }
  return DriverInstallSection(*key);
}

std::string DriverInstallSection(const RegistryKey& driverKey) {
  const std::string section = ValueText(driverKey, "InfSection");
  if (section.empty()) return {};
  return section + ValueText(driverKey, "InfSectionExt");
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
  const std::string prefix = classRoot + "\\";
  DriverInventory inventory;
  // Each key is opened below its parent: a class with thousands of drivers is looked
  // through once, not once for every driver.
  std::unique_ptr<RegistryKey> root;
  if (registry.open(RegistryRoot::LocalMachine, classRoot, RegistryAccess::Read, root) != kRegSuccess || !root) {
    ui.showMessage(texts::kCannotOpenKey, kAppTitle, MessageIcon::None);
    return inventory;
  }
  bool complete = true;
  const std::vector<std::string> classKeys = SubKeyNames(*root, classRoot, ui, &complete);
  if (!complete) inventory.unreadableKeys.push_back(classRoot);

  for (const auto& classKey : classKeys) {
    std::unique_ptr<RegistryKey> classHandle;
    if (root->openSubKey(classKey, RegistryAccess::Read, classHandle) != kRegSuccess || !classHandle) {
      ui.showMessage(texts::kCannotOpenKey, kAppTitle, MessageIcon::None);
      continue;
    }
    const std::vector<std::string> driverKeys = SubKeyNames(*classHandle, prefix + classKey, ui, &complete);
    if (!complete) inventory.unreadableKeys.push_back(prefix + classKey);
    if (driverKeys.empty()) continue;
    // A class's names are read once, however many drivers it has (an indirect name
    // may mean reading an INF).
    const std::string className = ValueText(*classHandle, "Class");
    const std::string classDisplayName = ClassDisplayName(
        ValueText(*classHandle, ""), classKey, ValueText(*classHandle, "ClassDesc"), className, classDescriptions);
    for (const auto& driverKey : driverKeys) {
      inventory.driverKeys.push_back(classKey + "\\" + driverKey);
      // One that cannot be opened reads as a key without values: no description.
      std::unique_ptr<RegistryKey> key;
      if (classHandle->openSubKey(driverKey, RegistryAccess::QueryValue, key) != kRegSuccess || !key) continue;
      DriverRecord record;
      record.provider = ValueText(*key, "ProviderName");
      record.className = className;
      record.classDisplayName = classDisplayName;
      record.description = ValueText(*key, "DriverDesc");
      record.infName = ValueText(*key, "InfPath");
      record.keyPath = inventory.driverKeys.back();
      if (record.description.empty()) continue;
      if (hideMicrosoft && IsMicrosoftProvider(record.provider)) continue;
      record.installSection = DriverInstallSection(*key);
      inventory.drivers.push_back(std::move(record));
    }
  }
  return inventory;
}

}  // namespace qelvaro
