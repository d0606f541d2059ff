// Makes a root-enumerated device with a hardware id of ours, for the install tests:
//   restore_test_device.exe HARDWARE-ID
// Exit code 0 when the device is registered.
#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  static const GUID kSystemClass = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
  HDEVINFO set = SetupDiCreateDeviceInfoList(&kSystemClass, nullptr);
  if (set == INVALID_HANDLE_VALUE) return 1;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  // The hardware id as a multi-string: the id, then two NULs.
  std::wstring ids = std::wstring(argv[1]) + L'\0' + L'\0';
  const bool ok =
      SetupDiCreateDeviceInfoW(set, L"System", &kSystemClass, nullptr, nullptr, DICD_GENERATE_ID, &device) &&
      SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(ids.c_str()),
                                        static_cast<DWORD>(ids.size() * sizeof(wchar_t))) &&
      SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device);
  if (!ok) std::fprintf(stderr, "restore_test_device: error %lu\n", GetLastError());
  SetupDiDestroyDeviceInfoList(set);
  return ok ? 0 : 1;
}
