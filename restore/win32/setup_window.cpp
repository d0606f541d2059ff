#include "setup_window.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "device_list.h"
#include "driver_install.h"
#include "native_arch.h"
#include "code_page_file_system.h"
#include "base/product.h"
#include "property_bag.h"
#include "setup_texts.h"
#include "win32_installer.h"
#include "base/win32/final_path.h"
#include "base/win32/wide_string.h"
#include "base/win32/win32_ui.h"

namespace qelvaro::restore {

namespace {

constexpr wchar_t kClassName[] = L"QelvaroSetupWindow";
constexpr UINT kMsgDriverStarted = WM_APP + 1;  // wParam: row
constexpr UINT kMsgDriverDone = WM_APP + 2;     // wParam: row, lParam: DriverResult*
constexpr UINT kMsgFinished = WM_APP + 3;
constexpr UINT kMsgSignatureChecked = WM_APP + 4;  // wParam: row
constexpr UINT kMsgSignaturesDone = WM_APP + 5;

enum ControlId { kGrid = 100, kStatus, kSelectAll, kSelectNone, kStart };
enum Column { kColDescription, kColMatch, kColClass, kColProvider, kColVersion, kColInf, kColStatus, kColSignature };

// Layout in pixels at 96 dpi, scaled to the screen (the signature column's 120 pixels
// beside the 800 of the others).
constexpr int kClientWidth = 940, kClientHeight = 460, kMargin = 10, kButtonHeight = 30;

// Lets the process restart Windows, which needs the shutdown privilege enabled.
bool restartWindows() {
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    CloseHandle(token);
  }
  return ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_SOFTWARE | SHTDN_REASON_MINOR_INSTALLATION |
                                       SHTDN_REASON_FLAG_PLANNED) != 0;
}

}  // namespace

SetupWindow::SetupWindow(HINSTANCE instance, std::string folder) : instance_(instance), folder_(std::move(folder)) {}

SetupWindow::~SetupWindow() {
  if (worker_.joinable()) worker_.join();
  if (font_) DeleteObject(font_);
  if (logFile_ != INVALID_HANDLE_VALUE) CloseHandle(logFile_);
}

bool SetupWindow::RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  return grid::RegisterCellGridClass(instance);
}

HWND SetupWindow::Create() {
  dpi_ = ScreenDpi();
  font_ = CreateMessageFont();
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT frame{0, 0, MulDiv(kClientWidth, dpi_, 96), MulDiv(kClientHeight, dpi_, 96)};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  const std::string caption = std::string(setup_text::kTitle) + " " + kProductName + " " + kProductVersion;
  hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, base::widen(caption).c_str(), style,
                          work.left + (work.right - work.left - width) / 2,
                          work.top + (work.bottom - work.top - height) / 2, width, height, nullptr, nullptr,
                          instance_, this);
  if (!hwnd_) return nullptr;
  createControls();
  loadDrivers();
  return hwnd_;
}

void SetupWindow::createControls() {
  auto px = [&](int v) { return MulDiv(v, dpi_, 96); };
  const int gridHeight = kClientHeight - 3 * kMargin - kButtonHeight - 24;
  gridWindow_ = grid::CellGridWindow::Create(hwnd_, kGrid, px(kMargin), px(kMargin), px(kClientWidth - 2 * kMargin),
                                             px(gridHeight), nullptr);
  auto make = [&](int id, const wchar_t* cls, const std::string& text, DWORD style, int x, int y, int w, int h) {
    HWND child = CreateWindowExW(0, cls, base::widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, px(x), px(y), px(w),
                                 px(h), hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  };
  const int statusY = kMargin + gridHeight + 6;
  make(kStatus, L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kMargin, statusY, kClientWidth - 2 * kMargin,
       20);
  const int buttonY = kClientHeight - kMargin - kButtonHeight;
  make(kSelectAll, L"BUTTON", setup_text::kSelectAll, WS_TABSTOP | BS_PUSHBUTTON, kMargin, buttonY, 90, kButtonHeight);
  make(kSelectNone, L"BUTTON", setup_text::kSelectNone, WS_TABSTOP | BS_PUSHBUTTON, kMargin + 100, buttonY, 90,
       kButtonHeight);
  make(kStart, L"BUTTON", setup_text::kStart, WS_TABSTOP | BS_DEFPUSHBUTTON, kClientWidth - kMargin - 140, buttonY,
       140, kButtonHeight);

  grid::CellGrid& g = grid();
  grid::MemoryPropertyBag bag;
  grid::GridFont song;
  song.name = "宋体";
  song.size = 9;
  song.weight = 400;
  song.charset = 134;  // GB2312
  bag.WriteProperty("Font", song);
  bag.WriteProperty("FontHeader", song);
  bag.WriteProperty("ShowRowNumbers", false);
  bag.WriteProperty("TotalsLineShow", false);
  bag.WriteProperty("BackColorBkg", static_cast<std::int32_t>(0x80000005u));  // the window colour below the rows
  g.ReadProperties(bag);
  // Widths in twips, together just inside the grid (920 pixels at 96 dpi).
  g.AddColumn(setup_text::kColDescription, 2700);
  g.AddColumn(setup_text::kColMatch, 1900);
  g.AddColumn(setup_text::kColClass, 900);
  g.AddColumn(setup_text::kColProvider, 1300);
  g.AddColumn(setup_text::kColVersion, 1700);
  g.AddColumn(setup_text::kColInf, 1100);
  g.AddColumn(setup_text::kColStatus, 2300);
  g.AddColumn(setup_text::kColSignature, 1800);
  g.SetRowCheckBoxes(true);
  g.SetDisplayEllipsis(true);
  g.SetAllowColumnResizing(true);
  // Rows stay in the order of items_, which the worker's results refer to.
  g.SetAllowColumnSort(false);
}

void SetupWindow::loadDrivers() {
  const InstallRoute route = CurrentInstallRoute();
  // A backup's ANSI INFs in the code page its Windows wrote them in (backup.json).
  const RestoreCatalog catalog = LoadRestoreCatalog(fs_, folder_, NativeMachineArch(), AnsiDecoderForCodePage);
  items_ = catalog.items;
  // Only drivers that fit a device plugged in now, and would not replace a newer
  // driver there, start ticked; the others stay listed for the driver store.
  const std::vector<PcDevice> devices = ListPcDevices();
  // No devices listed means SetupAPI could not tell: then every driver starts ticked.
  const bool known = !devices.empty();
  grid::CellGrid& g = grid();
  g.SetRedraw(false);
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const RestoreItem& item = items_[i];
    const DriverFit fit = FitDriver(item.package.modelLines, item.package.driverVer, item.package.provider, devices);
    // A driver whose INF is never read (a link in the backup, a device's name, too
    // large) says why at once and starts unticked: it cannot install.
    const bool refused = !item.readable;
    const auto row = g.AddItem(std::to_string(i), -1, !refused && (!known || fit.fit == Fit::Present));
    g.SetCellText(row, kColDescription, item.description());
    if (known) g.SetCellText(row, kColMatch, setup_text::MatchCell(fit, devices));
    g.SetCellText(row, kColClass, item.package.className.empty() ? item.driver.classFolder : item.package.className);
    g.SetCellText(row, kColProvider, item.package.provider);
    g.SetCellText(row, kColVersion, DisplayDriverVersion(item.package.driverVer));
    g.SetCellText(row, kColInf, item.driver.infName);
    g.SetCellText(row, kColStatus, refused ? setup_text::Status(RestoreDriver(fs_, item, "", nullptr))
                                   : fit.fit == Fit::NewerInstalled ? setup_text::kNewerInstalled
                                                                    : setup_text::kWaiting);
  }
  g.SetRedraw(true);
  results_.assign(items_.size(), DriverResult{});
  signatures_.assign(items_.size(), std::nullopt);
  supported_ = route != InstallRoute::Unsupported;
  canInstall_ = supported_ && !items_.empty();
  setStatus(route == InstallRoute::Unsupported ? setup_text::kArm64 : setup_text::kCheckingSignatures);
  // Every file is read for the signatures: the window shows meanwhile, without a start.
  checking_ = supported_;
  enableButtons(!checking_);
  if (checking_) worker_ = std::thread(&SetupWindow::checkSignatures, this);
  if (catalog.backupArch && *catalog.backupArch != NativeMachineArch()) {
    const std::string warning =
        setup_text::ArchWarning(*catalog.backupArch, NativeMachineArch(), DriversNotForThisArch(catalog));
    MessageBoxW(hwnd_, base::widen(warning).c_str(), base::widen(setup_text::kTitle).c_str(), MB_OK | MB_ICONWARNING);
  }
}

// Worker thread: reads each driver's files as they would be staged; touches no window.
void SetupWindow::checkSignatures() {
  Win32FileSystem fs;
  try {
    for (std::size_t row = 0; row < items_.size() && !stop_; ++row) {
      signatures_[row] = CheckDriverSignature(fs, items_[row]);
      PostMessageW(hwnd_, kMsgSignatureChecked, row, 0);
    }
  } catch (const std::bad_alloc&) {
    outOfMemory_ = true;
  }
  PostMessageW(hwnd_, kMsgSignaturesDone, 0, 0);
}

// 64-bit Windows refuses a driver without a sound signature: it starts unticked (its
// line says why if it is ticked and run all the same).
void SetupWindow::signatureChecked(std::size_t row) {
  const std::optional<PackageSignature>& signature = signatures_[row];
  if (!signature) return;
  const auto r = static_cast<std::int32_t>(row);
  grid().SetCellText(r, kColSignature, setup_text::SignatureCell(*signature));
  if (DecideSignature(*signature, NativeMachineArch()).verdict == SignatureVerdict::Refuse) {
    grid().SetRowChecked(r, false);
  }
}

void SetupWindow::signaturesDone() {
  if (worker_.joinable()) worker_.join();
  checking_ = false;
  if (outOfMemory_) {
    DestroyWindow(hwnd_);
    return;
  }
  setStatus(setup_text::Found(items_.size(), folder_));
  enableButtons(true);
}

// 32-bit Windows warns before it installs a driver without a sound signature, and
// installs it: asked once here for all of them.
bool SetupWindow::acceptUnsigned(const std::vector<std::size_t>& rows) {
  std::vector<std::string> names;
  for (std::size_t row : rows) {
    const std::optional<PackageSignature>& signature = signatures_[row];
    if (signature && DecideSignature(*signature, NativeMachineArch()).verdict == SignatureVerdict::InstallWithWarning) {
      names.push_back(items_[row].description());
    }
  }
  return names.empty() || MessageBoxW(hwnd_, base::widen(setup_text::UnsignedQuestion(names)).c_str(),
                                      base::widen(setup_text::kTitle).c_str(), MB_YESNO | MB_ICONWARNING) == IDYES;
}

void SetupWindow::tickAll(bool ticked) {
  grid::CellGrid& g = grid();
  g.SetRedraw(false);
  for (std::int32_t i = 0; i < g.ItemCount(); ++i) g.SetRowChecked(i, ticked);
  g.SetRedraw(true);
}

void SetupWindow::enableButtons(bool enabled) {
  for (int id : {kSelectAll, kSelectNone}) EnableWindow(GetDlgItem(hwnd_, id), enabled);
  EnableWindow(GetDlgItem(hwnd_, kStart), enabled && canInstall_);
}

void SetupWindow::setStatus(const std::string& text) { SetDlgItemTextW(hwnd_, kStatus, base::widen(text).c_str()); }

namespace {

// Opens `folder\name` for appending, created when missing, and keeps it only when the
// opened file is that entry itself: the program runs elevated and the folder may be one
// a standard user can write, so a link (a reparse point, or under Wine a Unix link that
// opens as its target) or a second hard link to another file is refused.
HANDLE openOwnLog(const std::wstring& folder, const std::wstring& name) {
  HANDLE dir = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (dir == INVALID_HANDLE_VALUE) return dir;
  DWORD folderLength = 0;
  wchar_t* folderFinal = base::FinalPathOf(dir, folderLength);
  CloseHandle(dir);
  if (!folderFinal) return INVALID_HANDLE_VALUE;
  const std::wstring path = (folder.back() == L'\\' ? folder : folder + L"\\") + name;
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool own = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info) &&
                   !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
                   info.nNumberOfLinks == 1 && base::IsEntryItself(file, folderFinal, folderLength, name.c_str());
  std::free(folderFinal);
  if (own || file == INVALID_HANDLE_VALUE) return file;
  CloseHandle(file);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

void SetupWindow::openLog() {
  if (logFile_ != INVALID_HANDLE_VALUE) CloseHandle(logFile_);
  logFile_ = INVALID_HANDLE_VALUE;
  logPath_.clear();
  // Next to the drivers, or in the temporary folder when that folder is read-only
  // (a CD, a write-protected stick) or the log there is not a file of its own.
  const std::wstring beside = base::widen(folder_);
  wchar_t temp[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring tempFolder = n > 0 && n <= MAX_PATH ? std::wstring(temp, n) : std::wstring();
  const std::pair<std::wstring, std::wstring> places[] = {{beside, L"restore-log.txt"},
                                                          {tempFolder, L"qelvaro-restore-log.txt"}};
  for (const auto& [folder, name] : places) {
    if (folder.empty()) continue;
    logFile_ = openOwnLog(folder, name);
    if (logFile_ == INVALID_HANDLE_VALUE) continue;
    logPath_ = (folder.back() == L'\\' ? folder : folder + L"\\") + name;
    return;
  }
}

void SetupWindow::log(const std::string& line) {
  if (logFile_ == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(logFile_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void SetupWindow::start() {
  if (running_ || checking_ || !canInstall_) return;
  std::vector<std::size_t> rows;
  grid::CellGrid& g = grid();
  for (std::int32_t i = 0; i < g.ItemCount(); ++i) {
    if (g.RowChecked(i)) rows.push_back(static_cast<std::size_t>(i));
  }
  if (rows.empty()) {
    setStatus(setup_text::kNothingTicked);
    return;
  }
  if (!acceptUnsigned(rows)) return;
  const std::wstring runFolder = MakeRunFolder();
  if (runFolder.empty()) {
    setStatus(setup_text::kNoTempFolder);
    return;
  }
  openLog();
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char stamp[64];
  snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
           now.wMinute, now.wSecond);
  log(std::string("== ") + setup_text::kTitle + " " + kProductVersion + " " + stamp + " " + folder_ + " (" +
      std::string(ArchDecoration(NativeMachineArch())) + ")");
  for (std::size_t row : rows) g.SetCellText(static_cast<std::int32_t>(row), kColStatus, setup_text::kWaiting);
  runRows_ = rows;
  running_ = true;
  enableButtons(false);
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread(&SetupWindow::runWorker, this, std::move(rows), runFolder);
}

// Worker thread: touches no window, only posts.
void SetupWindow::runWorker(std::vector<std::size_t> rows, std::wstring runFolder) {
  Win32FileSystem fs;
  // An allocation that fails here would end the program without a word (an exception
  // leaving a thread): the run stops and the window closes with its own exit code.
  try {
    Win32DriverInstaller installer(runFolder);
    std::size_t n = 0;
    for (std::size_t row : rows) {
      PostMessageW(hwnd_, kMsgDriverStarted, row, 0);
      const std::string staging = base::narrow(runFolder) + "\\" + std::to_string(++n);
      auto result = std::make_unique<DriverResult>();
      if (FsResult made = fs.createDir(staging); !made) {
        result->problemKind = Problem::StagingFailed;
        result->problem = "cannot make " + staging + ": " + made.describe();
      } else {
        *result = RestoreDriver(fs, items_[row], staging, &installer);
      }
      PostMessageW(hwnd_, kMsgDriverDone, row, reinterpret_cast<LPARAM>(result.release()));
    }
  } catch (const std::bad_alloc&) {
    outOfMemory_ = true;
  }
  RemoveRunFolder(runFolder);
  PostMessageW(hwnd_, kMsgFinished, 0, 0);
}

void SetupWindow::driverStarted(std::size_t row) {
  const auto it = std::find(runRows_.begin(), runRows_.end(), row);
  const std::size_t done = static_cast<std::size_t>(it - runRows_.begin()) + 1;
  grid().SetCellText(static_cast<std::int32_t>(row), kColStatus, setup_text::kInstalling);
  setStatus(setup_text::Progress(done, runRows_.size(), items_[row].description()));
}

void SetupWindow::driverDone(std::size_t row, std::unique_ptr<DriverResult> result) {
  grid().SetCellText(static_cast<std::int32_t>(row), kColStatus, setup_text::Status(*result));
  log(setup_text::LogLine(items_[row].description(), items_[row].driver.location(), *result));
  results_[row] = std::move(*result);
}

void SetupWindow::finished() {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  if (outOfMemory_) {
    DestroyWindow(hwnd_);
    return;
  }
  std::vector<DriverStatus> statuses;
  std::size_t succeeded = 0;
  for (std::size_t row : runRows_) {
    statuses.push_back(results_[row].status);
    if (StatusSucceeded(results_[row].status)) ++succeeded;
  }
  lastRun_ = statuses;
  ran_ = true;
  const std::string logText = logPath_.empty() ? "-" : base::narrow(logPath_);
  log("== " + setup_text::Finished(succeeded, statuses.size() - succeeded, logText));
  setStatus(setup_text::Finished(succeeded, statuses.size() - succeeded, logText));
  enableButtons(true);
  if (std::find(statuses.begin(), statuses.end(), DriverStatus::NeedsRestart) != statuses.end()) {
    if (MessageBoxW(hwnd_, base::widen(setup_text::kRestartQuestion).c_str(), base::widen(setup_text::kTitle).c_str(),
                    MB_YESNO | MB_ICONQUESTION) == IDYES) {
      restartWindows();
    }
  }
}

LRESULT CALLBACK SetupWindow::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<SetupWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<SetupWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  // No exception may pass through the system's message dispatch.
  try {
    return self->handle(message, wParam, lParam);
  } catch (const std::bad_alloc&) {
    self->outOfMemory_ = true;
    PostQuitMessage(kSetupOutOfMemory);
    return 0;
  }
}

LRESULT SetupWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
          case kSelectAll: tickAll(true); return 0;
          case kSelectNone: tickAll(false); return 0;
          case kStart: start(); return 0;
        }
      }
      break;
    case kMsgDriverStarted: driverStarted(wParam); return 0;
    case kMsgDriverDone: driverDone(wParam, std::unique_ptr<DriverResult>(reinterpret_cast<DriverResult*>(lParam))); return 0;
    case kMsgFinished: finished(); return 0;
    case kMsgSignatureChecked: signatureChecked(wParam); return 0;
    case kMsgSignaturesDone: signaturesDone(); return 0;
    case WM_CLOSE:
      if (running_) {
        setStatus(setup_text::kBusy);
        return 0;
      }
      stop_ = true;  // a signature check still running ends at its next driver
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY: PostQuitMessage(exitCode()); return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace qelvaro::restore
