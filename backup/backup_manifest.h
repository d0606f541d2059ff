#pragma once
// backup.json, beside SHA256SUMS at the root of every backup: what the backup holds
// (drivers and their files), the tool's version, the date, and the source machine's
// architecture, Windows version and ANSI code page, so that a restore on another
// machine can tell a backup it cannot install and reads its ANSI INFs as their Windows
// wrote them. No user or machine names go in: a backup travels.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup_collector.h"
#include "file_system.h"
#include "inf_values.h"
#include "registry.h"

namespace qelvaro {

inline constexpr char kManifestName[] = "backup.json";

// Where a backup comes from.
struct BackupOrigin {
  MachineArch arch = MachineArch::Amd64;
  std::string windowsVersion;  // "10.0.19045", "6.1.7601"; empty when unknown
  std::string date;            // UTC, "2026-12-07T21:40:00Z"
  std::string windowsName;     // "Windows 10 Pro 22H2"; empty when unknown
  unsigned ansiCodePage = 0;   // the code page of its ANSI text files (936); 0 when unknown
};

// The Windows version a registry's CurrentVersion key gives (the running system's, or
// an image's SOFTWARE hive); empty when it has none.
std::string ReadWindowsVersion(const Registry& registry);
// The product name with its display version (or release id) from the same key:
// "Windows 10 Pro 22H2"; empty when it has none.
std::string ReadWindowsName(const Registry& registry);

// The current time in UTC, as backup.json writes it.
std::string UtcNow();

std::string BackupManifestText(const BackupResult& result, const BackupOrigin& origin);

// The architecture backup.json names; none for a backup without one or a file that
// is not ours.
std::optional<MachineArch> ManifestArch(std::string_view json);
// The driver folders ("Net/Microsoft Kernel Debug Network Adapter") that backup.json
// records as Windows' own (signature "windows"): their INFs name no catalog, and
// Windows checks them against its own system catalogs. Only the lines this program
// writes are read; anything else records none.
std::vector<std::string> ManifestWindowsDrivers(std::string_view json);

// The ANSI code page backup.json names; none for a backup without one.
std::optional<unsigned> ManifestCodePage(std::string_view json);

// Writes backup.json and then SHA256SUMS into `root`: the last two files of every
// backup. `failedPath` names what could not be read or written.
FsResult SealBackup(FileSystem& fs, const std::string& root, const BackupResult& result, const BackupOrigin& origin,
                    std::string& failedPath);

}  // namespace qelvaro
