#pragma once
// An offline Windows installation: a Windows volume that is not running (a disk
// that no longer boots, mounted on Linux or attached to another Windows). Its
// registry comes from the hive files in Windows\System32\config, its folders from
// the volume itself; the inventory and the backup then run on it as on a live
// system.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "file_system.h"
#include "inf_values.h"
#include "offline_registry.h"
#include "system_folders.h"

namespace qelvaro {

// Opens a hive from its bytes (the file's, or the file's with its logs replayed);
// null with `error` set to why it cannot ("it is damaged (...)"), which follows the
// file's name. The reader works on a private copy: the image is never written.
using HiveOpener = std::function<std::unique_ptr<Hive>(const std::string& bytes, std::string& error)>;

struct OfflineImageOptions {
  // Read a hive that was not closed cleanly, and whose logs cannot be replayed, as it
  // is, without its logs' changes.
  bool allowDirty = false;
  // How messages name a file of the image (a host path on Linux); as given when unset.
  std::function<std::string(const std::string&)> shownPath;
  // Also open the SOFTWARE hive (for the Windows version a backup records). It is large
  // and only informative: missing or unsound, it is left out with a warning.
  bool readSoftware = false;
};

class OfflineImage {
 public:
  const Registry& registry() const { return *registry_; }
  const SystemFolders& folders() const { return *folders_; }
  const std::string& controlSet() const { return registry_->controlSet(); }
  // From Session Manager\Environment PROCESSOR_ARCHITECTURE; none when it is missing
  // or names an architecture without decorated INF sections of ours.
  std::optional<MachineArch> arch() const { return arch_; }
  const std::string& archText() const { return archText_; }
  // Control\Nls\CodePage ACP, the code page of the image's ANSI text files; 0 when
  // missing.
  unsigned ansiCodePage() const { return ansiCodePage_; }
  bool hasDriversHive() const { return hasDrivers_; }
  // Things the reader should know that did not stop the opening (logs replayed, a
  // hive read dirty).
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  friend std::unique_ptr<OfflineImage> OpenOfflineImage(const FileSystem&, const std::string&, const HiveOpener&,
                                                        const OfflineImageOptions&, std::string&);
  std::unique_ptr<OfflineRegistry> registry_;
  std::unique_ptr<FixedSystemFolders> folders_;
  std::optional<MachineArch> arch_;
  std::string archText_;
  unsigned ansiCodePage_ = 0;
  bool hasDrivers_ = false;
  std::vector<std::string> warnings_;
};

// Opens the installation whose volume root is `root` in `fs` ("C:\" for an image
// mapped as drive C, "D:\" or "E:\img" on Windows). A hive that was not closed
// cleanly is read with its transaction logs replayed. Null with `error` set (an
// English sentence naming the file) when there is no Windows folder, no SYSTEM hive,
// or a hive is not sound: not a hive, damaged, truncated, or dirty with logs that
// cannot be replayed, without `allowDirty` (the message then names the logs and the
// option).
std::unique_ptr<OfflineImage> OpenOfflineImage(const FileSystem& fs, const std::string& root, const HiveOpener& open,
                                               const OfflineImageOptions& options, std::string& error);

// "amd64" for "AMD64" and so on; none for x86 on ARM ("IA64") or anything unknown.
std::optional<MachineArch> MachineArchFromProcessorArchitecture(const std::string& text);

}  // namespace qelvaro
