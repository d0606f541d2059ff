// The 64-bit installer that the 32-bit restore programs start on 64-bit Windows:
//   qelvaro-install64.exe REQUEST-FILE RESULT-FILE
// It installs the one INF the request names and writes the outcome; its exit code
// is 0, 3010 (restart needed) or 1, and 2 when the request cannot be read.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver_install.h"
#include "install_exchange.h"
#include "win32_text.h"

namespace {

bool readFile(const wchar_t* path, std::string& bytes) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  bytes = s.str();
  return true;
}

bool writeFile(const wchar_t* path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return static_cast<bool>(out);
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
