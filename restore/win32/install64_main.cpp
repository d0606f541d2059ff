// The 64-bit installer that the 32-bit restore programs start on 64-bit Windows:
//   qelvaro-install64.exe REQUEST-FILE RESULT-FILE
// It installs the one INF the request names and writes the outcome; its exit code
// is 0, 3010 (restart needed) or 1, and 2 when the request cannot be read.
#include <windows.h>

#include <string>

#include "base/win32/system_dll.h"
#include "base/win32/whole_file.h"
#include "driver_install.h"
#include "install_exchange.h"
#include "base/win32/wide_string.h"

int wmain(int argc, wchar_t** argv) {
  using namespace qelvaro::restore;
  qelvaro::base::RestrictDllSearch();
  if (argc != 3) return 2;
  std::string text;
  if (!qelvaro::base::ReadWholeFile(argv[1], text)) return 2;
  const auto request = ParseInstallRequest(text);
  if (!request) return 2;
  const InstallOutcome outcome = InstallDriverHere(qelvaro::base::widen(request->inf), request->deviceIds);
  const std::string result = FormatInstallOutcome(outcome);
  if (!qelvaro::base::WriteWholeFile(argv[2], result.data(), result.size(), qelvaro::base::WriteMode::Replace)) return 2;
  return InstallExitCode(outcome);
}
