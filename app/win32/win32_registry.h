#pragma once
// The registry port over advapi32.

#include "registry.h"

namespace qelvaro {

class Win32Registry final : public Registry {
 public:
  long open(RegistryRoot root, const std::string& path, RegistryAccess access,
            std::unique_ptr<RegistryKey>& key) const override;
};

}  // namespace qelvaro
