// The 64-bit installer that the 32-bit restore programs start on 64-bit Windows:
//   qelvaro-install64.exe REQUEST-FILE RESULT-FILE
// It installs the one INF the request names and writes the outcome; its exit code
// is 0, 3010 (restart needed) or 1, and 2 when the request cannot be read.
#include <windows.h>

#include <string>

#include "driver_install.h"
#include "install_exchange.h"
#include "win32_text.h"

namespace {

// Plain Win32 file calls: the C++ streams would triple the size of this program,
// which setup.exe and qelvaro.exe both carry.
bool readFile(const wchar_t* path, std::string& bytes) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD read = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr)) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return ok;
}

bool writeFile(const wchar_t* path, const std::string& bytes) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  return CloseHandle(file) && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace qelvaro::restore;
  RestrictDllSearch();
  if (argc != 3) return 2;
  std::string text;
  if (!readFile(argv[1], text)) return 2;
  const auto request = ParseInstallRequest(text);
  if (!request) return 2;
  const InstallOutcome outcome = InstallDriverHere(qelvaro::widen(request->inf), request->deviceIds);
  if (!writeFile(argv[2], FormatInstallOutcome(outcome))) return 2;
  return InstallExitCode(outcome);
}
