#include "device_list.h"

#include <windows.h>
#include <setupapi.h>

#include <set>

#include "driver_install.h"
#include "base/text_encoding.h"
#include "base/win32/system_dll.h"
#include "base/win32/handle.h"
#include "base/win32/wide_string.h"

namespace qelvaro::restore {

namespace {

constexpr DWORD kMaxInstanceId = 200;  // MAX_DEVICE_ID_LEN

// setupapi.dll is no KnownDLL: the restore programs run from folders others may
// write, so it is loaded from System32 at run time, never imported.
struct DeviceApi {
  using GetClassDevs = HDEVINFO(WINAPI*)(const GUID*, PCWSTR, HWND, DWORD);
  using EnumDeviceInfo = BOOL(WINAPI*)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
  using GetProperty = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD, PDWORD);
  using GetInstanceId = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, PWSTR, DWORD, PDWORD);
  using DestroyList = BOOL(WINAPI*)(HDEVINFO);

  DeviceApi() : module(base::LoadSystemDll(L"setupapi.dll")) {
    getClassDevs = entry<GetClassDevs>("SetupDiGetClassDevsW");
    enumDevice = entry<EnumDeviceInfo>("SetupDiEnumDeviceInfo");
    getProperty = entry<GetProperty>("SetupDiGetDeviceRegistryPropertyW");
    getInstanceId = entry<GetInstanceId>("SetupDiGetDeviceInstanceIdW");
    destroyList = entry<DestroyList>("SetupDiDestroyDeviceInfoList");
  }
  template <typename Fn>
  Fn entry(const char* name) const {
    return base::DllEntry<Fn>(module.get(), name);
  }
  bool complete() const { return getClassDevs && enumDevice && getProperty && getInstanceId && destroyList; }

  base::UniqueModule module;
  GetClassDevs getClassDevs = nullptr;
  EnumDeviceInfo enumDevice = nullptr;
  GetProperty getProperty = nullptr;
  GetInstanceId getInstanceId = nullptr;
  DestroyList destroyList = nullptr;
};

// A string or multi-string property as its strings; none when the device has none.
std::vector<std::string> property(const DeviceApi& api, HDEVINFO list, SP_DEVINFO_DATA& device, DWORD which) {
  DWORD size = 0;
  api.getProperty(list, &device, which, nullptr, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
  if (!api.getProperty(list, &device, which, nullptr, reinterpret_cast<BYTE*>(buffer.data()), size, nullptr)) {
    return {};
  }
  std::vector<std::string> values;
  for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) values.push_back(base::narrow(p));
  return values;
}

std::wstring registryText(HKEY key, const wchar_t* name) {
  wchar_t buffer[256] = L"";
  DWORD type = 0, size = sizeof buffer - sizeof(wchar_t);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  buffer[size / sizeof(wchar_t)] = L'\0';
  return buffer;
}

// The DriverVer ("m-d-yyyy,w.x.y.z") and provider of the driver key the device's Driver
// property names.
void readInstalledDriver(const std::string& driverKey, PcDevice& device) {
  if (driverKey.empty()) return;
  const std::wstring path = L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + base::widen(driverKey);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return;
  }
  const std::wstring date = registryText(key, L"DriverDate"), version = registryText(key, L"DriverVersion");
  device.installedProvider = base::narrow(registryText(key, L"ProviderName"));
  RegCloseKey(key);
  if (!date.empty() || !version.empty()) device.installedDriverVer = base::narrow(date + L"," + version);
}

}  // namespace

std::vector<PcDevice> ListPcDevices() {
  const DeviceApi api;
  std::vector<PcDevice> devices;
  if (!api.complete()) return devices;
  auto forEach = [&](DWORD flags, auto&& visit) {
    HDEVINFO list = api.getClassDevs(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | flags);
    if (list == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; api.enumDevice(list, i, &device); ++i) {
      wchar_t id[kMaxInstanceId + 1] = L"";
      if (api.getInstanceId(list, &device, id, kMaxInstanceId + 1, nullptr)) visit(list, device, base::narrow(id));
    }
    api.destroyList(list);
  };
  std::set<std::string> present;
  forEach(DIGCF_PRESENT,
          [&](HDEVINFO, SP_DEVINFO_DATA&, const std::string& id) { present.insert(asciiLowerCopy(id)); });
  forEach(0, [&](HDEVINFO list, SP_DEVINFO_DATA& device, const std::string& id) {
    PcDevice d;
    d.instanceId = id;
    d.present = present.count(asciiLowerCopy(id)) != 0;
    d.hardwareIds = property(api, list, device, SPDRP_HARDWAREID);
    d.compatibleIds = property(api, list, device, SPDRP_COMPATIBLEIDS);
    for (DWORD which : {static_cast<DWORD>(SPDRP_FRIENDLYNAME), static_cast<DWORD>(SPDRP_DEVICEDESC)}) {
      const auto name = property(api, list, device, which);
      if (!name.empty() && !name.front().empty()) {
        d.name = name.front();
        break;
      }
    }
    if (d.name.empty()) d.name = id;
    const auto driver = property(api, list, device, SPDRP_DRIVER);
    readInstalledDriver(driver.empty() ? std::string() : driver.front(), d);
    devices.push_back(std::move(d));
  });
  return devices;
}

}  // namespace qelvaro::restore
