#include "driver_install.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <set>

#include "base/win32/system_dll.h"
#include "setupapi_codes.h"
#include "base/win32/wide_string.h"

namespace qelvaro::restore {

namespace {

using base::DllEntry;

struct SetupApi {
  using CopyOemInf = BOOL(WINAPI*)(PCWSTR, PCWSTR, DWORD, DWORD, PWSTR, DWORD, PDWORD, PWSTR*);
  using GetClassDevs = HDEVINFO(WINAPI*)(const GUID*, PCWSTR, HWND, DWORD);
  using EnumDeviceInfo = BOOL(WINAPI*)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
  using GetDeviceRegistryProperty = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD, PDWORD);
  using DestroyDeviceInfoList = BOOL(WINAPI*)(HDEVINFO);
  using UpdateDriver = BOOL(WINAPI*)(HWND, LPCWSTR, LPCWSTR, DWORD, PBOOL);
  using GetInfClass = BOOL(WINAPI*)(PCWSTR, LPGUID, PWSTR, DWORD, PDWORD);
  using InstallDriver = BOOL(WINAPI*)(HWND, LPCWSTR, DWORD, PBOOL);

  SetupApi() {
    setupapi = base::LoadSystemDll(L"setupapi.dll");
    newdev = base::LoadSystemDll(L"newdev.dll");
    copyOemInf = DllEntry<CopyOemInf>(setupapi, "SetupCopyOEMInfW");
    getClassDevs = DllEntry<GetClassDevs>(setupapi, "SetupDiGetClassDevsW");
    enumDeviceInfo = DllEntry<EnumDeviceInfo>(setupapi, "SetupDiEnumDeviceInfo");
    getProperty = DllEntry<GetDeviceRegistryProperty>(setupapi, "SetupDiGetDeviceRegistryPropertyW");
    destroyList = DllEntry<DestroyDeviceInfoList>(setupapi, "SetupDiDestroyDeviceInfoList");
    updateDriver = DllEntry<UpdateDriver>(newdev, "UpdateDriverForPlugAndPlayDevicesW");
    getInfClass = DllEntry<GetInfClass>(setupapi, "SetupDiGetINFClassW");
    installDriver = DllEntry<InstallDriver>(newdev, "DiInstallDriverW");
  }
  ~SetupApi() {
    if (newdev) FreeLibrary(newdev);
    if (setupapi) FreeLibrary(setupapi);
  }
  SetupApi(const SetupApi&) = delete;
  SetupApi& operator=(const SetupApi&) = delete;
  bool complete() const {
    return copyOemInf && getClassDevs && enumDeviceInfo && getProperty && destroyList && updateDriver;
  }

  HMODULE setupapi = nullptr;
  HMODULE newdev = nullptr;
  CopyOemInf copyOemInf = nullptr;
  GetClassDevs getClassDevs = nullptr;
  EnumDeviceInfo enumDeviceInfo = nullptr;
  GetDeviceRegistryProperty getProperty = nullptr;
  DestroyDeviceInfoList destroyList = nullptr;
  UpdateDriver updateDriver = nullptr;
  GetInfClass getInfClass = nullptr;        // optional
  InstallDriver installDriver = nullptr;    // optional (Vista and later)
};

// An extension INF (class Extension) adds settings and files to the driver of the
// devices it names; it is never their driver.
bool isExtensionInf(const SetupApi& api, const std::wstring& infPath) {
  static const GUID kExtension = {0xe2f84ce7, 0x8efa, 0x411c, {0xaa, 0x69, 0x97, 0x45, 0x4c, 0xa4, 0xcb, 0x57}};
  GUID guid{};
  wchar_t name[MAX_CLASS_NAME] = L"";
  if (!api.getInfClass || !api.getInfClass(infPath.c_str(), &guid, name, MAX_CLASS_NAME, nullptr)) return false;
  return IsEqualGUID(guid, kExtension) || _wcsicmp(name, L"Extension") == 0;
}

std::wstring upper(std::wstring text) {
  for (auto& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

// The hardware and compatible ids of each present device, upper-cased.
std::vector<std::set<std::wstring>> presentDevices(const SetupApi& api) {
  std::vector<std::set<std::wstring>> devices;
  HDEVINFO list = api.getClassDevs(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  if (list == INVALID_HANDLE_VALUE) return devices;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; api.enumDeviceInfo(list, i, &device); ++i) {
    std::set<std::wstring>& ids = devices.emplace_back();
    for (DWORD property : {static_cast<DWORD>(SPDRP_HARDWAREID), static_cast<DWORD>(SPDRP_COMPATIBLEIDS)}) {
      DWORD size = 0;
      api.getProperty(list, &device, property, nullptr, nullptr, 0, &size);
      if (size == 0) continue;
      std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
      if (!api.getProperty(list, &device, property, nullptr, reinterpret_cast<BYTE*>(buffer.data()), size, nullptr)) {
        continue;
      }
      for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) ids.insert(upper(p));
    }
  }
  api.destroyList(list);
  return devices;
}

InstallOutcome failure(unsigned long code) {
  InstallOutcome outcome;
  outcome.status = DriverStatus::Failed;
  outcome.code = code;
  outcome.systemText = SystemErrorText(code);
  return outcome;
}

std::string fileName(const std::wstring& path) {
  const auto sep = path.find_last_of(L"\\/");
  return base::narrow(sep == std::wstring::npos ? path : path.substr(sep + 1));
}

}  // namespace

std::string SystemErrorText(unsigned long code) {
  auto format = [](DWORD c) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, c, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring s = n && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!s.empty() && (s.back() == L'\r' || s.back() == L'\n' || s.back() == L' ')) s.pop_back();
    return base::narrow(s);
  };
  std::string text = format(code);
  if (text.empty() && IsSetupApiError(code)) text = format(SetupApiHresult(code));
  return text;
}

InstallOutcome InstallDriverHere(const std::wstring& infPath, const std::vector<std::string>& deviceIds) {
  const SetupApi api;
  if (!api.complete()) return failure(ERROR_PROC_NOT_FOUND);

  wchar_t stored[MAX_PATH] = L"";
  if (!api.copyOemInf(infPath.c_str(), nullptr, SPOST_PATH, 0, stored, MAX_PATH, nullptr, nullptr)) {
    return failure(GetLastError());
  }
  InstallOutcome outcome;
  outcome.storedInf = fileName(stored);

  const std::vector<std::set<std::wstring>> devices = presentDevices(api);
  std::set<std::wstring> present;
  for (const auto& ids : devices) present.insert(ids.begin(), ids.end());
  if (isExtensionInf(api, infPath)) {
    // Updating a device from an extension INF would make the extension its driver.
    // DiInstallDriverW lets Windows apply it to every present device it fits, beside
    // their drivers; without it the package stays in the store for the next start.
    int fits = 0;
    for (const auto& ids : devices) {
      fits += std::any_of(deviceIds.begin(), deviceIds.end(),
                          [&](const std::string& id) { return ids.count(upper(base::widen(id))) != 0; });
    }
    BOOL reboot = FALSE;
    if (fits == 0 || !api.installDriver) {
      outcome.status = DriverStatus::Staged;
    } else if (api.installDriver(nullptr, infPath.c_str(), 0, &reboot)) {
      outcome.devicesUpdated = fits;
      outcome.status = reboot ? DriverStatus::NeedsRestart : DriverStatus::Installed;
    } else {
      InstallOutcome failed = failure(GetLastError());
      failed.storedInf = outcome.storedInf;
      return failed;
    }
    return outcome;
  }
  std::set<std::wstring> tried;
  bool restart = false;
  for (const std::string& id : deviceIds) {
    const std::wstring wide = base::widen(id);
    if (!present.count(upper(wide)) || !tried.insert(upper(wide)).second) continue;
    BOOL reboot = FALSE;
    if (api.updateDriver(nullptr, wide.c_str(), infPath.c_str(), 0, &reboot)) {
      ++outcome.devicesUpdated;
      restart = restart || reboot;
      continue;
    }
    const DWORD error = GetLastError();
    // The device keeps a driver that Windows ranks as good or better, or went away
    // between the listing and the call: the package stays in the store either way.
    if (error == ERROR_NO_MORE_ITEMS) ++outcome.devicesKept;
    if (error == ERROR_NO_MORE_ITEMS || error == ERROR_NO_SUCH_DEVINST) continue;
    InstallOutcome failed = failure(error);
    failed.storedInf = outcome.storedInf;
    failed.devicesUpdated = outcome.devicesUpdated;
    failed.devicesKept = outcome.devicesKept;
    return failed;
  }
  if (restart) outcome.status = DriverStatus::NeedsRestart;
  else outcome.status = outcome.devicesUpdated > 0 ? DriverStatus::Installed : DriverStatus::Staged;
  return outcome;
}

}  // namespace qelvaro::restore
