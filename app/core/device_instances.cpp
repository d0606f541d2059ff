#include "device_instances.h"

#include "md_registry.h"
#include "text_encoding.h"

namespace qelvaro {

std::map<std::string, std::string> DeviceInstancesByDriverKey(const Registry& registry, Ui& ui,
                                                              const std::string& enumRoot) {
  const RegistryRoot hklm = RegistryRoot::LocalMachine;
  std::map<std::string, std::string> instances;
  for (const auto& enumerator : EnumSubKeyNames(registry, hklm, enumRoot, ui)) {
    const std::string enumeratorPath = enumRoot + "\\" + enumerator;
    for (const auto& device : EnumSubKeyNames(registry, hklm, enumeratorPath, ui)) {
      const std::string devicePath = enumeratorPath + "\\" + device;
      for (const auto& instance : EnumSubKeyNames(registry, hklm, devicePath, ui)) {
        const std::string driver =
            VariantText(ReadRegistryValue(registry, hklm, devicePath + "\\" + instance, "Driver"));
        if (driver.empty()) continue;
        instances.emplace(asciiLowerCopy(driver), enumerator + "\\" + device + "\\" + instance);
      }
    }
  }
  return instances;
}

std::string DeviceInstanceOf(const std::map<std::string, std::string>& instances, const std::string& driverKey) {
  const auto it = instances.find(asciiLowerCopy(driverKey));
  return it == instances.end() ? std::string() : it->second;
}

}  // namespace qelvaro
