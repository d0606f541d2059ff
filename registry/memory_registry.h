#pragma once
// An in-memory registry, filled from .reg text ("Windows Registry Editor Version
// 5.00" or "REGEDIT4", UTF-16LE or UTF-8), for tests and fixtures. Subkeys
// enumerate in the order Windows gives them: sorted by name without regard to case.

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "registry.h"

namespace qelvaro {

class MemoryRegistry final : public Registry {
 public:
  // Applies a .reg file's text (bytes as read). Returns an error message for text
  // that is not a registry file, or none.
  std::optional<std::string> importRegFile(std::string_view bytes);

  void setValue(RegistryRoot root, const std::string& path, const std::string& name, RegistryData data);
  void createKey(RegistryRoot root, const std::string& path);
  void deleteKey(RegistryRoot root, const std::string& path);
  // Opening the key (any access) fails with "access denied" from now on.
  void denyAccess(RegistryRoot root, const std::string& path);

  long open(RegistryRoot root, const std::string& path, RegistryAccess access,
            std::unique_ptr<RegistryKey>& key) const override;

  struct Node;

 private:
  Node* find(RegistryRoot root, const std::string& path) const;
  Node& create(RegistryRoot root, const std::string& path);

  std::map<RegistryRoot, std::shared_ptr<Node>> roots_;
};

// Data helpers for building values by hand.
RegistryData RegString(const std::string& utf8, RegistryType type = RegistryType::String);
RegistryData RegDword(std::uint32_t value);

}  // namespace qelvaro
