#pragma once
// Who signed each installed driver, as Windows' own driver listing shows it. A
// third-party package is checked against the catalog it was installed with: the one in
// its driver store package, else the one Windows put in CatRoot under the oem INF's
// name (oem3.cat for oem3.inf), else under the catalog's own name. The catalog's
// signature must hold and list the INF; the package's other files are checked where
// they are backed up (verify), not on every listing.
//
// An INF that names no catalog is unsigned, unless Windows brought it: an in-box INF is
// checked against the system catalogs in CatRoot, which Windows signs; the INF found
// listed in one of them is `windows` (or what that catalog's signer makes it).

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver_store.h"
#include "file_system.h"
#include "inf_values.h"
#include "package_signature.h"
#include "system_folders.h"

namespace qelvaro {

class InstalledSignatures {
 public:
  // `store` may be null (no package is looked up). `arch` picks the INF's decorated
  // catalog name.
  InstalledSignatures(const FileSystem& fs, const SystemFolders& folders, const DriverStoreLookup* store,
                      MachineArch arch)
      : fs_(fs), folders_(folders), store_(store), arch_(arch) {}

  // The signature of the driver installed from INF\<infName> ("oem3.inf", "kdnic.inf");
  // unsigned for a driver that names no INF. Each INF is checked once.
  PackageSignature of(const std::string& infName) const;

 private:
  // The catalog file for `name` in CatRoot: under the oem INF's base name first, then
  // under its own name; none when neither is there.
  std::optional<std::string> catRootCatalog(const std::string& infName, const std::string& name) const;
  // The system catalog listing a file with these hashes, once CatRoot's catalogs are
  // read (on the first in-box INF); none when none does.
  std::optional<std::string> systemCatalogListing(const FileHashes& hashes) const;
  PackageSignature check(const std::string& infName) const;

  const FileSystem& fs_;
  const SystemFolders& folders_;
  const DriverStoreLookup* store_;
  MachineArch arch_;
  // CatRoot's catalogs, each read once. A Windows brings thousands of them, naming a
  // million files: each member is kept as the first 8 bytes of its digest and its
  // catalog's number, sorted (12 bytes a member), and a match is confirmed on the
  // catalog itself.
  struct DigestHead {
    std::uint64_t head;
    std::uint32_t catalog;
    bool operator<(const DigestHead& o) const { return head < o.head || (head == o.head && catalog < o.catalog); }
  };
  mutable bool systemIndexed_ = false;
  mutable std::vector<DigestHead> systemDigests_;
  mutable std::vector<std::string> systemCatalogs_;
  // The INFs checked already, by their lower-cased names.
  mutable std::map<std::string, PackageSignature> byInf_;
  // Catalog signatures already checked: path -> its verdict with the INF's coverage aside.
  mutable std::map<std::string, PackageSignature> checkedSystemCatalogs_;
};

}  // namespace qelvaro
