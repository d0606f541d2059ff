#include "restore_inf.h"

namespace qelvaro::restore {

std::string ResolveInfStrings(const IniDocument& doc, std::string_view text) { return InfIndex(doc).resolve(text); }

std::string DisplayDriverVersion(std::string_view driverVer) {
  const auto fields = InfFields(driverVer);
  if (fields.size() < 2 || fields[1].empty()) return fields.front();
  if (fields[0].empty()) return fields[1];
  return fields[1] + " (" + fields[0] + ")";
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
  p.hasManufacturers = model.hasManufacturers;
  p.hasModelsForArch = model.hasModelsForArch;
  for (InfFile& f : model.files) {
    if (f.copied) p.files.push_back(f);
    if (f.listed) p.listedFiles.push_back(std::move(f));
  }
  return p;
}

}  // namespace qelvaro::restore
