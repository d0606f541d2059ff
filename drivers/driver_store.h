#pragma once
// Where an installed driver package lives in the driver store. Installing a
// third-party driver stages its whole package in
// System32\DriverStore\FileRepository\<inf name>_<arch>_<hash> (Windows 7:
// <inf name>_<arch>_neutral_<hash>): the INF under its own name, its catalog and every
// file at its place in the package. Copying that folder gives a backup that restores
// by construction; drivers of Windows 10 and later also run from it.

#include <optional>
#include <string>
#include <vector>

#include "file_system.h"
#include "inf_values.h"
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

// The store searched by name, for systems that record no driver database (Windows 7,
// Wine, images without a DRIVERS hive): the FileRepository folder for `arch`
// ("<name>.inf_amd64_*", any case) whose INF equals INF\<infName> byte for byte. The
// store's INFs are read once, on the first lookup.
class FileRepositoryDriverStoreLookup final : public DriverStoreLookup {
 public:
  FileRepositoryDriverStoreLookup(const FileSystem& fs, const SystemFolders& folders, MachineArch arch)
      : fs_(fs), folders_(folders), arch_(arch) {}
  std::optional<std::string> packageFolder(const std::string& infName) const override;

 private:
  void index() const;
  const FileSystem& fs_;
  const SystemFolders& folders_;
  MachineArch arch_;
  mutable bool indexed_ = false;
  struct Package {
    std::string folder;
    std::string inf;
    std::size_t size;
    std::size_t hash;
  };
  mutable std::vector<Package> packages_;
};

// The driver database, then the store searched by name: what a system without
// SetupAPI's answer (an offline image, or a Windows whose SetupAPI has none) offers.
class DatabaseOrSearchLookup final : public DriverStoreLookup {
 public:
  DatabaseOrSearchLookup(const Registry& registry, const FileSystem& fs, const SystemFolders& folders,
                         MachineArch arch)
      : database_(registry, folders), search_(fs, folders, arch) {}
  std::optional<std::string> packageFolder(const std::string& infName) const override {
    if (auto folder = database_.packageFolder(infName)) return folder;
    return search_.packageFolder(infName);
  }

 private:
  RegistryDriverStoreLookup database_;
  FileRepositoryDriverStoreLookup search_;
};

// The INF's own name that a package folder's name begins with
// ("usr20006.inf" for "usr20006.inf_amd64_b4a8bfb830e4c676"); none when it has none.
std::optional<std::string> PackageInfName(const std::string& packageFolderName);

// Asks each lookup in turn; the first answer wins.
class ChainedDriverStoreLookup final : public DriverStoreLookup {
 public:
  explicit ChainedDriverStoreLookup(std::vector<const DriverStoreLookup*> lookups)
      : lookups_(std::move(lookups)) {}
  std::optional<std::string> packageFolder(const std::string& infName) const override;

 private:
  std::vector<const DriverStoreLookup*> lookups_;
};

}  // namespace qelvaro
