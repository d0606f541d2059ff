#include "backup_manifest.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "checksum_list.h"
#include "md_registry.h"
#include "base/product.h"

namespace qelvaro {
namespace {

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", u);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string stringValue(const RegistryKey& key, const std::string& name) {
  RegistryData data;
  if (key.queryValue(name, data) != 0 || (data.type != RegistryType::String && data.type != RegistryType::ExpandString)) {
    return {};
  }
  return RegistryStringText(data.bytes);
}

std::optional<std::uint32_t> dwordValue(const RegistryKey& key, const std::string& name) {
  RegistryData data;
  if (key.queryValue(name, data) != 0 || data.type != RegistryType::Dword || data.bytes.size() < 4) return std::nullopt;
  return static_cast<std::uint32_t>(data.bytes[0] | data.bytes[1] << 8 | data.bytes[2] << 16 |
                                    static_cast<std::uint32_t>(data.bytes[3]) << 24);
}

std::unique_ptr<RegistryKey> currentVersionKey(const Registry& registry) {
  std::unique_ptr<RegistryKey> key;
  if (registry.open(RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                    RegistryAccess::QueryValue, key) != 0) {
    key.reset();
  }
  return key;
}

}  // namespace

std::string ReadWindowsVersion(const Registry& registry) {
  const std::unique_ptr<RegistryKey> key = currentVersionKey(registry);
  if (!key) return {};
  // Windows 10 and later keep "6.3" in CurrentVersion for old programs; their own
  // numbers are in the Current*VersionNumber values.
  const auto major = dwordValue(*key, "CurrentMajorVersionNumber");
  const auto minor = dwordValue(*key, "CurrentMinorVersionNumber");
  std::string version = major && minor ? std::to_string(*major) + "." + std::to_string(*minor)
                                       : stringValue(*key, "CurrentVersion");
  const std::string build = stringValue(*key, "CurrentBuildNumber");
  if (!version.empty() && !build.empty()) version += "." + build;
  return version;
}

std::string ReadWindowsName(const Registry& registry) {
  const std::unique_ptr<RegistryKey> key = currentVersionKey(registry);
  if (!key) return {};
  std::string name = stringValue(*key, "ProductName");
  // DisplayVersion ("22H2") since Windows 10 20H2, ReleaseId ("1909") before it.
  std::string release = stringValue(*key, "DisplayVersion");
  if (release.empty()) release = stringValue(*key, "ReleaseId");
  if (!name.empty() && !release.empty()) name += " " + release;
  return name;
}

std::string UtcNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string BackupManifestText(const BackupResult& result, const BackupOrigin& origin) {
  std::string out = "{\n";
  out += "  \"tool\": " + quoted(kProductName) + ",\n";
  out += "  \"toolVersion\": " + quoted(kProductVersion) + ",\n";
  out += "  \"date\": " + quoted(origin.date) + ",\n";
  out += "  \"architecture\": " + quoted(ArchDecoration(origin.arch)) + ",\n";
  out += "  \"windowsVersion\": " + quoted(origin.windowsVersion) + ",\n";
  out += "  \"windowsName\": " + quoted(origin.windowsName) + ",\n";
  out += "  \"ansiCodePage\": " + (origin.ansiCodePage ? std::to_string(origin.ansiCodePage) : "null") + ",\n";
  out += "  \"checksums\": " + quoted(kChecksumListName) + ",\n";
  out += "  \"drivers\": [";
  bool first = true;
  for (const DriverReport& d : result.drivers) {
    if (d.skipped() || d.folder.size() <= result.root.size()) continue;
    std::string folder = d.folder.substr(result.root.size() + 1);
    for (char& c : folder) c = c == '\\' ? '/' : c;
    out += std::string(first ? "" : ",") + "\n    {\"description\": " + quoted(d.driver.description) +
           ", \"class\": " + quoted(d.driver.className) + ", \"inf\": " + quoted(d.driver.infName) +
           ", \"folder\": " + quoted(folder);
    if (d.signature) {
      out += ", \"signature\": " + quoted(SignatureKindWord(d.signature->kind)) +
             ", \"signer\": " + quoted(d.signature->signer);
    }
    out += ", \"files\": [";
    for (std::size_t i = 0; i < d.copied.size(); ++i) {
      std::string name = d.copied[i].name;
      for (char& c : name) c = c == '\\' ? '/' : c;
      out += (i ? ", " : "") + quoted(name);
    }
    out += "]}";
    first = false;
  }
  out += first ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

std::optional<MachineArch> ManifestArch(std::string_view json) {
  static constexpr std::string_view kKey = "\"architecture\": \"";
  const auto at = json.find(kKey);
  if (at == std::string_view::npos) return std::nullopt;
  const auto start = at + kKey.size();
  const auto end = json.find('"', start);
  MachineArch arch;
  if (end == std::string_view::npos || !ParseMachineArch(json.substr(start, end - start), arch)) return std::nullopt;
  return arch;
}

namespace {

// The JSON string starting at `text` (after its opening quote), unescaped as quoted()
// escapes; none when it does not end.
std::optional<std::string> unquoted(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') return out;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    if (text[i] == 'u') {
      if (i + 4 >= text.size()) return std::nullopt;
      const unsigned long unit = std::strtoul(std::string(text.substr(i + 1, 4)).c_str(), nullptr, 16);
      if (unit >= 0x20) return std::nullopt;  // only control characters are written escaped
      out += static_cast<char>(unit);
      i += 4;
    } else {
      out += text[i];
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> ManifestWindowsDrivers(std::string_view json) {
  static constexpr std::string_view kFolder = "\"folder\": \"";
  static constexpr std::string_view kWindows = ", \"signature\": \"windows\"";
  std::vector<std::string> folders;
  std::size_t at = 0;
  while ((at = json.find(kFolder, at)) != std::string_view::npos) {
    at += kFolder.size();
    const std::size_t lineEnd = std::min(json.find('\n', at), json.size());
    const auto folder = unquoted(json.substr(at, lineEnd - at));
    if (!folder) continue;
    // The signature follows the folder's closing quote directly, as the writer puts it.
    std::size_t end = at;
    for (std::size_t escapes = 0; end < lineEnd; ++end) {
      if (json[end] == '"' && escapes % 2 == 0) break;
      escapes = json[end] == '\\' ? escapes + 1 : 0;
    }
    if (json.substr(end + 1, kWindows.size()) == kWindows) folders.push_back(*folder);
  }
  return folders;
}

std::optional<unsigned> ManifestCodePage(std::string_view json) {
  static constexpr std::string_view kKey = "\"ansiCodePage\": ";
  const auto at = json.find(kKey);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string_view rest = json.substr(at + kKey.size());
  const std::size_t digits = std::min(rest.find_first_not_of("0123456789"), rest.size());
  // Code pages are below 65536; anything else is no code page of ours.
  if (digits == 0 || digits > 5) return std::nullopt;
  const unsigned long page = std::stoul(std::string(rest.substr(0, digits)));
  if (page == 0 || page > 65535) return std::nullopt;
  return static_cast<unsigned>(page);
}

FsResult SealBackup(FileSystem& fs, const std::string& root, const BackupResult& result, const BackupOrigin& origin,
                    std::string& failedPath) {
  failedPath = root + "\\" + kManifestName;
  if (FsResult r = fs.writeFile(failedPath, BackupManifestText(result, origin)); !r) return r;
  return WriteBackupChecksums(fs, root, result, failedPath);
}

}  // namespace qelvaro
