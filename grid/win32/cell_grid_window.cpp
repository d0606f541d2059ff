#include "cell_grid_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include "win32_locale.h"

namespace qelvaro::grid {

namespace {
constexpr LONG_PTR kEnglishInfo = 4097;  // LOCALE_SENGLANGUAGE
}

bool RegisterCellGridClass(HINSTANCE instance) {
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kCellGridClassName, &existing)) return true;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  // Global: dialog templates of other modules of the process can name it too.
  wc.style = CS_DBLCLKS | CS_GLOBALCLASS;
  wc.lpfnWndProc = &CellGridWindow::WndProc;
  wc.cbWndExtra = sizeof(void*);
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kCellGridClassName;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

CellGridWindow::CellGridWindow(HWND hwnd)
    : hwnd_(hwnd),
      platform_(hwnd),
      surface_(hwnd),
      scroll_(hwnd),
      display_(platform_, surface_, scroll_),
      grid_(Win32Locale::user(), nullptr, &display_),
      subclasser_(this) {
  display_.Bind(grid_, host_);
}

CellGridWindow::~CellGridWindow() = default;

CellGridWindow* CellGridWindow::Create(HWND parent, int controlId, int x, int y, int width, int height,
                                       GridHost* host) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterCellGridClass(instance)) return nullptr;
  // No frame here: BorderStyle and Appearance give the window its frame when it is created.
  HWND hwnd = CreateWindowExW(0, kCellGridClassName, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, y,
                              width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), instance,
                              nullptr);
  CellGridWindow* window = FromHwnd(hwnd);
  if (window) window->SetHost(host);
  return window;
}

CellGridWindow* CellGridWindow::FromHwnd(HWND hwnd) {
  if (!hwnd || !IsWindow(hwnd)) return nullptr;
  wchar_t name[64] = {};
  if (!GetClassNameW(hwnd, name, 64) || lstrcmpiW(name, kCellGridClassName) != 0) return nullptr;
  return reinterpret_cast<CellGridWindow*>(GetWindowLongPtrW(hwnd, 0));
}

void CellGridWindow::SetHost(GridHost* host) {
  host_ = host ? host : &nullHost_;
  grid_.SetHost(host);
  display_.Bind(grid_, host_);
}

void CellGridWindow::SetImageList(HIMAGELIST list) {
  display_.SetImageList(list ? std::make_shared<Win32ImageList>(list) : nullptr);
}

void CellGridWindow::initialize() {
  englishLocale_ = grid_.GetInfo(static_cast<std::int32_t>(kEnglishInfo)) == "English";
  grid_.InitProperties();
  // Sited at run time: the window's own messages through the subclasser, then the bars.
  if (subclasser_.sc_Subclass(hwnd_, 0, 1, this, false)) {
    static constexpr std::int32_t kWatched[] = {WM_KILLFOCUS, WM_SETFOCUS, WM_MOUSEWHEEL, WM_MOUSEMOVE,
                                                WM_MOUSELEAVE, WM_MOUSEHOVER, WM_HSCROLL, WM_VSCROLL};
    for (std::int32_t m : kWatched) subclasser_.sc_WatchMsg(hwnd_, m, MSG_AFTER);
    if (platform_.StylesAvailable()) subclasser_.sc_WatchMsg(hwnd_, WM_THEMECHANGED, MSG_AFTER);
  }
  display_.Site();
}

void CellGridWindow::terminate() {
  platform_.SetQuiet(true);
  grid_.Terminate();
  display_.Unsite();
  subclasser_.sc_StopAll();
}

void CellGridWindow::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  if (!surface_.HasImage() || display_.PaintPending()) {
    surface_.SetInPaint(true);
    platform_.SetQuiet(true);
    if (grid_.Drawing()) display_.DrawGrid(true, false);
    else {
      Canvas& c = surface_.DrawingCanvas();
      const Size size = surface_.ClientSize();
      c.FillRect(Rect{0, 0, size.cx, size.cy}, display_.Translate(grid_.BackColorBkg()));
    }
    platform_.SetQuiet(false);
    surface_.SetInPaint(false);
  }
  surface_.Blit(dc, ps.rcPaint);
  EndPaint(hwnd_, &ps);
}

LRESULT CellGridWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      initialize();
      return 0;
    case WM_SIZE:
      if (display_.Sited()) display_.Resize();
      return 0;
    case WM_PAINT:
      paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      SetFocus(hwnd_);
      return 0;
    case WM_DESTROY:
      terminate();
      return 0;
    default:
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

void CellGridWindow::onMessage(SubclassCall& call) {
  if (call.before) return;
  switch (call.message) {
    case WM_SETFOCUS:
      if (grid_.FocusRectHide() && (mouseInside_ || englishLocale_) && grid_.Drawing()) display_.DrawGrid(true, false);
      break;
    case WM_KILLFOCUS:
      if (!mouseInside_ && grid_.EditPending()) grid_.UpdateCell(false);
      if (grid_.FocusRectHide() && (!mouseInside_ || englishLocale_) && grid_.Drawing()) display_.DrawGrid(true, true);
      break;
    case WM_HSCROLL:
    case WM_VSCROLL:
      display_.OnScroll(ScrollRequestFromScrollMessage(call.message == WM_VSCROLL, static_cast<std::uint32_t>(call.wParam)));
      break;
    case WM_MOUSEWHEEL:
      display_.OnScroll(ScrollRequestFromWheel(static_cast<std::uint32_t>(call.wParam)));
      break;
    case WM_MOUSEMOVE:
      if (!mouseInside_) {
        mouseInside_ = true;
        TRACKMOUSEEVENT tme = {};
        tme.cbSize = sizeof tme;
        tme.dwFlags = TME_LEAVE;
        tme.hwndTrack = hwnd_;
        _TrackMouseEvent(&tme);
        host_->MouseEnter();
      }
      break;
    case WM_MOUSELEAVE:
      if (mouseInside_) {
        mouseInside_ = false;
        display_.SetHotHeader(-1);
        host_->MouseLeave();
      }
      break;
    case WM_THEMECHANGED:
      display_.OnThemeChanged();
      break;
    default:
      break;
  }
}

LRESULT CALLBACK CellGridWindow::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CellGridWindow*>(GetWindowLongPtrW(hwnd, 0));
  if (message == WM_NCCREATE) {
    self = new CellGridWindow(hwnd);
    SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, 0, 0);
    self->destroyed_ = true;
    const LRESULT r = DefWindowProcW(hwnd, message, wParam, lParam);
    // A paint or an event handler further up the stack still uses the object.
    if (self->busy_ == 0) delete self;
    return r;
  }
  ++self->busy_;
  const LRESULT r = self->handle(message, wParam, lParam);
  --self->busy_;
  if (self->destroyed_ && self->busy_ == 0) delete self;
  return r;
}

}  // namespace qelvaro::grid
