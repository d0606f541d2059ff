#pragma once
// Where an installed driver package lives in the driver store. Drivers installed
// on Windows 10 and later run from their package folder
// (System32\DriverStore\FileRepository\<package>) and often have no copy in System32,
// so the backup looks there for a file that the usual places do not hold.

#include <optional>
#include <string>
#include <vector>

#include "registry.h"
#include "system_folders.h"

namespace qelvaro {

class DriverStoreLookup {
 public:
  virtual ~DriverStoreLookup() = default;
  // The package folder (a Windows path) of the published INF `infName` ("oem3.inf",
  // the name in the INF folder), or none when it cannot be found.
  virtual std::optional<std::string> packageFolder(const std::string& infName) const = 0;
};

// System32\DriverStore\FileRepository\<package>; none for a package name that is not
// one plain folder name (it comes from the registry, so it is not trusted).
std::optional<std::string> DriverStorePackageFolder(const SystemFolders& folders, const std::string& package);

// The registry's driver database: value "Active" of DriverDatabase\DriverInfFiles\<inf>,
// under HKLM\SYSTEM, else in the DRIVERS hive (loaded at HKLM\DRIVERS). Works on the
// live registry and on offline hives alike.
class RegistryDriverStoreLookup final : public DriverStoreLookup {
 public:
  RegistryDriverStoreLookup(const Registry& registry, const SystemFolders& folders)
      : registry_(registry), folders_(folders) {}
  std::optional<std::string> packageFolder(const std::string& infName) const override;

 private:
  const Registry& registry_;
  const SystemFolders& folders_;
};

// Asks each lookup in turn; the first answer wins.
class ChainedDriverStoreLookup final : public DriverStoreLookup {
 public:
  explicit ChainedDriverStoreLookup(std::vector<const DriverStoreLookup*> lookups)
      : lookups_(std::move(lookups)) {}
  std::optional<std::string> packageFolder(const std::string& infName) const override;

 private:
  std::vector<const DriverStoreLookup*> lookups_;
};

// True for a name that stands for one entry of a folder: not empty, not "." or "..",
// and without "\", "/" or ":" (a drive, or a stream of another file).
bool IsPlainEntryName(const std::string& name);

}  // namespace qelvaro
