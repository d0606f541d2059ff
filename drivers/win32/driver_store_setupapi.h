#pragma once
// The driver-store lookup of the running system: SetupGetInfDriverStoreLocationW
// (Windows 8 and later; mingw does not declare it, so it is looked up at run time).

#include <windows.h>

#include <memory>

#include "base/win32/handle.h"
#include "driver_store.h"

namespace qelvaro {

class SetupApiDriverStoreLookup final : public DriverStoreLookup {
 public:
  explicit SetupApiDriverStoreLookup(const SystemFolders& folders);
  ~SetupApiDriverStoreLookup() override;
  SetupApiDriverStoreLookup(const SetupApiDriverStoreLookup&) = delete;
  SetupApiDriverStoreLookup& operator=(const SetupApiDriverStoreLookup&) = delete;

  // False when this system's setupapi has no such function.
  bool available() const { return function_ != nullptr; }
  std::optional<std::string> packageFolder(const std::string& infName) const override;
  // The error of the last call that found nothing (Wine answers 120, not implemented).
  DWORD lastError() const { return lastError_; }

 private:
  using Function = BOOL(WINAPI*)(PCWSTR, void*, PCWSTR, PWSTR, DWORD, PDWORD);
  const SystemFolders& folders_;
  base::UniqueModule module_;
  Function function_ = nullptr;
  mutable DWORD lastError_ = 0;
};

}  // namespace qelvaro
