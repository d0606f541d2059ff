#include "restore_layout.h"

#include <algorithm>
#include <map>
#include <set>

#include "backup_report.h"
#include "catalog.h"
#include "base/digest.h"
#include "base/text_encoding.h"

namespace qelvaro::restore {

std::string FoundDriver::location() const {
  std::string path = classFolder;
  for (const std::string* part : {&driverFolder, &infName}) {
    if (!part->empty()) path += (path.empty() ? "" : "\\") + *part;
  }
  return path;
}

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

// AUX.inf opens the device on Windows and under Wine, so such an INF is never read.
std::string refusedInfName(const std::string& name) {
  if (IsWindowsFileName(name)) return {};
  return name + " is no file name on Windows (a device name such as AUX, or a character it refuses)";
}

}  // namespace

DriverSearch FindDrivers(const FileSystem& fs, const std::string& root) {
  DriverSearch search;
  DirListing top = fs.listDir(root);
  search.result = top.result;
  if (!top.result) return search;

  const auto relative = [&](const std::string& path) { return path.substr(std::min(path.size(), root.size() + 1)); };
  const auto linked = [&](const DirEntry& e, const std::string& path) { return e.link || fs.isLink(path); };
  // A folder with INFs is a driver's folder: a link anywhere in it, the INF itself
  // included, keeps every INF of it from being read.
  auto addInfs = [&](const std::string& classFolder, const std::string& driverFolder, const std::string& path,
                     const std::vector<DirEntry>& entries) {
    const bool any = std::any_of(entries.begin(), entries.end(),
                                 [](const DirEntry& e) { return e.kind == EntryKind::File && isInfName(e.name); });
    if (!any) return false;
    const FolderContents below = FilesBelow(path, fs);
    const std::string link = below.links.empty() ? std::string() : relative(below.links.front());
    for (const auto& e : entries) {
      if (e.kind == EntryKind::File && isInfName(e.name)) {
        search.drivers.push_back(FoundDriver{classFolder, driverFolder, path, e.name, refusedInfName(e.name), link});
      }
    }
    return true;
  };
  // A class or driver folder that is a link is named as a driver that cannot be restored.
  auto addLinkedFolder = [&](const std::string& classFolder, const std::string& name, const std::string& path) {
    search.drivers.push_back(FoundDriver{classFolder, name, path, "", "", relative(path)});
  };
  // (A root or class folder with INFs of its own is a driver's folder: its links are named with its INFs.)
  const bool rootIsDriver = addInfs("", "", root, top.entries);  // a single driver's folder given as the root
  for (const auto& c : top.entries) {
    if (c.kind != EntryKind::Folder) continue;
    const std::string classPath = join(root, c.name);
    if (linked(c, classPath)) {
      if (!rootIsDriver) addLinkedFolder("", c.name, classPath);
      continue;
    }
    DirListing inClass = fs.listDir(classPath);
    if (!inClass.result) {
      search.problems.push_back(classPath + ": " + inClass.result.describe());
      continue;
    }
    const bool classIsDriver = addInfs("", c.name, classPath, inClass.entries);
    for (const auto& d : inClass.entries) {
      if (d.kind != EntryKind::Folder) continue;
      const std::string driverPath = join(classPath, d.name);
      if (linked(d, driverPath)) {
        if (!classIsDriver && !rootIsDriver) addLinkedFolder(c.name, d.name, driverPath);
        continue;
      }
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
  std::set<std::string> linked;  // lower-cased names refused as links
  // Large INFs list many thousands of files: the lists are kept once through sets.
  std::set<std::string> missing, unsafe, badNamed;
  const auto addMissing = [&](const std::string& text) {
    if (missing.insert(text).second) plan.missing.push_back(text);
  };

  auto findIn = [&](const std::string& name, const std::string& relative) -> std::optional<std::string> {
    // A package kept with its layout (as the driver store holds it, or where flat names
    // would clash) is taken as it is; a flat backup is rebuilt from its names.
    const std::string laidOut = join(driver.folder, relative);
    if (relative.find('\\') != std::string::npos && fs.exists(laidOut, AttrMask::System)) return laidOut;
    const auto sep = name.find_last_of("\\/");
    const std::string flat = sep == std::string::npos ? name : name.substr(sep + 1);
    if (auto it = names.find(asciiLowerCopy(flat)); it != names.end()) return join(driver.folder, it->second);
    return std::nullopt;
  };
  // A file, or a folder on its way, that is a link may lead anywhere (a host's secret,
  // "sub -> /etc"): never staged; the driver is incomplete with the name.
  auto leadsOut = [&](const std::string& path) {
    if (fs.isLink(path)) return true;
    for (std::size_t at = path.find('\\', driver.folder.size() + 1); at != std::string::npos;
         at = path.find('\\', at + 1)) {
      if (fs.isLink(path.substr(0, at))) return true;
    }
    return false;
  };
  auto find = [&](const std::string& name, const std::string& relative) -> std::optional<std::string> {
    auto found = findIn(name, relative);
    if (found && leadsOut(*found)) {
      if (linked.insert(asciiLowerCopy(name)).second) addMissing(name + " (a link leading out of the backup)");
      return std::nullopt;
    }
    return found;
  };
  // Every part of a path below the staging folder must be a name Windows can create:
  // CON or nul.sys would open a device, at staging or at install.
  auto badName = [&](const std::string& relative) {
    for (std::size_t start = 0;;) {
      const std::size_t sep = relative.find('\\', start);
      if (!IsWindowsFileName(std::string_view(relative).substr(start, sep - start))) {
        if (badNamed.insert(asciiLowerCopy(relative)).second) plan.badNames.push_back(relative);
        return true;
      }
      if (sep == std::string::npos) return false;
      start = sep + 1;
    }
  };
  auto place = [&](const std::string& from, const std::string& relative) {
    if (placed.insert(asciiLowerCopy(relative)).second) plan.copies.push_back(StagedFile{from, relative});
  };

  if (badName(driver.infName)) return plan;
  if (leadsOut(driver.infPath())) addMissing(driver.infName + " (a link leading out of the backup)");
  place(driver.infPath(), driver.infName);
  if (!package.catalog.empty()) {
    const auto relative = SafeRelativePath("", "", package.catalog);
    if (!relative) {
      plan.unsafe.push_back(package.catalog);
    } else if (!badName(*relative)) {
      if (auto from = find(package.catalog, *relative)) {
        place(*from, *relative);
      } else if (!linked.count(asciiLowerCopy(package.catalog))) {
        addMissing(package.catalog);
      }
    }
  }
  auto stage = [&](const SourceFile& file, bool needed) {
    const auto relative = SafeRelativePath(file.diskPath, file.subdir, file.name);
    if (!relative) {
      const std::string text = join(join(file.diskPath, file.subdir), file.name);
      if (unsafe.insert(text).second) plan.unsafe.push_back(text);
      return;
    }
    if (badName(*relative)) return;
    if (auto from = find(file.name, *relative)) {
      place(*from, *relative);
    } else if (needed && !linked.count(asciiLowerCopy(file.name))) {
      addMissing(file.name);
    }
  };
  for (const auto& f : package.files) stage(f, true);
  for (const auto& f : package.listedFiles) stage(f, false);
  return plan;
}

namespace {

// The INF and catalog directly in the package, by their path there.
bool keptWhole(const std::string& relative) {
  if (relative.find('\\') != std::string::npos || relative.size() <= 4) return false;
  const std::string_view ext = std::string_view(relative).substr(relative.size() - 4);
  return iequalsAscii(ext, ".inf") || iequalsAscii(ext, ".cat");
}

// Reads or copies each file of the plan through `pass`, noting what passed.
template <typename Pass>
StageResult passEach(const LayoutPlan& plan, Pass pass) {
  StageResult staged;
  for (const auto& copy : plan.copies) {
    // The INF's and catalog's bytes kept up to one byte past the largest catalog (which is then damage).
    KeepingFileHasher sink(keptWhole(copy.relative) ? &staged.kept[copy.relative] : nullptr, kMaxCatalogBytes + 1);
    if (FsResult r = pass(copy, sink); !r) {
      staged.result = r;
      return staged;
    }
    FileHashes hashes = sink.hasher.finish();
    // Without SHA-256 no sum can be compared with the list: nothing goes on unchecked.
    if (hashes.flatSha256.empty()) {
      staged.result = FsResult::Failure(FsError::NotSupported);
      return staged;
    }
    staged.sha256.push_back(
        HexOf(reinterpret_cast<const unsigned char*>(hashes.flatSha256.data()), hashes.flatSha256.size()));
    staged.hashes.push_back(std::move(hashes));
  }
  return staged;
}

}  // namespace

StageResult StageLayout(FileSystem& fs, const LayoutPlan& plan, const std::string& stagingDir) {
  std::set<std::string> made;
  std::string failedPath;
  StageResult staged = passEach(plan, [&](const StagedFile& copy, ByteSink& sink) {
    std::string folder = stagingDir;
    std::size_t start = 0;
    for (std::size_t sep; (sep = copy.relative.find('\\', start)) != std::string::npos; start = sep + 1) {
      folder = join(folder, copy.relative.substr(start, sep - start));
      if (!made.insert(asciiLowerCopy(folder)).second) continue;
      if (FsResult r = fs.createNewDir(folder); !r) {
        failedPath = folder;
        return r;
      }
    }
    failedPath = join(stagingDir, copy.relative);
    return fs.copyNewFileThrough(copy.from, failedPath, sink);
  });
  if (!staged.result) staged.failedPath = failedPath;
  return staged;
}

StageResult HashLayout(const FileSystem& fs, const LayoutPlan& plan) {
  StageResult hashed = passEach(plan, [&](const StagedFile& copy, ByteSink& sink) {
    std::uint64_t size = 0;
    return fs.readThrough(copy.from, sink, size);
  });
  if (!hashed.result) hashed.failedPath = plan.copies[hashed.hashes.size()].from;
  return hashed;
}

}  // namespace qelvaro::restore
