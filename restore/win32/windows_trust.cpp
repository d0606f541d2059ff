#include "windows_trust.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include "base/win32/system_dll.h"
#include "base/win32/wide_string.h"
#include "driver_install.h"

namespace qelvaro::restore {

namespace {

using base::DllEntry;

// The driver signing policy: what Windows checks a driver package's catalog with.
GUID kDriverActionVerify = DRIVER_ACTION_VERIFY;

struct Wintrust {
  decltype(&WinVerifyTrust) verify = nullptr;
  decltype(&CertFreeCertificateContext) freeCertificate = nullptr;
};

// Loaded once and kept for the process: the DLLs stay as long as Windows is asked.
const Wintrust& wintrust() {
  static const Wintrust loaded = [] {
    Wintrust w;
    w.verify = DllEntry<decltype(w.verify)>(base::LoadSystemDll(L"wintrust.dll"), "WinVerifyTrust");
    w.freeCertificate =
        DllEntry<decltype(w.freeCertificate)>(base::LoadSystemDll(L"crypt32.dll"), "CertFreeCertificateContext");
    return w;
  }();
  return loaded;
}

// How a catalog names a member: the hex of its hash, upper case.
std::wstring memberTag(const std::string& digest) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring tag;
  for (unsigned char c : digest) {
    tag += kHex[c >> 4];
    tag += kHex[c & 15];
  }
  return tag;
}

// WinVerifyTrust's answer for one member, its state released.
LONG verifyMember(const Wintrust& w, const std::wstring& catalog, const TrustMember& member) {
  const std::wstring path = base::widen(member.path);
  const std::wstring tag = memberTag(member.digest);
  std::string digest = member.digest;
  WINTRUST_CATALOG_INFO info{};
  info.cbStruct = sizeof info;
  info.pcwszCatalogFilePath = catalog.c_str();
  info.pcwszMemberTag = tag.c_str();
  info.pcwszMemberFilePath = path.c_str();
  if (!digest.empty()) {
    info.pbCalculatedFileHash = reinterpret_cast<BYTE*>(digest.data());
    info.cbCalculatedFileHash = static_cast<DWORD>(digest.size());
  }
  DRIVER_VER_INFO version{};
  version.cbStruct = sizeof version;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.pPolicyCallbackData = &version;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_CATALOG;
  data.pCatalog = &info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  const HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const LONG answer = w.verify(noWindow, &kDriverActionVerify, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  w.verify(noWindow, &kDriverActionVerify, &data);
  if (version.pcSignerCertContext && w.freeCertificate) w.freeCertificate(version.pcSignerCertContext);
  return answer;
}

}  // namespace

std::optional<WindowsTrust> AskWindowsTrust(const std::string& stagedCatalog, const std::vector<TrustMember>& members) {
  const Wintrust& w = wintrust();
  if (!w.verify) return std::nullopt;
  const std::wstring catalog = base::widen(stagedCatalog);
  WindowsTrust trust;
  for (const TrustMember& member : members) {
    const LONG answer = verifyMember(w, catalog, member);
    if (answer == ERROR_SUCCESS) continue;
    trust.code = static_cast<unsigned long>(answer);
    trust.file = member.name;
    trust.systemText = SystemErrorText(trust.code);
    break;
  }
  return trust;
}

}  // namespace qelvaro::restore
