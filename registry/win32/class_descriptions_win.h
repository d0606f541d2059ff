#pragma once
// The running system's names for device classes, in the system's language: what
// Windows itself shows, for class keys that carry only an indirect ClassDesc
// (Windows 10 and 11).

#include <windows.h>

#include <memory>
#include <type_traits>

#include "base/win32/handle.h"
#include "class_descriptions.h"

namespace qelvaro {

class Win32ClassDescriptions final : public ClassDescriptions {
 public:
  Win32ClassDescriptions();
  Win32ClassDescriptions(const Win32ClassDescriptions&) = delete;
  Win32ClassDescriptions& operator=(const Win32ClassDescriptions&) = delete;
  // SetupDiGetClassDescriptionW for the class, else SHLoadIndirectString on ClassDesc.
  std::string describe(const std::string& classGuid, const std::string& classDesc) const override;

 private:
  using Module = base::UniqueModule;
  using ClassDescriptionFn = BOOL(WINAPI*)(const GUID*, PWSTR, DWORD, PDWORD);
  using IndirectStringFn = HRESULT(WINAPI*)(PCWSTR, PWSTR, UINT, void**);
  Module setupapi_, shlwapi_;
  ClassDescriptionFn classDescription_ = nullptr;
  IndirectStringFn indirectString_ = nullptr;
};

}  // namespace qelvaro
