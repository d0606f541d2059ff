#pragma once
// The main window: the driver list in a CellGrid, the target list, the buttons, the
// status line and the progress bar.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "backup_collector.h"
#include "backup_manifest.h"
#include "cell_grid.h"
#include "driver_inventory.h"
#include "registry.h"
#include "base/win32/win32_ui.h"

namespace qelvaro {

namespace grid {
class CellGridWindow;
}
struct ZipOutcome;
struct PackSettings;
struct RunningSystemSignatures;

// Control ids, in tab order.
enum FrmMainControl : int {
  kCheck1 = 100,
  kCmdSelectAll,
  kCmdDoBackup,
  kCellGrid1,
  kCmdInvertSelection,
  kCombo1,
  kLabel1,
  kLblStatus,
  kCommand1,
  kProgress,  // Image1 (the frame) and Image2 (the fill) in one picture
};

// The client area in twips, and twips to pixels at the screen's real DPI.
inline constexpr int kClientWidthTwips = 12495;
inline constexpr int kClientHeightTwips = 6990;
int TwipsToPixels(int twips, int dpi);

class FrmMain {
 public:
  // `classRoot` is where the driver inventory is read (tests point it elsewhere).
  FrmMain(HINSTANCE instance, const Registry& registry, std::string classRoot = kClassRoot);
  ~FrmMain();
  FrmMain(const FrmMain&) = delete;
  FrmMain& operator=(const FrmMain&) = delete;

  static bool RegisterWindowClasses(HINSTANCE instance);

  // Creates the window and its controls and runs the load (the window stays hidden).
  HWND Create();
  void Show();
  HWND hwnd() const { return hwnd_; }
  HWND control(FrmMainControl id) const { return GetDlgItem(hwnd_, id); }
  grid::CellGrid& grid();
  const std::vector<std::string>& DriverKeys() const { return driverKeys_; }
  Ui& ui() { return ui_; }

  // The progress bar: the frame's width (Image1) and the fill's (Image2), in pixels.
  int ProgressFrameWidth() const;
  int ProgressFillWidth() const { return progressFill_; }
  void SetProgressFillWidth(int pixels);

  void SetStatus(const std::string& text);
  // Closing the window ends the program; tests that host the window turn this off.
  void SetQuitOnDestroy(bool quit) { quitOnDestroy_ = quit; }

  // Event handlers, as the controls call them.
  void Form_Load();
  void Check1_Click();
  void cmdSelectAll_Click();
  void cmdInvertSelection_Click();
  void Command1_Click();
  void cmdDoBackup_Click();

  // Packs the backup root into a Zip file; tells the user when the archive could not
  // be made (an exception out of the zip component included).
  ZipOutcome DoZip(const std::string& Folder, const std::string& ZipFile);
  // Packs through the zip component's DLL at `path` (written and registered at start);
  // an empty path packs with the linked-in component, `why` saying why for the report.
  void UseZipComponent(const std::string& path, const std::string& why);
  // True while a scan or a backup runs (messages are pumped meanwhile).
  bool Running() const { return running_ != Run::None; }
  // Packs the backup root into a self-extracting program that starts the restore
  // program; false (after telling the user) on failure.
  bool DoSFX(const std::string& Folder, const std::string& ExeFile);
  // The zip component's progress: the fill follows nBytesPercent.
  void zip_GlobalStatus(std::int16_t nBytesPercent);

  // Where the backup goes when the user is not asked (tests); empty asks with the
  // shell's folder browser.
  void SetBackupFolderForTests(std::string folder) { backupFolderForTests_ = std::move(folder); }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void createControls();
  void LoadDriverList();
  std::string askForFolder();
  void enableBackupControls(bool enable);
  // Collects, packs and writes the report; leaves the end message in endMessage_.
  void runBackup(const std::string& root);
  // Writes backup.json and SHA256SUMS into the collected folder, last; a failure is
  // kept for the end message.
  void sealBackup(const std::string& folder);
  // Reads the written backup (folder, Zip or package) back; the end message's line.
  std::string verifyBackup(const std::string& path);

  enum class Run { None, Scan, Backup };

  HINSTANCE instance_;
  const Registry& registry_;
  std::string classRoot_;
  std::unique_ptr<RunningSystemSignatures> signatures_;  // made on the first listing
  std::string zipDll_;       // the zip component's DLL, empty when it cannot be used
  std::string zipDllWhy_;    // why not, in the report's words
  std::string zipReportLine_;  // the report's line about the component, for this run
  // The runner of this run's packing: the DLL when it loads, else the linked component.
  ZipOutcome pack(const PackSettings& settings);
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  int dpi_ = 96;
  grid::CellGridWindow* gridWindow_ = nullptr;
  Win32Ui ui_;
  std::vector<std::string> driverKeys_;
  int progressFill_ = 0;
  bool quitOnDestroy_ = true;
  std::string backupFolderForTests_;
  Run running_ = Run::None;
  bool rescanWanted_ = false;
  std::string endMessage_;
  const BackupResult* collected_ = nullptr;  // while a backup runs
  BackupOrigin origin_;
  std::string sealError_;
};

}  // namespace qelvaro
