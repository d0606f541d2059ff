#pragma once
// Which devices each driver key serves. Every device instance below the registry's
// Enum tree (Enum\<enumerator>\<device>\<instance>) names its driver key in its
// "Driver" value ("{4d36e972-e325-11ce-bfc1-08002be10318}\0003"), and lists the
// hardware and compatible ids Windows matched INFs against. Identical devices share
// one driver key; MatchingDeviceId in the driver key is only the id that matched.

#include <string>
#include <unordered_map>
#include <vector>

#include "registry.h"
#include "base/ui.h"

namespace qelvaro {

inline constexpr char kEnumRoot[] = "SYSTEM\\CurrentControlSet\\Enum";

struct DeviceRecord {
  std::string instance;  // "PCI\VEN_8086&DEV_1234\3&11583659&0&10"
  std::vector<std::string> hardwareIds;
  std::vector<std::string> compatibleIds;
};

class DeviceIndex {
 public:
  // Reads the Enum tree once. Keys that cannot be opened or listed are passed over,
  // named through `ui` when one is given.
  static DeviceIndex Read(const Registry& registry, Ui* ui = nullptr, const std::string& enumRoot = kEnumRoot);

  // The devices whose Driver value names `driverKey` (class subkey \ driver subkey),
  // without regard to case; empty when none does.
  const std::vector<DeviceRecord>& devicesOf(const std::string& driverKey) const;
  // The instance id of the first device serving `driverKey`
  // ("PCI\VEN_8086&DEV_1C3A\3&1&0&B0"), "" when none does.
  std::string instanceOf(const std::string& driverKey) const;
  std::size_t size() const { return devices_.size(); }

 private:
  std::unordered_map<std::string, std::vector<DeviceRecord>> devices_;
};

// The ids of the hardware a driver key serves: its MatchingDeviceId first, then each
// device's hardware ids and compatible ids, each once (without regard to case).
std::vector<std::string> DriverDeviceIds(const Registry& registry, const std::string& driverKey,
                                         const DeviceIndex& devices, const std::string& classRoot);

// A REG_MULTI_SZ value's strings (UTF-16LE, each ended by a NUL); empty strings end it.
std::vector<std::string> RegistryMultiStrings(const std::vector<std::uint8_t>& bytes);

}  // namespace qelvaro
