#include "win32_installer.h"

#include "driver_install.h"
#include "install_exchange.h"
#include "native_arch.h"
#include "win32_file_system.h"
#include "windows_trust.h"
#include "base/win32/whole_file.h"
#include "base/win32/wide_string.h"

namespace qelvaro::restore {

namespace {

constexpr wchar_t kHelperResource[] = L"INSTALL64.EXE";
constexpr wchar_t kHelperName[] = L"qelvaro-install64.exe";

}  // namespace

bool ProcessIsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                        elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

namespace {

std::wstring withSlash(std::wstring path) {
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path;
}

InstallOutcome failure(DWORD code, std::string text = {}) {
  InstallOutcome outcome;
  outcome.status = DriverStatus::Failed;
  outcome.code = code;
  outcome.systemText = text.empty() ? SystemErrorText(code) : std::move(text);
  return outcome;
}

}  // namespace

InstallRoute CurrentInstallRoute() {
  const MachineArch native = NativeMachineArch();
  if (native == MachineArch::Arm64) return InstallRoute::Unsupported;
#if defined(_WIN64)
  return InstallRoute::InProcess;
#else
  return native == MachineArch::Amd64 ? InstallRoute::Helper64 : InstallRoute::InProcess;
#endif
}

// The process's own temporary folder: the user's, or for SYSTEM the folder Windows 11
// keeps for it (GetTempPath2W). Never <Windows>\Temp, where every user may create
// entries and so plant a link where an elevated run would then write.
std::wstring MakeRunFolder() {
  using TempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto tempPath2 =
      kernel ? reinterpret_cast<TempPath2>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetTempPath2W"))) : nullptr;
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = tempPath2 ? tempPath2(MAX_PATH + 1, temp) : GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) return {};
  const std::wstring base = withSlash(std::wstring(temp, n));
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    wchar_t name[64];
    swprintf(name, 64, L"qelvaro-restore-%08lx%04x", static_cast<unsigned long>(GetCurrentProcessId()),
             static_cast<unsigned>((counter.LowPart + attempt * 7919u) & 0xFFFF));
    const std::wstring folder = base + name;
    // CreateDirectory fails on a folder that is already there: nobody hands us theirs.
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

Win32DriverInstaller::Win32DriverInstaller(std::wstring runFolder)
    : runFolder_(std::move(runFolder)), route_(CurrentInstallRoute()) {}

Win32DriverInstaller::~Win32DriverInstaller() {
  if (helperLock_ != INVALID_HANDLE_VALUE) CloseHandle(helperLock_);
  if (!helperPath_.empty()) DeleteFileW(helperPath_.c_str());
}

void RemoveRunFolder(const std::wstring& folder) {
  if (folder.empty()) return;
  Win32FileSystem fs;
  for (int attempt = 0; attempt < 40; ++attempt) {
    if (fs.deleteTree(base::narrow(folder)) || GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    Sleep(50);
  }
}

std::optional<WindowsTrust> Win32DriverInstaller::verifyTrust(const std::string& stagedCatalog,
                                                              const std::vector<TrustMember>& members) {
  return AskWindowsTrust(stagedCatalog, members);
}

InstallOutcome Win32DriverInstaller::install(const std::string& stagedInf, const std::vector<std::string>& deviceIds) {
  switch (route_) {
    case InstallRoute::InProcess: return InstallDriverHere(base::widen(stagedInf), deviceIds);
    case InstallRoute::Helper64: return installThroughHelper(stagedInf, deviceIds);
    case InstallRoute::Unsupported: break;
  }
  InstallOutcome outcome = failure(ERROR_NOT_SUPPORTED);
  outcome.status = DriverStatus::Unsupported;
  return outcome;
}

DWORD Win32DriverInstaller::prepareHelper() {
  if (helperLock_ != INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
  HRSRC found = FindResourceW(nullptr, kHelperResource, L"CUSTOM");
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(nullptr, found) : 0;
  if (!data || size == 0) return ERROR_RESOURCE_DATA_NOT_FOUND;
  const std::wstring path = withSlash(runFolder_) + kHelperName;
  if (!base::WriteWholeFile(path.c_str(), data, size, base::WriteMode::CreateNew)) return GetLastError();
  helperPath_ = path;
  helperLock_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  return helperLock_ == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
}

InstallOutcome Win32DriverInstaller::installThroughHelper(const std::string& stagedInf,
                                                          const std::vector<std::string>& deviceIds) {
  if (const DWORD error = prepareHelper(); error != ERROR_SUCCESS) return failure(error);
  const std::wstring number = std::to_wstring(++requests_);
  const std::wstring request = withSlash(runFolder_) + L"request-" + number + L".txt";
  const std::wstring result = withSlash(runFolder_) + L"result-" + number + L".txt";
  const std::string text = FormatInstallRequest(InstallRequest{stagedInf, deviceIds});
  if (!base::WriteWholeFile(request.c_str(), text.data(), text.size(), base::WriteMode::CreateNew)) return failure(GetLastError());

  std::wstring commandLine = L"\"" + helperPath_ + L"\" \"" + request + L"\" \"" + result + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(helperPath_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      runFolder_.c_str(), &startup, &process)) {
    const DWORD error = GetLastError();
    DeleteFileW(request.c_str());
    return failure(error);
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);

  // A result that cannot be read parses as no outcome.
  std::string resultText;
  if (!base::ReadWholeFile(result.c_str(), resultText)) resultText.clear();
  const auto outcome = ParseInstallOutcome(resultText);
  DeleteFileW(request.c_str());
  DeleteFileW(result.c_str());
  if (!outcome) {
    return failure(exitCode, "the 64-bit installer ended with code " + std::to_string(exitCode) + " and no result");
  }
  return *outcome;
}

}  // namespace qelvaro::restore
