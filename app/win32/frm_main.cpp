#include "frm_main.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <sstream>

#include "backup_collector.h"
#include "backup_root.h"
#include "cell_grid_window.h"
#include "driver_list.h"
#include "driver_store_setupapi.h"
#include "frm_main_texts.h"
#include "md_folders.h"
#include "md_resource.h"
#include "ms_startup.h"
#include "sfx_packaging.h"
#include "win32_file_system.h"
#include "win32_registry.h"
#include "zip_packaging.h"
#include "product.h"
#include "win32_text.h"

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

int screenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// The system's message font at this DPI: the font Windows uses for dialogs in the
// user's language.
HFONT createMessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

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
  dpi_ = screenDpi();
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

  const std::wstring caption = widen(std::string(kProductName) + " " + kMakerWebAddress);
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
  font_ = createMessageFont();
  for (const Placement& p : kPlacements) {
    const int x = TwipsToPixels(p.left, dpi_);
    const int y = TwipsToPixels(p.top, dpi_);
    const int w = TwipsToPixels(p.width, dpi_);
    const int h = TwipsToPixels(p.height, dpi_);
    const auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id));
    HWND child = nullptr;
    auto make = [&](const wchar_t* cls, const std::string& text, DWORD style, int height) {
      return CreateWindowExW(0, cls, widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, height, hwnd_,
                             menu, instance_, nullptr);
    };
    switch (p.id) {
      case kCheck1:
        child = make(L"BUTTON", "\xE9\x9D\x9E\xE5\xBE\xAE\xE8\xBD\xAF\xE9\xA9\xB1\xE5\x8A\xA8\xE7\xA8\x8B\xE5\xBA\x8F",
                     WS_TABSTOP | BS_AUTOCHECKBOX, h);  // 非微软驱动程序
        SendMessageW(child, BM_SETCHECK, BST_CHECKED, 0);
        break;
      case kCmdSelectAll:
        child = make(L"BUTTON", "\xE5\x85\xA8\xE9\x80\x89", WS_TABSTOP | BS_PUSHBUTTON, h);  // 全选
        break;
      case kCmdDoBackup:
        child = make(L"BUTTON", "\xE5\xBC\x80\xE5\xA7\x8B\xE5\xA4\x87\xE4\xBB\xBD", WS_TABSTOP | BS_PUSHBUTTON,
                     h);  // 开始备份
        break;
      case kCellGrid1:
        gridWindow_ = grid::CellGridWindow::Create(hwnd_, kCellGrid1, x, y, w, h, nullptr);
        child = gridWindow_ ? gridWindow_->hwnd() : nullptr;
        break;
      case kCmdInvertSelection:
        child = make(L"BUTTON", "\xE5\x85\xA8\xE4\xB8\x8D\xE9\x80\x89", WS_TABSTOP | BS_PUSHBUTTON,
                     h);  // 全不选
        break;
      case kCombo1:
        // The height given is the closed box; the open list needs room for its items.
        child = make(L"COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, h * 8);
        break;
      case kLabel1:
        child = make(L"STATIC", "\xE5\xA4\x87\xE4\xBB\xBD\xE6\x96\xB9\xE5\xBC\x8F:", SS_LEFT, h);  // 备份方式:
        break;
      case kLblStatus:
        child = make(L"STATIC", "", SS_LEFT | SS_NOPREFIX, h);
        break;
      case kCommand1:
        child = make(L"BUTTON", "\xE5\x85\xB3\xE4\xBA\x8E\xE8\xBD\xAF\xE4\xBB\xB6", WS_TABSTOP | BS_PUSHBUTTON,
                     h);  // 关于软件
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
  for (const char* item : {"\xE5\xA4\x87\xE4\xBB\xBD\xE9\xA9\xB1\xE5\x8A\xA8\xE5\x88\xB0\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\xB9",
                           "\xE5\xA4\x87\xE4\xBB\xBD\xE9\xA9\xB1\xE5\x8A\xA8\xE4\xB8\xBA""Zip\xE5\x8E\x8B\xE7\xBC\xA9\xE6\x96\x87\xE4\xBB\xB6",
                           "\xE5\xA4\x87\xE4\xBB\xBD\xE9\xA9\xB1\xE5\x8A\xA8\xE4\xB8\xBA\xE8\x87\xAA\xE8\xA7\xA3\xE5\x8E\x8B\xE6\x96\x87\xE4\xBB\xB6"}) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
  }
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  LoadDriverList();
}

void FrmMain::LoadDriverList() {
  const bool hideMicrosoft = SendMessageW(control(kCheck1), BM_GETCHECK, 0, 0) == BST_CHECKED;
  driverKeys_ = qelvaro::LoadDriverList(grid(), registry_, ui_, hideMicrosoft, classRoot_);
}

void FrmMain::Check1_Click() { LoadDriverList(); }

void FrmMain::cmdSelectAll_Click() { SelectAllRows(grid()); }

void FrmMain::cmdInvertSelection_Click() { InvertRowSelection(grid()); }

void FrmMain::Command1_Click() { ui_.showMessage(AboutText(), kAppTitle, MessageIcon::None); }

namespace {

// Texts of the backup, as the user reads them.
const char kNoTick[] = "\xE9\x80\x89\xE6\x8B\xA9\xE9\x9C\x80\xE8\xA6\x81\xE5\xA4\x87\xE4\xBB\xBD"
                       "\xE6\x96\x87\xE4\xBB\xB6\xE5\xAD\x98\xE6\x94\xBE\xE7\x9A\x84\xE7\xA3\x81"
                       "\xE7\x9B\x98\xE7\x9B\xAE\xE5\xBD\x95.";  // 选择需要备份文件存放的磁盘目录.
const char kNotice[] = "\xE6\x8F\x90\xE7\xA4\xBA";                    // 提示
const char kErrorTitle[] = "\xE9\x94\x99\xE8\xAF\xAF";                // 错误
const char kBrowseTitle[] = "\xE9\x80\x89\xE6\x8B\xA9\xE8\xA6\x81\xE5\xA4\x87\xE4\xBB\xBD\xE7\x9A\x84"
                            "\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\xB9.";  // 选择要备份的文件夹.
const char kCollecting[] = "\xE6\xAD\xA3\xE5\x9C\xA8\xE6\x90\x9C\xE7\xB4\xA2\xE5\x92\x8C\xE5\xAD\x98"
                           "\xE5\x82\xA8\xE9\xA9\xB1\xE5\x8A\xA8\xE7\xA8\x8B\xE5\xBA\x8F...";  // 正在搜索和存储驱动程序...
const char kZipping[] = "\xE6\xAD\xA3\xE5\x9C\xA8\xE5\x8E\x8B\xE7\xBC\xA9\xE9\xA9\xB1\xE5\x8A\xA8"
                        "\xE7\xA8\x8B\xE5\xBA\x8F\xE6\x96\x87\xE4\xBB\xB6..";  // 正在压缩驱动程序文件..
const char kSuccess[] = "\xE6\x81\xAD\xE5\x96\x9C\xEF\xBC\x8C\xE9\xA9\xB1\xE5\x8A\xA8\xE7\xA8\x8B"
                        "\xE5\xBA\x8F\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\x87\xE4\xBB\xBD\xE5\x88\x9B"
                        "\xE5\xBB\xBA\xE6\x88\x90\xE5\x8A\x9F\xEF\xBC\x81.";  // 恭喜，驱动程序文件备份创建成功！.
const char kZipFailed[] = "\xE5\x88\x9B\xE5\xBB\xBA\xE5\xA4\xB1\xE8\xB4\xA5. \xE5\x88\x9B\xE5\xBB\xBA"
                          "ZIP\xE5\x8E\x8B\xE7\xBC\xA9\xE6\x96\x87\xE4\xBB\xB6\xE6\x97\xB6\xE5\x8F\x91"
                          "\xE7\x94\x9F\xE9\x94\x99\xE8\xAF\xAF. ";  // 创建失败. 创建ZIP压缩文件时发生错误. 
const char kDescription[] = "\xE6\x8F\x8F\xE8\xBF\xB0: ";  // 描述: 

// The ticked rows of the grid, read as the run reaches them.
class GridRows final : public DriverRowSource {
 public:
  explicit GridRows(grid::CellGrid& grid) : grid_(grid), count_(static_cast<std::size_t>(grid.ItemCount())) {}
  std::size_t rowCount() const override { return count_; }
  bool rowTicked(std::size_t row) const override {
    return static_cast<std::int32_t>(row) < grid_.ItemCount() && grid_.RowChecked(static_cast<std::int32_t>(row));
  }
  DriverRow rowAt(std::size_t row) const override {
    const auto r = static_cast<std::int32_t>(row);
    return DriverRow{grid_.CellText(r, 0), grid_.CellText(r, 4), grid_.CellText(r, 5)};
  }

 private:
  grid::CellGrid& grid_;
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
  const std::wstring title = widen(kBrowseTitle);
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
  return narrow(path);
}

void FrmMain::enableBackupControls(bool enable) {
  for (FrmMainControl id : {kCheck1, kCombo1, kCmdDoBackup, kCmdSelectAll, kCmdInvertSelection}) {
    EnableWindow(control(id), enable);
  }
}

void FrmMain::cmdDoBackup_Click() {
  grid::CellGrid& g = grid();
  if (g.CheckedCount() == 0) {
    ui_.showMessage(kNoTick, kNotice, MessageIcon::Information);
    return;
  }
  const std::string chosen = askForFolder();
  if (chosen.empty()) return;
  ui_.setBusyCursor(true);
  ui_.pumpMessages();
  enableBackupControls(false);
  ui_.pumpMessages();

  const std::string root = BackupRoot(chosen);
  const Win32SystemFolders folders;
  Win32FileSystem fs;
  const Win32Registry registry;
  const SetupApiDriverStoreLookup setupapi(folders);
  const RegistryDriverStoreLookup database(registry, folders);
  const ChainedDriverStoreLookup store({&setupapi, &database});
  SetStatus(kCollecting);
  GridRows rows(g);
  WindowSink sink(*this);
  BackupCollector collector(folders, fs, &store);
  const BackupResult result = collector.run(rows, root, sink);
  ui_.pumpMessages();
  ui_.setBusyCursor(false);

  bool packaged = true;
  std::string note;
  const LRESULT target = SendMessageW(control(kCombo1), CB_GETCURSEL, 0, 0);
  const bool anything = result.skippedDrivers() < result.drivers.size();
  if (target == 1 && anything) {
    SetStatus(kZipping);
    ui_.pumpMessages();
    packaged = DoZip(root, root + ".zip");
    ui_.pumpMessages();
    if (packaged) {
      const FsResult removed = DeleteDir(root, fs);
      if (!removed.ok()) note = "\r\n\xE6\x9C\xAA\xE8\x83\xBD\xE5\x88\xA0\xE9\x99\xA4\xE4\xB8\xB4\xE6\x97\xB6"
                                "\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\xB9: " + root;  // 未能删除临时文件夹:
    }
  } else if (target == 2 && anything) {
    SetStatus(frm_main_texts::kSfxBuilding);
    ui_.pumpMessages();
    packaged = DoSFX(root, root + ".exe");
    if (packaged) {
      const FsResult removed = DeleteDir(root, fs);
      if (!removed.ok()) note = "\r\n\xE6\x9C\xAA\xE8\x83\xBD\xE5\x88\xA0\xE9\x99\xA4\xE4\xB8\xB4\xE6\x97\xB6"
                                "\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\xB9: " + root;  // 未能删除临时文件夹:
    }
  }

  ui_.pumpMessages();
  enableBackupControls(true);
  SetProgressFillWidth(0);
  SetStatus("");
  finishBackup(result, root, packaged, note);
}

void FrmMain::finishBackup(const BackupResult& result, const std::string& root, bool packaged,
                           const std::string& note) {
  const std::size_t drivers = result.skippedDrivers();
  const std::size_t files = result.skippedFiles();
  if (!packaged) {
    // The collected files are the only copy: they stay, and the user learns where.
    ui_.showMessage("\xE9\xA9\xB1\xE5\x8A\xA8\xE7\xA8\x8B\xE5\xBA\x8F\xE6\x96\x87\xE4\xBB\xB6\xE5\xB7\xB2"
                    "\xE4\xBF\x9D\xE7\x95\x99\xE5\x9C\xA8: " + root,  // 驱动程序文件已保留在:
                    kNotice, MessageIcon::Information);
    return;
  }
  if (drivers == 0 && files == 0) {
    ui_.showMessage(kSuccess + note, kNotice, MessageIcon::Information);
    return;
  }
  std::ostringstream text;
  if (drivers == result.drivers.size()) {
    text << "\xE6\xB2\xA1\xE6\x9C\x89\xE5\xA4\x87\xE4\xBB\xBD\xE4\xBB\xBB\xE4\xBD\x95\xE9\xA9\xB1\xE5\x8A\xA8"
            "\xE7\xA8\x8B\xE5\xBA\x8F.";  // 没有备份任何驱动程序.
  } else {
    // 备份已创建, 但有 N 个驱动程序和 M 个文件未能备份:
    text << "\xE5\xA4\x87\xE4\xBB\xBD\xE5\xB7\xB2\xE5\x88\x9B\xE5\xBB\xBA, \xE4\xBD\x86\xE6\x9C\x89 " << drivers
         << " \xE4\xB8\xAA\xE9\xA9\xB1\xE5\x8A\xA8\xE7\xA8\x8B\xE5\xBA\x8F\xE5\x92\x8C " << files
         << " \xE4\xB8\xAA\xE6\x96\x87\xE4\xBB\xB6\xE6\x9C\xAA\xE8\x83\xBD\xE5\xA4\x87\xE4\xBB\xBD:";
  }
  int listed = 0;
  for (const auto& d : result.drivers) {
    const std::string problem = d.problem();
    if (problem.empty()) continue;
    if (++listed > 10) {
      text << "\r\n...";
      break;
    }
    text << "\r\n" << problem;
  }
  text << note;
  ui_.showMessage(text.str(), kNotice, MessageIcon::Information);
}

bool FrmMain::DoZip(const std::string& Folder, const std::string& ZipFile) {
  const ZipOutcome outcome = PackBackupAsZip(
      Folder, ZipFile, [this](std::int16_t percent) { zip_GlobalStatus(percent); },
      zipcomp::makeMessagePumpWaitHost());
  if (outcome.ok()) return true;
  ui_.showMessage(std::string(kZipFailed) + kDescription + outcome.description, kErrorTitle, MessageIcon::Critical);
  return false;
}

namespace {

// Writes a payload the program carries, at its exact length. A payload the program
// does not carry is not written at all (an empty file would otherwise be packed).
void WritePayload(const char* name, const std::string& path) {
  const std::uint32_t size = OwnResourceSize(name, "CUSTOM");
  if (size > 0) SaveResourceToFile(name, "CUSTOM", path, size);
}

void DeleteIfFile(const std::string& path) {
  const std::wstring w = widen(path);
  const DWORD attrs = GetFileAttributesW(w.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW(w.c_str());
}

}  // namespace

// The restore program goes into the root (it is linked statically, so no runtime
// library goes with it: this program carries no RUNTIME.DLL); the stub and the package
// icon go next to the program for the component.
bool FrmMain::DoSFX(const std::string& Folder, const std::string& ExeFile) {
  const std::string program = ProgramFolder();
  const std::string stub = program + "\\sfx.bin";
  const std::string icon = program + "\\icon.ico";
  WritePayload("SETUP.EXE", Folder + "\\setup.exe");
  ui_.pumpMessages();
  WritePayload("RUNTIME.DLL", Folder + "\\runtime.dll");
  ui_.pumpMessages();
  WritePayload("SFX.BIN", stub);
  ui_.pumpMessages();
  WritePayload("ICON.ICO", icon);
  ui_.pumpMessages();
  const ZipOutcome outcome = PackBackupAsSfx(
      Folder, ExeFile, stub, icon, [this](std::int16_t percent) { zip_GlobalStatus(percent); },
      zipcomp::makeMessagePumpWaitHost());
  if (!outcome.ok()) {
    // The stub and the icon stay for the next run to overwrite.
    ui_.showMessage(std::string(frm_main_texts::kSfxFailed) + kDescription + outcome.description, kErrorTitle,
                    MessageIcon::Critical);
    ui_.pumpMessages();
    return false;
  }
  DeleteIfFile(stub);
  DeleteIfFile(icon);
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

void FrmMain::SetStatus(const std::string& text) { SetWindowTextW(control(kLblStatus), widen(text).c_str()); }

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
