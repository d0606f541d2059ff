#pragma once
// The driver inventory: one record per installed driver instance that has a
// description, read from the device class keys of the registry.

#include <string>
#include <vector>

#include "file_system.h"
#include "class_descriptions.h"
#include "registry.h"
#include "system_folders.h"
#include "base/ui.h"

namespace qelvaro {

inline constexpr char kClassRoot[] = "SYSTEM\\CurrentControlSet\\Control\\Class";

// One row of the driver list, in column order.
struct DriverRecord {
  std::string description;       // DriverDesc of the driver key
  std::string classDisplayName;  // the class's name for people (see ClassDisplayName)
  std::string provider;          // ProviderName of the driver key
  std::string keyPath;           // class subkey \ driver subkey, below the class root
  std::string className;         // Class of the class key
  std::string infName;           // InfPath of the driver key
  std::string installSection;    // InfSection with InfSectionExt appended ("" when unknown)
};

struct DriverInventory {
  std::vector<std::string> driverKeys;  // every driver key found, in scan order
  std::vector<DriverRecord> drivers;    // the rows, in the same order
  // Keys whose subkeys could not all be listed (their drivers may be missing); each
  // was named through the Ui.
  std::vector<std::string> unreadableKeys;
};

// The class column: the class key's default value where it has one (Windows 7 and
// earlier), else its ClassDesc through `source` (when given), else the text after
// ClassDesc's ";", else the class name.
std::string ClassDisplayName(const std::string& defaultValue, const std::string& classGuid,
                             const std::string& classDesc, const std::string& className,
                             const ClassDescriptions* source);

// Microsoft's own drivers: an empty provider, or one that is exactly "microsoft"
// in any case ("Microsoft Corporation" is not).
bool IsMicrosoftProvider(const std::string& provider);

// The install section the driver key at `keyPath` (below `classRoot`) was installed
// from: InfSection with InfSectionExt appended (".NTamd64"); empty when it names none.
std::string DriverInstallSection(const Registry& registry, const std::string& keyPath,
                                 const std::string& classRoot = kClassRoot);
// The same for a driver key already open.
std::string DriverInstallSection(const RegistryKey& driverKey);

// Scans the class keys below `classRoot` (under HKEY_LOCAL_MACHINE); with
// `hideMicrosoft`, Microsoft's drivers are left out.
DriverInventory ScanDrivers(const Registry& registry, Ui& ui, bool hideMicrosoft,
                            const std::string& classRoot = kClassRoot,
                            const ClassDescriptions* classDescriptions = nullptr);

}  // namespace qelvaro
