#pragma once
// Which device instance each driver key serves. Plug and Play records it on the
// device's side only: the key Enum\<enumerator>\<device id>\<instance> holds a value
// Driver naming its driver key ("{class guid}\0003"). (MatchingDeviceId in the driver
// key is only the id that matched, the same for identical devices.)

#include <map>
#include <string>

#include "registry.h"
#include "ui.h"

namespace qelvaro {

inline constexpr char kEnumRoot[] = "SYSTEM\\CurrentControlSet\\Enum";

// Driver key ("{guid}\NNNN", lower-cased) to instance id ("PCI\VEN_8086&DEV_1C3A\3&1&0&B0").
// Keys that cannot be listed are named through `ui` and skipped.
std::map<std::string, std::string> DeviceInstancesByDriverKey(const Registry& registry, Ui& ui,
                                                              const std::string& enumRoot = kEnumRoot);

// The instance serving `driverKey` (a DriverRecord's keyPath), "" when none does.
std::string DeviceInstanceOf(const std::map<std::string, std::string>& instances, const std::string& driverKey);

}  // namespace qelvaro
