#include "win32_export.h"

#include <shellapi.h>
#include <shlobj.h>

#include "grid_error.h"
#include "base/win32/wide_string.h"

namespace qelvaro::grid {

namespace {

std::wstring title() { return RegistrySettingsStore::ProgramTitle(); }

std::string systemMessage(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = text ? base::narrow(text) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace

std::optional<std::string> Win32ExportPort::DesktopFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path)) || !path[0])
    return std::nullopt;
  return base::narrow(path);
}

void Win32ExportPort::Inform(std::string_view text) {
  MessageBoxW(owner_, base::widen(text).c_str(), title().c_str(), MB_OK | MB_ICONINFORMATION);
}

void Win32ExportPort::ExportError(std::string_view text) {
  MessageBoxW(owner_, base::widen(text).c_str(), L"CellGrid.Export", MB_OK | MB_ICONERROR);
}

bool Win32ExportPort::AskYesNo(std::string_view text) {
  return MessageBoxW(owner_, base::widen(text).c_str(), title().c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool Win32ExportPort::ShellOpen(const std::string& path) {
  const std::wstring file = base::widen(path);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = owner_;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return false;
  if (info.hProcess) CloseHandle(info.hProcess);
  return true;
}

std::optional<std::string> Win32ExportPort::ToAnsi(std::string_view utf8) {
  const std::wstring wide = base::widen(utf8);
  if (wide.empty()) return std::string();
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, &lossy);
  if (n <= 0 || lossy) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      &lossy);
  return lossy ? std::nullopt : std::optional<std::string>(std::move(out));
}

std::optional<std::string> Win32ExportPort::WriteReplacing(const std::string& path, std::string_view bytes) {
  const std::wstring target = base::widen(path);
  const std::wstring temp = target + L".part";
  HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return systemMessage(GetLastError());
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size() && FlushFileBuffers(file);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok || !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = ok ? GetLastError() : error;
    DeleteFileW(temp.c_str());
    return systemMessage(code);
  }
  return std::nullopt;
}

std::wstring RegistrySettingsStore::ProgramTitle() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name = path;
  name = name.substr(name.find_last_of(L"\\/") + 1);
  const std::size_t dot = name.find_last_of(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring RegistrySettingsStore::keyPath(std::string_view section) const {
  return L"Software\\Qelvaro\\" + title_ + L"\\" + base::widen(section);
}

// Only a missing key or value means "not saved yet"; any other failure is a store
// that could not be read, and goes to the caller rather than passing as a default.
std::optional<std::string> RegistrySettingsStore::Get(std::string_view section, std::string_view key) {
  const std::wstring path = keyPath(section);
  const std::wstring name = base::widen(key);
  std::wstring buffer(256, L'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    const LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(), &size);
    if (status == ERROR_SUCCESS) {
      buffer.resize(size / sizeof(wchar_t));
      while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
      return base::narrow(buffer);
    }
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (status == ERROR_MORE_DATA) {
      buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
      continue;
    }
    throwSettingsError("cannot read setting " + base::narrow(path) + "\\" + std::string(key) + ": " +
                       systemMessage(static_cast<DWORD>(status)));
  }
}

void RegistrySettingsStore::Put(std::string_view section, std::string_view key, std::string_view value) {
  const std::wstring path = keyPath(section);
  HKEY hkey = nullptr;
  LSTATUS status =
      RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hkey, nullptr);
  if (status == ERROR_SUCCESS) {
    const std::wstring v = base::widen(value);
    status = RegSetValueExW(hkey, base::widen(key).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                            static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(hkey);
  }
  if (status != ERROR_SUCCESS)
    throwSettingsError("cannot save setting " + base::narrow(path) + "\\" + std::string(key) + ": " +
                       systemMessage(static_cast<DWORD>(status)));
}

}  // namespace qelvaro::grid
