#pragma once
// What the backup reads from a driver's INF file, with the meaning Windows' INF
// parser gives the lines, on top of the profile-file reader:
// - a line ends at a ";" outside double quotes, and its key ends at the first "="
//   outside quotes before that; blanks around a value and one pair of outer quotes go;
// - sections of the same name, however often they stand in the file, are one section;
// - %name% in a value is the [Strings] entry of that name ("%%" is one "%");
// - decorated names for the machine's native architecture come first: the catalog is
//   CatalogFile.NT<arch>, else CatalogFile.NT, else CatalogFile; the source files are
//   those of [SourceDisksFiles.<arch>] followed by those of [SourceDisksFiles], a name
//   listed in both once. Files listed only for other architectures are not read.

#include <string>
#include <vector>

#include "inf_values.h"
#include "ini_reader.h"

namespace qelvaro {

// The INF's DefaultDestDir: a directory id and an optional subfolder below it
// ("10,System32\drivers").
struct InfDestination {
  std::string dirId;   // empty when the INF gives none
  std::string subdir;  // empty when the value has no second field
  bool operator==(const InfDestination&) const = default;
};

struct InfBackupView {
  std::string catalog;                   // empty when the INF names none
  InfDestination destination;
  std::vector<std::string> sourceFiles;  // in the order above, no empty names
};

InfBackupView ReadInfForBackup(const IniDocument& doc, MachineArch arch);

}  // namespace qelvaro
