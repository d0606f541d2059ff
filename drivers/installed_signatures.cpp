#include "installed_signatures.h"

#include <algorithm>

#include "base/text_encoding.h"
#include "inf_backup_view.h"
#include "ini_reader.h"
#include "package_paths.h"

namespace qelvaro {
namespace {

// The INFs and catalogs read here are small; a larger one is damage, not read whole.
constexpr std::uint64_t kMaxInfBytes = 16u << 20;

std::optional<std::string> readBounded(const FileSystem& fs, const std::string& path, std::uint64_t limit) {
  std::uint64_t size = 0;
  auto bytes = fs.readFileHead(path, limit + 1, size);
  if (bytes && size > limit) bytes->resize(static_cast<std::size_t>(limit) + 1);  // too large: the reader says so
  return bytes;
}

FileHashes hashesOf(std::string_view bytes) {
  PackageFileHasher hasher;
  hasher.update(bytes.data(), bytes.size());
  return hasher.finish();
}

bool isOemInf(const std::string& infName) {
  return infName.size() > 3 && iequalsAscii(infName.substr(0, 3), "oem");
}

}  // namespace

std::optional<std::string> InstalledSignatures::catRootCatalog(const std::string& infName,
                                                               const std::string& name) const {
  std::vector<std::string> names;
  const auto dot = infName.find_last_of('.');
  if (dot != std::string::npos && dot > 0) names.push_back(infName.substr(0, dot) + ".cat");
  if (names.empty() || !iequalsAscii(names.front(), name)) names.push_back(name);
  const std::string catRoot = folders_.systemDir() + "\\CatRoot";
  const DirListing listing = fs_.listDir(catRoot);
  for (const std::string& n : names) {
    for (const DirEntry& entry : listing.entries) {
      if (entry.kind != EntryKind::Folder || entry.link) continue;
      const std::string candidate = catRoot + "\\" + entry.name + "\\" + n;
      if (fs_.exists(candidate, AttrMask::System)) return candidate;
    }
  }
  return std::nullopt;
}

std::optional<std::string> InstalledSignatures::systemCatalogListing(const FileHashes& hashes) const {
  const auto headOf = [](const std::string& digest) {
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < 8 && i < digest.size(); ++i) head = head << 8 | static_cast<unsigned char>(digest[i]);
    return head;
  };
  if (!systemIndexed_) {
    systemIndexed_ = true;
    const std::string catRoot = folders_.systemDir() + "\\CatRoot";
    for (const DirEntry& folder : fs_.listDir(catRoot).entries) {
      if (folder.kind != EntryKind::Folder || folder.link) continue;
      const std::string dir = catRoot + "\\" + folder.name;
      for (const DirEntry& file : fs_.listDir(dir).entries) {
        if (file.kind != EntryKind::File || file.link || file.name.size() < 4 ||
            !iequalsAscii(file.name.substr(file.name.size() - 4), ".cat")) {
          continue;
        }
        const std::string path = dir + "\\" + file.name;
        const auto bytes = readBounded(fs_, path, kMaxCatalogBytes);
        if (!bytes) continue;
        std::string error;
        const auto catalog = ParseCatalog(*bytes, error);
        if (!catalog || catalog->members.empty()) continue;
        const auto number = static_cast<std::uint32_t>(systemCatalogs_.size());
        systemCatalogs_.push_back(path);
        for (const CatalogMember& m : catalog->members) systemDigests_.push_back({headOf(m.digest), number});
      }
    }
    std::sort(systemDigests_.begin(), systemDigests_.end());
    systemDigests_.shrink_to_fit();
  }
  for (const std::string* digest : {&hashes.flatSha256, &hashes.flatSha1}) {
    if (digest->empty()) continue;
    const std::uint64_t head = headOf(*digest);
    for (auto it = std::lower_bound(systemDigests_.begin(), systemDigests_.end(), DigestHead{head, 0});
         it != systemDigests_.end() && it->head == head; ++it) {
      // The whole digest, on the catalog itself.
      const std::string& path = systemCatalogs_[it->catalog];
      const auto bytes = readBounded(fs_, path, kMaxCatalogBytes);
      std::string error;
      const auto catalog = bytes ? ParseCatalog(*bytes, error) : std::nullopt;
      if (!catalog) continue;
      for (const CatalogMember& m : catalog->members) {
        if (m.digest == *digest) return path;
      }
    }
  }
  return std::nullopt;
}

PackageSignature InstalledSignatures::of(const std::string& infName) const {
  const std::string key = asciiLowerCopy(infName);
  if (const auto found = byInf_.find(key); found != byInf_.end()) return found->second;
  return byInf_.emplace(key, check(infName)).first->second;
}

PackageSignature InstalledSignatures::check(const std::string& infName) const {
  PackageSignature out;
  // A driver key that names no INF has no package, and so no catalog.
  if (infName.empty()) return out;
  if (!IsPlainEntryName(infName)) {
    out.kind = SignatureKind::Broken;
    out.problem = infName + ": not an INF name";
    return out;
  }
  const auto infBytes = readBounded(fs_, folders_.windowsDir() + "\\INF\\" + infName, kMaxInfBytes);
  if (!infBytes) {
    out.kind = SignatureKind::Broken;
    out.problem = infName + ": cannot be read";
    return out;
  }
  const std::string catalogName =
      ReadInfForBackup(IniDocument::parse(decodeProfileText(*infBytes, [this](std::string_view ansi) {
                         return fs_.decodeAnsi(ansi);
                       })),
                       arch_)
          .catalog;
  // The package's own name for its INF: the store keeps it as the package has it.
  const std::vector<PackageFile> files{{infName, hashesOf(*infBytes)}};
  if (catalogName.empty()) {
    if (isOemInf(infName)) return CheckPackageSignature("", std::nullopt, files);
    const auto system = systemCatalogListing(files.front().hashes);
    if (!system) return CheckPackageSignature("", std::nullopt, files);
    auto checked = checkedSystemCatalogs_.find(*system);
    if (checked == checkedSystemCatalogs_.end()) {
      const auto bytes = readBounded(fs_, *system, kMaxCatalogBytes);
      const auto slash = system->find_last_of('\\');
      checked = checkedSystemCatalogs_.emplace(*system, CheckPackageSignature(system->substr(slash + 1), bytes, files)).first;
    }
    return checked->second;
  }
  std::optional<std::string> catalogPath;
  if (store_ && IsPlainEntryName(catalogName)) {
    if (const auto package = store_->packageFolder(infName)) {
      if (fs_.exists(*package + "\\" + catalogName, AttrMask::System)) catalogPath = *package + "\\" + catalogName;
    }
  }
  if (!catalogPath && IsPlainEntryName(catalogName)) catalogPath = catRootCatalog(infName, catalogName);
  std::optional<std::string> catalogBytes;
  if (catalogPath) catalogBytes = readBounded(fs_, *catalogPath, kMaxCatalogBytes);
  return CheckPackageSignature(catalogName, catalogBytes, files);
}

}  // namespace qelvaro
