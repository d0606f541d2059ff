#pragma once
// The registry port over advapi32.

#include "registry.h"

struct HKEY__;

namespace qelvaro {

// Takes ownership of an open key handle (closed with the returned key).
std::unique_ptr<RegistryKey> AdoptWin32Key(HKEY__* key);

class Win32Registry final : public Registry {
 public:
  long open(RegistryRoot root, const std::string& path, RegistryAccess access,
            std::unique_ptr<RegistryKey>& key) const override;
};

}  // namespace qelvaro
