#pragma once
// setup.exe's window: the drivers found below the folder it was given, in a CellGrid
// with a tick per row, the buttons to tick all, tick none and start, and a status
// line. Installs run on a worker thread, one driver at a time; each result comes
// back as a posted message and fills the driver's status cell.

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cell_grid_window.h"
#include "restore_run.h"
#include "win32_file_system.h"

namespace qelvaro::restore {

class SetupWindow {
 public:
  SetupWindow(HINSTANCE instance, std::string folder);
  ~SetupWindow();
  SetupWindow(const SetupWindow&) = delete;
  SetupWindow& operator=(const SetupWindow&) = delete;

  static bool RegisterClasses(HINSTANCE instance);
  HWND Create();
  // The exit code of the program (see SetupExitCode; kSetupOutOfMemory when memory ran out).
  int exitCode() const {
    return outOfMemory_ ? kSetupOutOfMemory : SetupExitCode(supported_, items_.size(), ran_ ? &lastRun_ : nullptr);
  }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void createControls();
  void loadDrivers();
  void checkSignatures();
  void signatureChecked(std::size_t row);
  void signaturesDone();
  bool acceptUnsigned(const std::vector<std::size_t>& rows);
  void tickAll(bool ticked);
  void start();
  void runWorker(std::vector<std::size_t> rows, std::wstring runFolder);
  void driverStarted(std::size_t row);
  void driverDone(std::size_t row, std::unique_ptr<DriverResult> result);
  void finished();
  void setStatus(const std::string& text);
  void log(const std::string& line);
  void openLog();
  void enableButtons(bool enabled);
  grid::CellGrid& grid() { return gridWindow_->grid(); }

  HINSTANCE instance_;
  std::string folder_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  int dpi_ = 96;
  grid::CellGridWindow* gridWindow_ = nullptr;
  Win32FileSystem fs_;
  std::vector<RestoreItem> items_;  // row i shows items_[i]
  std::vector<DriverResult> results_;
  // Each driver's signature, written by the checking thread before it posts the row.
  std::vector<std::optional<PackageSignature>> signatures_;
  std::atomic<bool> stop_{false};
  bool checking_ = false;
  std::vector<std::size_t> runRows_;
  std::thread worker_;
  std::atomic<bool> outOfMemory_{false};  // the window closes; the program ends with its own code
  bool running_ = false;
  bool canInstall_ = true;
  std::wstring logPath_;
  HANDLE logFile_ = INVALID_HANDLE_VALUE;  // open for the whole run: checked once, written through
  bool supported_ = true;
  bool ran_ = false;
  std::vector<DriverStatus> lastRun_;
};

}  // namespace qelvaro::restore
