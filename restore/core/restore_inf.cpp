#include "restore_inf.h"

#include "base/text_encoding.h"

namespace qelvaro::restore {

std::string ResolveInfStrings(const IniDocument& doc, std::string_view text) { return InfIndex(doc).resolve(text); }

std::string DisplayDriverVersion(std::string_view driverVer) {
  const auto fields = InfFields(driverVer);
  if (fields.size() < 2 || fields[1].empty()) return fields.front();
  if (fields[0].empty()) return fields[1];
  return fields[1] + " (" + fields[0] + ")";
}

std::string InfStyleProblem(const InfPackage& package) {
  // SetupAPI opens an INF only with one of these signatures (any case); anything else,
  // an empty or cut file included, fails the install with ERROR_WRONG_INF_STYLE or
  // ERROR_EXPECTED_SECTION_NAME, so a dry run must not call it ready.
  if (!package.hasVersion) return "the INF has no [Version] section";
  for (const char* known : {"$Windows NT$", "$Chicago$", "$Windows 95$"}) {
    if (iequalsAscii(package.signature, known)) return {};
  }
  if (package.signature.empty()) return "the INF's [Version] section has no Signature";
  return "the INF's Signature \"" + package.signature + "\" is not $Windows NT$, $Chicago$ or $Windows 95$";
}

std::string InfSyntaxProblem(const InfPackage& package) {
  if (package.unclosedHeader.empty()) return {};
  return "the INF's " + package.unclosedHeader + " has no \"]\": Windows refuses it (ERROR_BAD_SECTION_NAME_LINE)";
}

InfPackage ReadInfPackage(const IniDocument& document, MachineArch arch) {
  const InfIndex doc(document);
  InfPackage p;
  p.className = doc.version("Class");
  p.provider = doc.version("Provider");
  p.driverVer = doc.version("DriverVer");
  InfInstallModel model = ReadInfInstallModel(document, arch);
  p.catalog = std::move(model.catalog);
  p.modelDescriptions = std::move(model.modelDescriptions);
  if (!p.modelDescriptions.empty()) p.description = p.modelDescriptions.front();
  p.deviceIds = std::move(model.deviceIds);
  p.modelLines = std::move(model.modelLines);
  p.hasManufacturers = model.hasManufacturers;
  p.hasModelsForArch = model.hasModelsForArch;
  p.hasVersion = doc.has("Version");
  if (const auto bad = document.unclosedHeader()) {
    // A line cut from a file of any size: enough of it to recognise.
    const std::string_view shown = bad->text.substr(0, 80);
    p.unclosedHeader = "section header \"" + std::string(shown) + (shown.size() < bad->text.size() ? "...": "") +
                       "\" (line " + std::to_string(bad->number) + ")";
  }
  p.signature = doc.version("Signature");
  for (InfFile& f : model.files) {
    if (f.copied) p.files.push_back(f);
    if (f.listed) p.listedFiles.push_back(std::move(f));
  }
  return p;
}

}  // namespace qelvaro::restore
