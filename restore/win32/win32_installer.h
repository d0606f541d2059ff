#pragma once
// The installer the restore programs use on Windows: in this process where the
// process matches the system (32-bit on 32-bit Windows, 64-bit on 64-bit Windows),
// through the 64-bit installer carried as the resource "INSTALL64.EXE" where a
// 32-bit process runs on 64-bit Windows. ARM64 Windows is not supported yet.

#include <windows.h>

#include <string>
#include <vector>

#include "restore_run.h"

namespace qelvaro::restore {

enum class InstallRoute { InProcess, Helper64, Unsupported };

// How drivers are installed on this machine from this process.
InstallRoute CurrentInstallRoute();

// True when the process runs with administrator rights (installing drivers needs them).
bool ProcessIsElevated();

// A new folder of this run that only this run uses: below %SystemRoot%\Temp when
// the process is elevated (other users' processes cannot write into what it makes
// there), else below the user's temporary folder. Empty when none can be made.
std::wstring MakeRunFolder();

// Deletes the run folder and what is in it. The 64-bit helper's image and working
// folder can stay in use for a moment after its process has ended (seen under Wine;
// scanners do the same on Windows), so a refused delete is tried again for up to two
// seconds.
void RemoveRunFolder(const std::wstring& folder);

class Win32DriverInstaller final : public DriverInstaller {
 public:
  // `runFolder` holds the 64-bit installer and the files exchanged with it.
  explicit Win32DriverInstaller(std::wstring runFolder);
  ~Win32DriverInstaller() override;
  Win32DriverInstaller(const Win32DriverInstaller&) = delete;
  Win32DriverInstaller& operator=(const Win32DriverInstaller&) = delete;

  InstallOutcome install(const std::string& stagedInf, const std::vector<std::string>& deviceIds) override;
  // In this process, whichever route installs: WinVerifyTrust answers 32-bit callers too.
  std::optional<WindowsTrust> verifyTrust(const std::string& stagedCatalog,
                                          const std::vector<TrustMember>& members) override;

 private:
  InstallOutcome installThroughHelper(const std::string& stagedInf, const std::vector<std::string>& deviceIds);
  // Writes the carried 64-bit installer once and keeps it open without write or
  // delete sharing, so that nobody swaps it between the write and the start.
  DWORD prepareHelper();

  std::wstring runFolder_;
  InstallRoute route_;
  std::wstring helperPath_;
  HANDLE helperLock_ = INVALID_HANDLE_VALUE;
  int requests_ = 0;
};

}  // namespace qelvaro::restore
