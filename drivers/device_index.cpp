#include "device_index.h"

#include <memory>
#include <unordered_set>

#include "md_registry.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

std::vector<std::string> subkeys(const Registry& registry, const std::string& path, Ui* ui) {
  if (ui) return EnumSubKeyNames(registry, RegistryRoot::LocalMachine, path, *ui);
  std::vector<std::string> names;
  std::unique_ptr<RegistryKey> key;
  if (registry.open(RegistryRoot::LocalMachine, path, RegistryAccess::Read, key) != kRegSuccess || !key) return names;
  std::string name;
  for (std::uint32_t i = 0; key->enumSubKey(i, name) == kRegSuccess; ++i) names.push_back(name);
  return names;
}

std::vector<std::string> multiStrings(const RegistryKey& key, const std::string& value) {
  RegistryData data;
  if (key.queryValue(value, data) != kRegSuccess) return {};
  if (data.type == RegistryType::MultiString) return RegistryMultiStrings(data.bytes);
  if (data.type == RegistryType::String) {
    std::string text = RegistryStringText(data.bytes);
    if (!text.empty()) return {text};
  }
  return {};
}

}  // namespace

std::vector<std::string> RegistryMultiStrings(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::string> out;
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto u = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (u != 0) {
      units += u;
      continue;
    }
    if (units.empty()) break;
    out.push_back(utf16ToUtf8(units));
    units.clear();
  }
  if (!units.empty()) out.push_back(utf16ToUtf8(units));  // a last string without its NUL
  return out;
}

DeviceIndex DeviceIndex::Read(const Registry& registry, Ui* ui, const std::string& enumRoot) {
  DeviceIndex index;
  for (const std::string& enumerator : subkeys(registry, enumRoot, ui)) {
    const std::string enumeratorPath = enumRoot + "\\" + enumerator;
    for (const std::string& device : subkeys(registry, enumeratorPath, ui)) {
      const std::string devicePath = enumeratorPath + "\\" + device;
      for (const std::string& instance : subkeys(registry, devicePath, ui)) {
        std::unique_ptr<RegistryKey> key;
        if (registry.open(RegistryRoot::LocalMachine, devicePath + "\\" + instance, RegistryAccess::QueryValue,
                          key) != kRegSuccess || !key) {
          continue;
        }
        RegistryVariant driver;
        if (ReadKeyValue(*key, "Driver", driver) != kRegSuccess) continue;
        const std::string driverKey = VariantText(driver);
        if (driverKey.empty()) continue;
        index.devices_[asciiLowerCopy(driverKey)].push_back(
            {enumerator + "\\" + device + "\\" + instance, multiStrings(*key, "HardwareID"),
             multiStrings(*key, "CompatibleIDs")});
      }
    }
  }
  return index;
}

const std::vector<DeviceRecord>& DeviceIndex::devicesOf(const std::string& driverKey) const {
  static const std::vector<DeviceRecord> kNone;
  const auto it = devices_.find(asciiLowerCopy(driverKey));
  return it == devices_.end() ? kNone : it->second;
}

std::string DeviceIndex::instanceOf(const std::string& driverKey) const {
  const auto& devices = devicesOf(driverKey);
  return devices.empty() ? std::string() : devices.front().instance;
}

std::vector<std::string> DriverDeviceIds(const Registry& registry, const std::string& driverKey,
                                         const DeviceIndex& devices, const std::string& classRoot) {
  std::vector<std::string> ids;
  std::unordered_set<std::string> seen;
  const auto add = [&](const std::string& id) {
    if (!id.empty() && seen.insert(asciiLowerCopy(id)).second) ids.push_back(id);
  };
  add(VariantText(ReadRegistryValue(registry, RegistryRoot::LocalMachine, classRoot + "\\" + driverKey,
                                    "MatchingDeviceId")));
  for (const DeviceRecord& device : devices.devicesOf(driverKey)) {
    for (const std::string& id : device.hardwareIds) add(id);
    for (const std::string& id : device.compatibleIds) add(id);
  }
  return ids;
}

}  // namespace qelvaro
