#include "native_arch.h"

#include <windows.h>

namespace qelvaro {

namespace {
constexpr USHORT kMachineAmd64 = 0x8664;  // IMAGE_FILE_MACHINE_AMD64
constexpr USHORT kMachineArm64 = 0xAA64;  // IMAGE_FILE_MACHINE_ARM64

MachineArch detect() {
  using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
    auto fn = reinterpret_cast<IsWow64Process2Fn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")));
    USHORT process = 0, native = 0;
    if (fn && fn(GetCurrentProcess(), &process, &native)) {
      if (native == kMachineAmd64) return MachineArch::Amd64;
      if (native == kMachineArm64) return MachineArch::Arm64;
      if (native != 0) return MachineArch::X86;
    }
  }
#if defined(_WIN64)
#if defined(_M_ARM64) || defined(__aarch64__)
  return MachineArch::Arm64;
#else
  return MachineArch::Amd64;
#endif
#else
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) return MachineArch::Amd64;
  return MachineArch::X86;
#endif
}
}  // namespace

MachineArch NativeMachineArch() {
  static const MachineArch arch = detect();
  return arch;
}

}  // namespace qelvaro
