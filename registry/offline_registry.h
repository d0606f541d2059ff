#pragma once
// The registry port over the hives of an offline Windows installation. Keys under
// HKEY_LOCAL_MACHINE\SYSTEM come from the SYSTEM hive and those under
// HKEY_LOCAL_MACHINE\DRIVERS from the DRIVERS hive (Windows 8 and later keep the
// driver database there), and those under HKEY_LOCAL_MACHINE\SOFTWARE from the SOFTWARE
// hive when it was opened, as a running Windows mounts them. An offline hive has no
// CurrentControlSet: it is the control set that Select\Current names, so the
// inventory and the driver-store lookup run unchanged on its paths.

#include <memory>
#include <optional>
#include <string>

#include "registry.h"

namespace qelvaro {

// One hive file, opened by a platform reader (hivex, or RegLoadAppKeyW on Windows).
class Hive {
 public:
  virtual ~Hive() = default;
  // Opens the key at `path` below the hive's root (backslash-separated; empty for the
  // root itself). Names compare without regard to case.
  virtual long open(const std::string& path, std::unique_ptr<RegistryKey>& key) const = 0;
};

// "ControlSet001" for Select\Current = 1; none when the value is missing, not a
// 32-bit number, or out of the range Windows uses (1 to 999).
std::optional<std::string> CurrentControlSetName(const Hive& system);

class OfflineRegistry final : public Registry {
 public:
  // `drivers` may be null (Windows 7 and earlier have no DRIVERS hive), and `software`
  // too (not asked for, or not there).
  OfflineRegistry(std::unique_ptr<Hive> system, std::unique_ptr<Hive> drivers, std::string controlSet,
                  std::unique_ptr<Hive> software = nullptr)
      : system_(std::move(system)), drivers_(std::move(drivers)), software_(std::move(software)),
        controlSet_(std::move(controlSet)) {}

  long open(RegistryRoot root, const std::string& path, RegistryAccess access,
            std::unique_ptr<RegistryKey>& key) const override;

  const std::string& controlSet() const { return controlSet_; }

 private:
  std::unique_ptr<Hive> system_;
  std::unique_ptr<Hive> drivers_;
  std::unique_ptr<Hive> software_;
  std::string controlSet_;
};

}  // namespace qelvaro
