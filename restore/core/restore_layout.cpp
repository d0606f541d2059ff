#include "restore_layout.h"

#include <algorithm>
#include <map>
#include <set>

#include "text_encoding.h"

namespace qelvaro::restore {

namespace {

bool isInfName(const std::string& name) {
  return name.size() > 4 && iequalsAscii(std::string_view(name).substr(name.size() - 4), ".inf");
}

std::string join(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (a.back() == '\\' || a.back() == '/') return a + b;
  return a + "\\" + b;
}

// The driver folder's files by lower-cased name.
std::map<std::string, std::string> filesByName(const FileSystem& fs, const std::string& folder) {
  std::map<std::string, std::string> names;
  DirListing listing = fs.listDir(folder);
  for (const auto& e : listing.entries) {
    if (e.kind == EntryKind::File) names.emplace(asciiLowerCopy(e.name), e.name);
  }
  return names;
}

}  // namespace

DriverSearch FindDrivers(const FileSystem& fs, const std::string& root) {
  DriverSearch search;
  DirListing top = fs.listDir(root);
  search.result = top.result;
  if (!top.result) return search;

  auto addInfs = [&](const std::string& classFolder, const std::string& driverFolder, const std::string& path,
                     const std::vector<DirEntry>& entries) {
    for (const auto& e : entries) {
      if (e.kind == EntryKind::File && isInfName(e.name)) {
        search.drivers.push_back(FoundDriver{classFolder, driverFolder, path, e.name});
      }
    }
  };
  addInfs("", "", root, top.entries);  // a single driver's folder given as the root
  for (const auto& c : top.entries) {
    if (c.kind != EntryKind::Folder) continue;
    const std::string classPath = join(root, c.name);
    DirListing inClass = fs.listDir(classPath);
    if (!inClass.result) {
      search.problems.push_back(classPath + ": " + inClass.result.describe());
      continue;
    }
    addInfs("", c.name, classPath, inClass.entries);
    for (const auto& d : inClass.entries) {
      if (d.kind != EntryKind::Folder) continue;
      const std::string driverPath = join(classPath, d.name);
      DirListing inDriver = fs.listDir(driverPath);
      if (!inDriver.result) {
        search.problems.push_back(driverPath + ": " + inDriver.result.describe());
        continue;
      }
      addInfs(c.name, d.name, driverPath, inDriver.entries);
    }
  }
  auto key = [](const FoundDriver& d) {
    return std::make_tuple(asciiLowerCopy(d.classFolder), asciiLowerCopy(d.driverFolder), asciiLowerCopy(d.infName));
  };
  std::sort(search.drivers.begin(), search.drivers.end(),
            [&](const FoundDriver& a, const FoundDriver& b) { return key(a) < key(b); });
  return search;
}

LayoutPlan PlanLayout(const FileSystem& fs, const FoundDriver& driver, const InfPackage& package) {
  LayoutPlan plan;
  const auto names = filesByName(fs, driver.folder);
  std::set<std::string> placed;  // lower-cased relative paths already planned

  auto find = [&](const std::string& name, const std::string& relative) -> std::optional<std::string> {
    // A package kept with its layout (as the driver store holds it, or where flat names
    // would clash) is taken as it is; a flat backup is rebuilt from its names.
    const std::string laidOut = join(driver.folder, relative);
    if (relative.find('\\') != std::string::npos && fs.exists(laidOut, AttrMask::System)) return laidOut;
    const auto sep = name.find_last_of("\\/");
    const std::string flat = sep == std::string::npos ? name : name.substr(sep + 1);
    if (auto it = names.find(asciiLowerCopy(flat)); it != names.end()) return join(driver.folder, it->second);
    return std::nullopt;
  };
  auto place = [&](const std::string& from, const std::string& relative) {
    if (placed.insert(asciiLowerCopy(relative)).second) plan.copies.push_back(StagedFile{from, relative});
  };

  place(driver.infPath(), driver.infName);
  if (!package.catalog.empty()) {
    const auto relative = SafeRelativePath("", "", package.catalog);
    if (!relative) {
      plan.unsafe.push_back(package.catalog);
    } else if (auto from = find(package.catalog, *relative)) {
      place(*from, *relative);
    } else {
      plan.missing.push_back(package.catalog);
    }
  }
  auto stage = [&](const SourceFile& file, bool needed) {
    const auto relative = SafeRelativePath(file.diskPath, file.subdir, file.name);
    if (!relative) {
      const std::string text = join(join(file.diskPath, file.subdir), file.name);
      if (std::find(plan.unsafe.begin(), plan.unsafe.end(), text) == plan.unsafe.end()) plan.unsafe.push_back(text);
      return;
    }
    if (auto from = find(file.name, *relative)) {
      place(*from, *relative);
    } else if (needed && std::find(plan.missing.begin(), plan.missing.end(), file.name) == plan.missing.end()) {
      plan.missing.push_back(file.name);
    }
  };
  for (const auto& f : package.files) stage(f, true);
  for (const auto& f : package.listedFiles) stage(f, false);
  return plan;
}

StageResult StageLayout(FileSystem& fs, const LayoutPlan& plan, const std::string& stagingDir) {
  std::set<std::string> made;
  for (const auto& copy : plan.copies) {
    std::string folder = stagingDir;
    std::size_t start = 0;
    for (std::size_t sep; (sep = copy.relative.find('\\', start)) != std::string::npos; start = sep + 1) {
      folder = join(folder, copy.relative.substr(start, sep - start));
      if (!made.insert(asciiLowerCopy(folder)).second) continue;
      if (FsResult r = fs.createDir(folder); !r) return {r, folder};
    }
    const std::string to = join(stagingDir, copy.relative);
    if (FsResult r = fs.copyFile(copy.from, to); !r) return {r, to};
  }
  return {};
}

}  // namespace qelvaro::restore
