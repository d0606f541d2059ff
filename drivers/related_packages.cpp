#include "related_packages.h"

#include <unordered_set>

#include "folder_ids.h"
#include "inf_install_model.h"
#include "md_ini_inf.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

constexpr char kExtensionGuid[] = "{e2f84ce7-8efa-411c-aa69-97454ca4cb57}";
constexpr char kSoftwareComponentGuid[] = "{5c4c3332-344d-483c-8739-259e934c9cc8}";

// "oem" followed by digits, then ".inf": the names Windows publishes third-party INFs under.
bool publishedName(const std::string& name) {
  const std::string lower = asciiLowerCopy(name);
  if (lower.size() < 8 || lower.compare(0, 3, "oem") != 0 || lower.compare(lower.size() - 4, 4, ".inf") != 0) {
    return false;
  }
  for (std::size_t i = 3; i + 4 < lower.size(); ++i) {
    if (lower[i] < '0' || lower[i] > '9') return false;
  }
  return true;
}

std::vector<std::string> lowered(const std::vector<std::string>& items) {
  std::vector<std::string> out;
  out.reserve(items.size());
  for (const auto& s : items) out.push_back(asciiLowerCopy(s));
  return out;
}

}  // namespace

void RelatedPackages::index() const {
  indexed_ = true;
  const DirListing listing = fs_.listDir(InfDir(folders_));
  for (const DirEntry& entry : listing.entries) {
    if (entry.kind == EntryKind::Folder || !publishedName(entry.name)) continue;
    const auto doc = LoadIniFile(InfDir(folders_) + "\\" + entry.name, fs_);
    if (!doc) continue;
    const InfIndex inf(*doc);
    const std::string guid = asciiLowerCopy(inf.version("ClassGuid"));
    const std::string cls = inf.version("Class");
    const bool extension = guid == kExtensionGuid || (guid.empty() && iequalsAscii(cls, "Extension"));
    const bool component = guid == kSoftwareComponentGuid || (guid.empty() && iequalsAscii(cls, "SoftwareComponent"));
    if (!extension && !component) continue;
    const InfInstallModel model = ReadInfInstallModel(*doc, arch_);
    if (model.deviceIds.empty()) continue;
    Inf found;
    found.package.infName = entry.name;
    found.package.className = cls.empty() ? (extension ? "Extension" : "SoftwareComponent") : cls;
    found.package.description = model.modelDescriptions.empty() ? entry.name : model.modelDescriptions.front();
    found.package.extension = extension;
    found.ids = lowered(model.deviceIds);
    found.components = lowered(model.componentIds);
    infs_.push_back(std::move(found));
  }
}

std::vector<RelatedPackage> RelatedPackages::find(const std::vector<std::string>& deviceIds,
                                                  const std::vector<std::string>& componentIds) const {
  if (deviceIds.empty() && componentIds.empty()) return {};
  if (!indexed_) index();
  if (infs_.empty()) return {};
  const auto anyOf = [](const std::vector<std::string>& ids, const std::unordered_set<std::string>& wanted) {
    for (const auto& id : ids) {
      if (wanted.count(id)) return true;
    }
    return false;
  };
  std::vector<RelatedPackage> out;
  const std::vector<std::string> wantedIds = lowered(deviceIds);
  const std::unordered_set<std::string> devices(wantedIds.begin(), wantedIds.end());
  std::unordered_set<std::string> components;
  const auto addComponents = [&](const std::vector<std::string>& ids) {
    // A software component's device has the hardware id "SWC\<component id>".
    for (const auto& id : ids) components.insert("swc\\" + asciiLowerCopy(id));
  };
  addComponents(componentIds);
  for (const Inf& inf : infs_) {
    if (!inf.package.extension || !anyOf(inf.ids, devices)) continue;
    out.push_back(inf.package);
    for (const auto& c : inf.components) components.insert("swc\\" + c);
  }
  for (const Inf& inf : infs_) {
    if (!inf.package.extension && anyOf(inf.ids, components)) out.push_back(inf.package);
  }
  return out;
}

}  // namespace qelvaro
