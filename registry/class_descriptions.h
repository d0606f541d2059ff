#pragma once
// Where a device class's shown name comes from when its key holds an indirect one.

#include <string>

#include "file_system.h"
#include "system_folders.h"

namespace qelvaro {

// Windows 10 and 11 no longer write a class key's default value; its ClassDesc is an
// indirect string instead: "@dc1-controller.inf,%ClassName%;Xbox Peripherals" or
// "@%SystemRoot%\System32\NetCfgx.dll,-5000". A source turns one into text.
class ClassDescriptions {
 public:
  virtual ~ClassDescriptions() = default;
  // The class's localised name, or empty when this source cannot tell.
  virtual std::string describe(const std::string& classGuid, const std::string& classDesc) const = 0;
};

// "@file.inf,%key%" resolved from that INF in the INF folder, [Strings.0804] before
// [Strings], as Windows reads it: what an offline image offers. (The "@dll,-id" form
// needs the image's string resources, which this source does not read.)
class InfClassDescriptions final : public ClassDescriptions {
 public:
  InfClassDescriptions(const FileSystem& fs, const SystemFolders& folders) : fs_(fs), folders_(folders) {}
  std::string describe(const std::string& classGuid, const std::string& classDesc) const override;

 private:
  const FileSystem& fs_;
  const SystemFolders& folders_;
};

}  // namespace qelvaro
