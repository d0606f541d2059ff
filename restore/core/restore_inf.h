#pragma once
// What a restore needs to know of one driver INF, read the way Windows' INF parser
// reads it for one machine architecture: sections of one name merged, decorated
// sections before plain ones, %string% keys resolved from [Strings].
//
// The files an install copies are those that the CopyFiles directives of the
// chosen install sections name; only those must be present. Each is found on the
// distribution through [SourceDisksFiles] (disk id and subfolder) and
// [SourceDisksNames] (the disk's path), both relative to the INF's folder.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inf_install_model.h"
#include "inf_values.h"
#include "ini_reader.h"

namespace qelvaro::restore {

// A file of the package: where it lies below the INF's folder, as the INF says
// (diskPath, subdir, name), and where the install puts it.
using SourceFile = InfFile;

struct InfPackage {
  std::string description;   // the first model's device description
  std::vector<std::string> modelDescriptions;
  std::string className;
  std::string provider;
  std::string driverVer;     // as written: "date,version"
  std::string catalog;       // the catalog file for this architecture, "" when none
  // Hardware and compatible ids of the models for this architecture, each once.
  std::vector<std::string> deviceIds;
  std::vector<InfModelLine> modelLines;  // the same, line by line: what device matching reads
  // Files the chosen install sections copy, each once, in the INF's order: these
  // must all be there.
  std::vector<SourceFile> files;
  // Every file the source-disk lists for this architecture name (decorated and plain
  // sections), laid out too when present, since other sections may use them.
  std::vector<SourceFile> listedFiles;
  bool hasManufacturers = false;  // a device INF (else a plain one, installed to the store only)
  bool hasModelsForArch = false;  // some manufacturer has a models section for this arch
  bool hasVersion = false;        // a [Version] section
  // The first section header without "]" ("[Destination"), as the problem names it:
  // Windows' parser refuses the whole INF for it; "" when there is none.
  std::string unclosedHeader;
  std::string signature;          // its Signature, as written (quotes and strings resolved)
};

// Why Windows' INF parser refuses the INF before looking at its devices (no
// [Version] section, a Signature it does not know), in English; "" when it accepts it.
std::string InfStyleProblem(const InfPackage& package);

// Why Windows' INF parser cannot read the INF at all (a section header without "]",
// ERROR_BAD_SECTION_NAME_LINE), in English; "" when it can.
std::string InfSyntaxProblem(const InfPackage& package);

// Reads the INF text (already decoded to UTF-8) for `arch`.
InfPackage ReadInfPackage(const IniDocument& doc, MachineArch arch);

// "%key%" pieces replaced by their [Strings] text ("%%" is one "%", in the text and
// in a string's value). Localised
// [Strings.0804] (simplified Chinese) is asked first. Unknown keys stay as written.
std::string ResolveInfStrings(const IniDocument& doc, std::string_view text);

using qelvaro::InfStringText;

// "10.0.1.2 (06/21/2006)" from a DriverVer value "06/21/2006,10.0.1.2".
std::string DisplayDriverVersion(std::string_view driverVer);

}  // namespace qelvaro::restore
