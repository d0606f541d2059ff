#pragma once
// The packages a modern driver is split into besides its base package:
// - extension INFs (class Extension), which add settings and files to a device whose
//   base driver comes from another package; Windows applies one to every device whose
//   hardware or compatible ids its models name, and gives it no driver key of its own;
// - software-component INFs (class SoftwareComponent), which serve the "SWC\<id>"
//   devices that a base or extension INF adds with AddComponent.
// Installed third-party INFs are published in the INF folder as oemN.inf; those of the
// two classes are read once, on the first lookup, and matched by id.

#include <string>
#include <vector>

#include "file_system.h"
#include "inf_values.h"
#include "system_folders.h"

namespace qelvaro {

struct RelatedPackage {
  std::string infName;      // "oem7.inf"
  std::string className;    // the INF's Class ("Extension", "SoftwareComponent")
  std::string description;  // its first model's description, else the INF's name
  bool extension = false;   // an extension INF; else a software component's
};

class RelatedPackages {
 public:
  RelatedPackages(const FileSystem& fs, const SystemFolders& folders, MachineArch arch)
      : fs_(fs), folders_(folders), arch_(arch) {}

  // The extension INFs for a device with `deviceIds`, then the software-component
  // INFs for the components that `componentIds` and those extensions add; each once.
  std::vector<RelatedPackage> find(const std::vector<std::string>& deviceIds,
                                   const std::vector<std::string>& componentIds) const;

 private:
  struct Inf {
    RelatedPackage package;
    std::vector<std::string> ids;         // lower-cased
    std::vector<std::string> components;  // lower-cased, what it adds
  };
  void index() const;
  const FileSystem& fs_;
  const SystemFolders& folders_;
  MachineArch arch_;
  mutable bool indexed_ = false;
  mutable std::vector<Inf> infs_;
};

}  // namespace qelvaro
