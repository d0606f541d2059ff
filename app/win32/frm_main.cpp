#include "frm_main.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <optional>
#include <exception>
#include <new>

#include "backup_collector.h"
#include "backup_report.h"
#include "backup_root.h"
#include "backup_verify.h"
#include "cell_grid_window.h"
#include "class_descriptions_win.h"
#include "device_index.h"
#include "driver_inventory.h"
#include "driver_list.h"
#include "driver_store_setupapi.h"
#include "running_signatures.h"
#include "qzip_runner.h"
#include "backup_texts.h"
#include "frm_main_texts.h"
#include "md_folders.h"
#include "md_resource.h"
#include "ms_startup.h"
#include "native_arch.h"
#include "sfx_packaging.h"
#include "win32_file_system.h"
#include "win32_registry.h"
#include "zip_packaging.h"
#include "base/product.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

constexpr wchar_t kMainClass[] = L"QelvaroMainWindow";
constexpr wchar_t kProgressClass[] = L"QelvaroProgressPicture";
constexpr int kAppIcon = 1;

struct Placement {
  FrmMainControl id;
  int left, top, width, height;  // twips
};

// Positions of the controls in the client area, in tab order.
constexpr Placement kPlacements[] = {
    {kCheck1, 120, 0, 2295, 375},
    {kCmdSelectAll, 8865, 6465, 1695, 375},
    {kCmdDoBackup, 10665, 6465, 1695, 375},
    {kCellGrid1, 0, 360, 12450, 5895},
    {kCmdInvertSelection, 7065, 6465, 1695, 375},
    {kCombo1, 10395, 15, 2055, 300},
    {kLabel1, 9195, 75, 975, 255},
    {kLblStatus, 1800, 6540, 3180, 255},
    {kCommand1, 5640, 6465, 1125, 375},
    {kProgress, 120, 6555, 1530, 225},
};

}  // namespace

int TwipsToPixels(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

FrmMain::FrmMain(HINSTANCE instance, const Registry& registry, std::string classRoot)
    : instance_(instance), registry_(registry), classRoot_(std::move(classRoot)) {}

FrmMain::~FrmMain() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (font_) DeleteObject(font_);
}

bool FrmMain::RegisterWindowClasses(HINSTANCE instance) {
  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = WndProc;
  main.hInstance = instance;
  main.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIcon));
  main.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kAppIcon), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  main.lpszClassName = kMainClass;
  if (!RegisterClassExW(&main) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  WNDCLASSEXW progress{};
  progress.cbSize = sizeof progress;
  progress.lpfnWndProc = ProgressProc;
  progress.hInstance = instance;
  progress.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  progress.lpszClassName = kProgressClass;
  if (!RegisterClassExW(&progress) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  return grid::RegisterCellGridClass(instance);
}

HWND FrmMain::Create() {
  dpi_ = ScreenDpi();
  // A fixed single border, no minimize or maximize box.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT frame{0, 0, TwipsToPixels(kClientWidthTwips, dpi_), TwipsToPixels(kClientHeightTwips, dpi_)};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + ((work.right - work.left) - width) / 2;
  const int y = work.top + ((work.bottom - work.top) - height) / 2;

  const std::wstring caption = base::widen(std::string(kProductName) + " " + kMakerWebAddress);
  hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kMainClass, caption.c_str(), style, x, y, width, height, nullptr,
                          nullptr, instance_, this);
  if (!hwnd_) return nullptr;
  ui_.setOwner(hwnd_);
  createControls();
  Form_Load();
  return hwnd_;
}

void FrmMain::Show() {
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
}

grid::CellGrid& FrmMain::grid() { return gridWindow_->grid(); }

void FrmMain::createControls() {
  font_ = CreateMessageFont();
  for (const Placement& p : kPlacements) {
    const int x = TwipsToPixels(p.left, dpi_);
    const int y = TwipsToPixels(p.top, dpi_);
    const int w = TwipsToPixels(p.width, dpi_);
    const int h = TwipsToPixels(p.height, dpi_);
    const auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id));
    HWND child = nullptr;
    auto make = [&](const wchar_t* cls, const std::string& text, DWORD style, int height) {
      return CreateWindowExW(0, cls, base::widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, height, hwnd_,
                             menu, instance_, nullptr);
    };
    switch (p.id) {
      case kCheck1:
        child = make(L"BUTTON", texts::kCheck1, WS_TABSTOP | BS_AUTOCHECKBOX, h);
        SendMessageW(child, BM_SETCHECK, BST_CHECKED, 0);
        break;
      case kCmdSelectAll:
        child = make(L"BUTTON", texts::kSelectAll, WS_TABSTOP | BS_PUSHBUTTON, h);
        break;
      case kCmdDoBackup:
        child = make(L"BUTTON", texts::kDoBackup, WS_TABSTOP | BS_PUSHBUTTON, h);
        break;
      case kCellGrid1:
        gridWindow_ = grid::CellGridWindow::Create(hwnd_, kCellGrid1, x, y, w, h, nullptr);
        child = gridWindow_ ? gridWindow_->hwnd() : nullptr;
        break;
      case kCmdInvertSelection:
        child = make(L"BUTTON", texts::kInvertSelection, WS_TABSTOP | BS_PUSHBUTTON, h);
        break;
      case kCombo1:
        // The height given is the closed box; the open list needs room for its items.
        child = make(L"COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, h * 8);
        break;
      case kLabel1:
        child = make(L"STATIC", texts::kLabel1, SS_LEFT, h);
        break;
      case kLblStatus:
        child = make(L"STATIC", "", SS_LEFT | SS_NOPREFIX, h);
        break;
      case kCommand1:
        child = make(L"BUTTON", texts::kAbout, WS_TABSTOP | BS_PUSHBUTTON, h);
        break;
      case kProgress:
        child = make(kProgressClass, "", 0, h);
        SetWindowLongPtrW(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        break;
    }
    if (child && p.id != kCellGrid1) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }
}

void FrmMain::Form_Load() {
  grid::CellGrid& g = grid();
  grid::MemoryPropertyBag stored;
  WriteDriverGridSettings(stored);
  g.ReadProperties(stored);
  SetUpDriverGrid(g);

  HWND combo = control(kCombo1);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const char* item : {texts::kTargetFolder, texts::kTargetZip, texts::kTargetSfx}) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(base::widen(item).c_str()));
  }
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  LoadDriverList();
}

void FrmMain::LoadDriverList() {
  // The scan lets messages run: a click on the filter box meanwhile asks for one more
  // scan once this one is done, so that the list always matches the box.
  running_ = Run::Scan;
  // The buttons that act on the list wait for it: a backup click during a scan would
  // otherwise be ignored without a word.
  for (FrmMainControl id : {kCmdDoBackup, kCmdSelectAll, kCmdInvertSelection, kCellGrid1}) EnableWindow(control(id), FALSE);
  const Win32ClassDescriptions classDescriptions;
  // Who signed each driver, from the catalog it was installed with: checked once a run.
  if (!signatures_) signatures_ = std::make_unique<RunningSystemSignatures>();
  do {
    rescanWanted_ = false;
    driverKeys_ = qelvaro::LoadDriverList(
        grid(), registry_, ui_, [this] { return SendMessageW(control(kCheck1), BM_GETCHECK, 0, 0) == BST_CHECKED; },
        classRoot_, &classDescriptions, [this](const std::string& inf) { return signatures_->signatures.of(inf); });
  } while (rescanWanted_);
  for (FrmMainControl id : {kCmdDoBackup, kCmdSelectAll, kCmdInvertSelection, kCellGrid1}) EnableWindow(control(id), TRUE);
  running_ = Run::None;
}

void FrmMain::Check1_Click() {
  if (running_ == Run::Scan) {
    rescanWanted_ = true;
    return;
  }
  if (running_ == Run::None) LoadDriverList();
}

void FrmMain::cmdSelectAll_Click() { SelectAllRows(grid()); }

void FrmMain::cmdInvertSelection_Click() { InvertRowSelection(grid()); }

void FrmMain::Command1_Click() { ui_.showMessage(AboutText(), kAppTitle, MessageIcon::None); }

namespace {

// The ticked rows of the grid, read as the run reaches them.
class GridRows final : public DriverRowSource {
 public:
  GridRows(grid::CellGrid& grid, const Registry& registry)
      : grid_(grid),
        registry_(registry),
        devices_(DeviceIndex::Read(registry)),
        count_(static_cast<std::size_t>(grid.ItemCount())) {}
  std::size_t rowCount() const override { return count_; }
  bool rowTicked(std::size_t row) const override {
    return static_cast<std::int32_t>(row) < grid_.ItemCount() && grid_.RowChecked(static_cast<std::int32_t>(row));
  }
  DriverRow rowAt(std::size_t row) const override {
    const auto r = static_cast<std::int32_t>(row);
    // The key path column names the driver key, which says which install section was
    // used and which devices the driver serves.
    const std::string key = grid_.CellText(r, 3);
    return DriverRow{grid_.CellText(r, 0), grid_.CellText(r, 4), grid_.CellText(r, 5),
                     DriverInstallSection(registry_, key), DriverDeviceIds(registry_, key, devices_, kClassRoot)};
  }

 private:
  grid::CellGrid& grid_;
  const Registry& registry_;
  DeviceIndex devices_;
  std::size_t count_;
};

// The window's side of a run: messages keep flowing, the fill grows per row.
class WindowSink final : public BackupSink {
 public:
  explicit WindowSink(FrmMain& frm) : frm_(frm) {}
  void letMessagesRun() override { frm_.ui().pumpMessages(); }
  void rowDone(std::size_t, std::size_t, double fraction) override {
    frm_.SetProgressFillWidth(static_cast<int>(frm_.ProgressFrameWidth() * fraction));
  }

 private:
  FrmMain& frm_;
};

}  // namespace

std::string FrmMain::askForFolder() {
  if (!backupFolderForTests_.empty()) return backupFolderForTests_;
  const std::wstring title = base::widen(texts::kBrowseTitle);
  BROWSEINFOW info{};
  info.hwndOwner = hwnd_;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) return {};
  std::wstring path(32768, L'\0');
  const bool ok = SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
  CoTaskMemFree(chosen);
  if (!ok) return {};
  path.resize(wcslen(path.c_str()));
  return base::narrow(path);
}

void FrmMain::enableBackupControls(bool enable) {
  // The grid too: a header click would reorder the rows the run is reading.
  for (FrmMainControl id : {kCheck1, kCombo1, kCmdDoBackup, kCmdSelectAll, kCmdInvertSelection, kCellGrid1}) {
    EnableWindow(control(id), enable);
  }
}

void FrmMain::cmdDoBackup_Click() {
  if (running_ != Run::None) return;
  grid::CellGrid& g = grid();
  if (g.CheckedCount() == 0) {
    ui_.showMessage(texts::kNoTick, texts::kNotice, MessageIcon::Information);
    return;
  }
  const std::string chosen = askForFolder();
  if (chosen.empty()) return;
  running_ = Run::Backup;
  ui_.setBusyCursor(true);
  ui_.pumpMessages();
  enableBackupControls(false);
  ui_.pumpMessages();
  std::string failure;
  try {
    runBackup(BackupRoot(chosen));
  } catch (const std::bad_alloc&) {
    failure = texts::kOutOfMemory;
  } catch (const std::exception& e) {
    failure = e.what();
  }
  // Whatever happened, the window goes back to idle; nothing escapes the handler.
  ui_.setBusyCursor(false);
  enableBackupControls(true);
  SetProgressFillWidth(0);
  SetStatus("");
  running_ = Run::None;
  if (!failure.empty()) {
    ui_.showMessage(FormatText(texts::kRunCrashed, {failure}), texts::kErrorTitle, MessageIcon::Critical);
    return;
  }
  ui_.showMessage(endMessage_, texts::kNotice, MessageIcon::Information);
}

void FrmMain::runBackup(const std::string& root) {
  endMessage_.clear();
  zipReportLine_.clear();
  const Win32SystemFolders folders;
  Win32FileSystem fs;
  const Win32Registry registry;
  const SetupApiDriverStoreLookup setupapi(folders);
  const DatabaseOrSearchLookup database(registry, fs, folders, NativeMachineArch());
  const ChainedDriverStoreLookup store({&setupapi, &database});
  // The target cannot change while the run goes (the controls are off). A package is
  // collected in a folder of this run's own, so that only that is packed and deleted:
  // files a user keeps in an existing Quorvak folder stay.
  const LRESULT target = SendMessageW(control(kCombo1), CB_GETCURSEL, 0, 0);
  const std::string named = root;
  std::string collectIn = root;
  if (target != 0) {
    FsResult why;
    const auto fresh = MakeCollectingFolder(fs, named, why);
    if (!fresh) {
      endMessage_ = FormatText(texts::kProblemFolder, {kAppTitle, named + ".collect-*", DescribeFsResultForUser(why)});
      return;
    }
    collectIn = *fresh;
  }
  SetStatus(texts::kCollecting);
  GridRows rows(grid(), registry);
  WindowSink sink(*this);
  BackupCollector collector(folders, fs, &store, NativeMachineArch());
  const BackupResult result = collector.run(rows, collectIn, sink);
  ui_.pumpMessages();
  ui_.setBusyCursor(false);

  BackupEnd end;
  bool kept = true;  // the collected files are the result (folder target, or packing failed)
  const bool anything = result.skippedDrivers() < result.drivers.size();
  collected_ = &result;
  origin_ = BackupOrigin{NativeMachineArch(), ReadWindowsVersion(registry), UtcNow(), ReadWindowsName(registry),
                         GetACP()};
  sealError_.clear();
  std::string written;  // what is read back: the folder, the Zip or the package
  if (target != 2 && anything) sealBackup(collectIn);
  if (target == 0 && anything) written = collectIn;
  if (target == 1 && anything) {
    SetStatus(texts::kZipping);
    ui_.pumpMessages();
    const ZipOutcome zipped = DoZip(collectIn, named + ".zip");
    ui_.pumpMessages();
    if (zipped.archiveComplete()) written = named + ".zip";
    if (zipped.ok()) {
      kept = false;
      if (const FsResult removed = DeleteDir(collectIn, fs); !removed.ok()) {
        end.note = FormatText(texts::kRootNotDeleted, {collectIn});
      }
    } else if (zipped.archiveComplete()) {
      // The archive is whole; what could not be deleted stays in the folder.
      kept = false;
      end.zipFile = named + ".zip";
      end.keptSources = FilesBelow(collectIn, fs).files;
    }
  } else if (target == 2 && anything) {
    SetStatus(texts::kSfxBuilding);
    ui_.pumpMessages();
    if (DoSFX(collectIn, named + ".exe")) {
      written = named + ".exe";
      kept = false;
      if (const FsResult removed = DeleteDir(collectIn, fs); !removed.ok()) {
        end.note = FormatText(texts::kRootNotDeleted, {collectIn});
      }
    }
  }
  // Nothing collected: the run's own folder goes again.
  if (target != 0 && !anything) (void)DeleteDir(collectIn, fs);

  // The report goes beside the backup, never into the folder that is packed.
  if (!result.drivers.empty()) {
    end.reportPath = BackupReportPath(named);
    std::string reportText = BackupReportText(result, &origin_);
    if (!zipReportLine_.empty()) reportText += "\r\n" + zipReportLine_ + "\r\n";
    if (const FsResult report = fs.writeFile(end.reportPath, reportText); !report.ok()) {
      end.reportError = FormatText(texts::kReportFailed, {end.reportPath, DescribeFsResultForUser(report)});
      end.reportPath.clear();
    }
  }
  if (kept && target != 0 && anything) {
    // No package was made (its failure was shown): no success, and the collected
    // files, the only copy, stay where the user learns.
    endMessage_ = FormatText(texts::kKeptInFolder, {collectIn});
    if (!result.complete()) endMessage_ += "\r\n\r\n" + BackupEndMessage(result, end);
  } else {
    endMessage_ = BackupEndMessage(result, end);
  }
  if (!sealError_.empty()) endMessage_ += "\r\n\r\n" + sealError_;
  if (!written.empty()) endMessage_ += "\r\n\r\n" + verifyBackup(written);
  collected_ = nullptr;
  ui_.pumpMessages();
}

void FrmMain::sealBackup(const std::string& folder) {
  if (!collected_) return;
  Win32FileSystem fs;
  std::string failed;
  if (const FsResult r = SealBackup(fs, folder, *collected_, origin_, failed); !r) {
    sealError_ = FormatText(texts::kSealFailed, {failed, DescribeFsResultForUser(r)});
  }
}

std::string FrmMain::verifyBackup(const std::string& path) {
  // Still inside the backup run: a close request is refused until this ends.
  SetStatus(texts::kVerifying);
  SetProgressFillWidth(0);
  ui_.setBusyCursor(true);
  ui_.pumpMessages();
  const Win32FileSystem fs;
  const VerifyReport report = VerifyBackup(path, fs, OpenArchiveInput,
                                           [](void* self) { static_cast<FrmMain*>(self)->ui().pumpMessages(); }, this);
  ui_.setBusyCursor(false);
  return VerifyEndText(report.filesChecked, report.issues, report.error, UnsignedOn64Bit(report));
}

void FrmMain::UseZipComponent(const std::string& path, const std::string& why) {
  zipDll_ = path;
  zipDllWhy_ = why;
}

ZipOutcome FrmMain::pack(const PackSettings& settings) {
  const BytesPercent progress = [this](std::int16_t percent) { zip_GlobalStatus(percent); };
  std::string why = zipDllWhy_;
  if (!zipDll_.empty()) {
    const QzipLibrary dll(zipDll_);
    if (dll.loaded()) return dll.run(settings, progress);
    why = dll.why();
  }
  zipReportLine_ = FormatText(texts::kZipDllUnused, {why});
  return RunLinkedZipComponent(settings, progress, zipcomp::makeMessagePumpWaitHost());
}

ZipOutcome FrmMain::DoZip(const std::string& Folder, const std::string& ZipFile) {
  const ZipOutcome outcome = PackBackupAsZip(Folder, ZipFile, nullptr, nullptr,
                                             [this](const PackSettings& settings, const BytesPercent&) {
                                               return pack(settings);
                                             });
  if (!outcome.archiveComplete()) {
    ui_.showMessage(std::string(texts::kZipFailed) + texts::kDescription + outcome.description, texts::kErrorTitle,
                    MessageIcon::Critical);
  }
  return outcome;
}

namespace {

// Writes a payload the program carries, at its exact length. A payload the program
// does not carry is not written at all (an empty file would otherwise be packed);
// `required` ones fail then. The failure, for the user, names the file.
bool WritePayload(Win32FileSystem& fs, const char* name, const std::string& path, bool required,
                  std::string& failure) {
  std::string bytes;
  std::uint32_t error = 0;
  if (OwnResourceSize(name, "CUSTOM") == 0 || !LoadOwnResource(name, "CUSTOM", bytes, error)) {
    if (required) failure = FormatText(texts::kSfxPayloadFailed, {path, FormatText(texts::kSfxPayloadMissing, {name})});
    return !required;
  }
  if (const FsResult written = fs.writeFile(path, bytes); !written.ok()) {
    failure = FormatText(texts::kSfxPayloadFailed, {path, DescribeFsResultForUser(written)});
    return false;
  }
  return true;
}

std::string TemporaryFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) return {};
  std::string folder = base::narrow(std::wstring(temp, n));
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return folder;
}

}  // namespace

// The restore program goes into the root (it is linked statically, so no runtime
// library goes with it: this program carries no RUNTIME.DLL). The stub and the package
// icon are only read while packing: they go into a folder this run makes in the
// temporary folder, never next to the program, where a file of that name could be
// anyone's (a read-only program folder keeps whatever lies there) and would become
// the package.
bool FrmMain::DoSFX(const std::string& Folder, const std::string& ExeFile) {
  Win32FileSystem fs;
  std::string failure;
  std::optional<std::string> scratch;
  bool written = WritePayload(fs, "SETUP.EXE", Folder + "\\setup.exe", true, failure) &&
                 WritePayload(fs, "RUNTIME.DLL", Folder + "\\runtime.dll", false, failure);
  ui_.pumpMessages();
  if (written) {
    const std::string temp = TemporaryFolder();
    FsResult why = FsResult::Failure(FsError::NotFound);
    if (!temp.empty()) scratch = MakeFreshFolder(fs, temp + "\\Quorvak.sfx-", why);
    if (!scratch) {
      failure = FormatText(texts::kSfxPayloadFailed, {temp + "\\Quorvak.sfx-*", DescribeFsResultForUser(why)});
      written = false;
    }
  }
  const std::string stub = scratch ? *scratch + "\\sfx.bin" : std::string();
  std::string icon = scratch ? *scratch + "\\icon.ico" : std::string();
  written = written && WritePayload(fs, "SFX.BIN", stub, true, failure);
  if (written && OwnResourceSize("ICON.ICO", "CUSTOM") == 0) icon.clear();  // the stub keeps its own
  written = written && (icon.empty() || WritePayload(fs, "ICON.ICO", icon, true, failure));
  ui_.pumpMessages();
  // The checksum list covers setup.exe, which is now in the folder.
  if (written) sealBackup(Folder);
  ZipOutcome outcome;
  if (written) {
    outcome = pack(SfxPackSettings(Folder, ExeFile, stub, icon));
  }
  if (scratch) (void)fs.deleteTree(*scratch);  // this run's own folder, never another
  if (!written) {
    ui_.showMessage(failure, texts::kErrorTitle, MessageIcon::Critical);
    ui_.pumpMessages();
    return false;
  }
  if (!outcome.ok()) {
    ui_.showMessage(std::string(texts::kSfxFailed) + texts::kDescription + outcome.description, texts::kErrorTitle,
                    MessageIcon::Critical);
    ui_.pumpMessages();
    return false;
  }
  ui_.pumpMessages();
  return true;
}

void FrmMain::zip_GlobalStatus(std::int16_t nBytesPercent) {
  const float width = static_cast<float>(ProgressFrameWidth()) / 100.0f * nBytesPercent;
  SetProgressFillWidth(static_cast<int>(width));
}

int FrmMain::ProgressFrameWidth() const {
  RECT r{};
  GetClientRect(control(kProgress), &r);
  return r.right - r.left;
}

void FrmMain::SetProgressFillWidth(int pixels) {
  if (pixels == progressFill_) return;
  progressFill_ = pixels;
  InvalidateRect(control(kProgress), nullptr, FALSE);
}

void FrmMain::SetStatus(const std::string& text) { SetWindowTextW(control(kLblStatus), base::widen(text).c_str()); }

LRESULT CALLBACK FrmMain::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<FrmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    self = static_cast<FrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->handle(msg, wParam, lParam);
}

LRESULT FrmMain::handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
          case kCheck1: Check1_Click(); return 0;
          case kCmdSelectAll: cmdSelectAll_Click(); return 0;
          case kCmdInvertSelection: cmdInvertSelection_Click(); return 0;
          case kCommand1: Command1_Click(); return 0;
          case kCmdDoBackup: cmdDoBackup_Click(); return 0;
          default: break;
        }
      }
      break;
    case WM_SETCURSOR:
      if (ui_.applyCursor()) return TRUE;
      break;
    case WM_CLOSE:
      // A scan or backup below us on this thread still reads the grid: the window
      // must outlive it.
      if (running_ != Run::None) {
        ui_.showMessage(texts::kBusy, texts::kNotice, MessageIcon::Information);
        return 0;
      }
      DestroyWindow(hwnd_);
      return 0;
    case WM_NCDESTROY: {
      HWND window = hwnd_;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      gridWindow_ = nullptr;
      if (quitOnDestroy_) PostQuitMessage(0);
      return DefWindowProcW(window, msg, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

// The progress picture: a sunken frame over the full width, and a fill whose width
// the backup sets.
LRESULT CALLBACK FrmMain::ProgressProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_PAINT) return DefWindowProcW(hwnd, msg, wParam, lParam);
  auto* self = reinterpret_cast<FrmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r{};
  GetClientRect(hwnd, &r);
  FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
  const int fill = self ? std::min<int>(self->progressFill_, r.right) : 0;
  if (fill > 0) {
    TRIVERTEX v[2] = {{r.left, r.top, 0x4400, 0x8800, 0xEE00, 0}, {r.left + fill, r.bottom, 0x1100, 0x5500, 0xBB00, 0}};
    GRADIENT_RECT g{0, 1};
    GradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_V);
  }
  DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
  EndPaint(hwnd, &ps);
  return 0;
}

}  // namespace qelvaro
