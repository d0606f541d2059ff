#include "offline_registry.h"

#include <cstdio>

#include "base/text_encoding.h"

namespace qelvaro {
namespace {

// Splits off the first component of a backslash path.
std::string_view firstComponent(std::string_view path, std::string_view& rest) {
  const std::size_t slash = path.find('\\');
  if (slash == std::string_view::npos) {
    rest = {};
    return path;
  }
  rest = path.substr(slash + 1);
  return path.substr(0, slash);
}

}  // namespace

std::optional<std::string> CurrentControlSetName(const Hive& system) {
  std::unique_ptr<RegistryKey> select;
  if (system.open("Select", select) != kRegSuccess) return std::nullopt;
  RegistryData data;
  if (select->queryValue("Current", data) != kRegSuccess || data.type != RegistryType::Dword ||
      data.bytes.size() < 4) {
    return std::nullopt;
  }
  const std::uint32_t n = data.bytes[0] | (data.bytes[1] << 8) | (data.bytes[2] << 16) |
                          (static_cast<std::uint32_t>(data.bytes[3]) << 24);
  if (n < 1 || n > 999) return std::nullopt;
  char name[32];
  std::snprintf(name, sizeof name, "ControlSet%03u", static_cast<unsigned>(n));
  return std::string(name);
}

long OfflineRegistry::open(RegistryRoot root, const std::string& path, RegistryAccess,
                           std::unique_ptr<RegistryKey>& key) const {
  key.reset();
  if (root != RegistryRoot::LocalMachine) return kRegFileNotFound;
  std::string_view rest;
  const std::string_view hiveName = firstComponent(path, rest);
  if (iequalsAscii(hiveName, "DRIVERS") || iequalsAscii(hiveName, "SOFTWARE")) {
    const std::unique_ptr<Hive>& hive = iequalsAscii(hiveName, "DRIVERS") ? drivers_ : software_;
    if (!hive) return kRegFileNotFound;
    return hive->open(std::string(rest), key);
  }
  if (!iequalsAscii(hiveName, "SYSTEM")) return kRegFileNotFound;
  std::string_view tail;
  const std::string_view set = firstComponent(rest, tail);
  if (iequalsAscii(set, "CurrentControlSet")) {
    return system_->open(tail.empty() ? controlSet_ : controlSet_ + "\\" + std::string(tail), key);
  }
  return system_->open(std::string(rest), key);
}

}  // namespace qelvaro
