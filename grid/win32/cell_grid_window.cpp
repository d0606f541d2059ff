#include "cell_grid_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include "base/win32/wide_string.h"
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

UINT CellPointMessage() {
  static const UINT message = RegisterWindowMessageW(L"QelvaroCellGrid.CellPoint");
  return message;
}

CellGridWindow::CellGridWindow(HWND hwnd)
    : hwnd_(hwnd),
      platform_(hwnd),
      surface_(hwnd),
      scroll_(hwnd),
      display_(platform_, surface_, scroll_),
      grid_(Win32Locale::user(), nullptr, &display_),
      inputPort_(hwnd),
      input_(grid_, display_, inputPort_),
      subclasser_(this) {
  display_.Bind(grid_, host_);
  inputPort_.Attach(&input_);
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

void CellGridWindow::ExportGrid(std::string_view strGridName, bool vbVisibleColsOnly, bool vbVisibleRowsOnly,
                                bool vbBooleanAsText) {
  Win32ExportPort port(GetAncestor(hwnd_, GA_ROOT));
  grid::ExportGrid(grid_, port, strGridName, vbVisibleColsOnly, vbVisibleRowsOnly, vbBooleanAsText);
}

void CellGridWindow::SetImageList(HIMAGELIST list, std::vector<std::string> keys) {
  auto images = list ? std::make_shared<Win32ImageList>(list) : nullptr;
  if (images) {
    try {
      images->SetKeys(std::move(keys));
    } catch (...) {
      images->release();
      throw;
    }
  }
  display_.SetImageList(std::move(images));
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
  inputPort_.RegisterDropTarget();
}

void CellGridWindow::terminate() {
  inputPort_.Destroy();
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
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_MOUSEMOVE:
      mouseMessage(message, wParam, lParam);
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      keyMessage(message, wParam);
      return 0;
    case WM_TIMER:
      input_.Timer(static_cast<std::int32_t>(wParam));
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == hwnd_) return inputPort_.ApplyCursor();
      return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_COMMAND:
      if (HIWORD(wParam) == EN_CHANGE && reinterpret_cast<HWND>(lParam) == inputPort_.EditWindow()) {
        const int n = GetWindowTextLengthW(inputPort_.EditWindow());
        std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(inputPort_.EditWindow(), text.data(), n + 1)));
        input_.EditorTextChanged(base::narrow(text));
      }
      return 0;
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lParam) == inputPort_.EditWindow())
        return reinterpret_cast<LRESULT>(inputPort_.EditColours(reinterpret_cast<HDC>(wParam)));
      return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_DESTROY:
      terminate();
      return 0;
    default:
      if (message == CellPointMessage()) return cellPoint(static_cast<std::int32_t>(wParam), static_cast<std::int32_t>(lParam));
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

LRESULT CellGridWindow::cellPoint(std::int32_t row, std::int32_t position) const {
  if (position < 0 || position >= grid_.Cols()) return -1;
  const std::int32_t left = display_.ColumnLeft(position);
  const std::int32_t top = row < 0 ? display_.Metrics().CaptionHeight : display_.RowTop(row);
  if (left < 0 || top < 0 || row >= grid_.Rows()) return -1;
  return MAKELRESULT(display_.Metrics().RowNumberWidth + left, top);
}

void CellGridWindow::onMessage(SubclassCall& call) {
  if (call.before) return;
  switch (call.message) {
    case WM_SETFOCUS:
      if (grid_.FocusRectHide() && (input_.Inside() || englishLocale_) && grid_.Drawing()) display_.DrawGrid(true, false);
      break;
    case WM_KILLFOCUS: {
      // The focus going to the grid's own editor is the edit starting, not ending.
      const HWND to = reinterpret_cast<HWND>(call.wParam);
      const bool toEditor = to && (to == inputPort_.EditWindow() || IsChild(hwnd_, to));
      if (!toEditor && !input_.Inside() && grid_.EditPending()) grid_.UpdateCell(false);
      if (grid_.FocusRectHide() && (!input_.Inside() || englishLocale_) && grid_.Drawing()) display_.DrawGrid(true, true);
      break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      display_.OnScroll(ScrollRequestFromScrollMessage(call.message == WM_VSCROLL, static_cast<std::uint32_t>(call.wParam)));
      break;
    case WM_MOUSEWHEEL:
      display_.OnScroll(ScrollRequestFromWheel(static_cast<std::uint32_t>(call.wParam)));
      break;
    case WM_MOUSELEAVE:
      input_.MouseLeave();
      break;
    case WM_THEMECHANGED:
      surface_.ThemeChanged();
      display_.OnThemeChanged();
      break;
    default:
      break;
  }
}

bool CellGridWindow::mouseMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const std::int32_t x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  std::int16_t buttons = 0;
  if (wParam & MK_LBUTTON) buttons |= mousebutton::Left;
  if (wParam & MK_RBUTTON) buttons |= mousebutton::Right;
  if (wParam & MK_MBUTTON) buttons |= mousebutton::Middle;
  std::int16_t shift = 0;
  if (wParam & MK_SHIFT) shift |= shiftkey::Shift;
  if (wParam & MK_CONTROL) shift |= shiftkey::Ctrl;
  if (GetKeyState(VK_MENU) < 0) shift |= shiftkey::Alt;
  switch (message) {
    case WM_MOUSEMOVE:
      input_.MouseMove(buttons, shift, x, y);
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
      // The editor keeps the focus while it is open; the press commits it first.
      if (GetFocus() != inputPort_.EditWindow()) SetFocus(hwnd_);
      const std::int16_t button = message == WM_LBUTTONDOWN ? mousebutton::Left
                                  : (message == WM_RBUTTONDOWN || message == WM_RBUTTONDBLCLK) ? mousebutton::Right
                                                                                                : mousebutton::Middle;
      afterDblClick_ = false;
      input_.MouseDown(button, shift, x, y);
      break;
    }
    case WM_LBUTTONDBLCLK:
      afterDblClick_ = true;
      input_.DblClick();
      break;
    case WM_LBUTTONUP:
      input_.MouseUp(mousebutton::Left, shift, x, y);
      // The release after a double click ends it; it is not another click.
      if (!afterDblClick_ && !destroyed_) input_.Click();
      afterDblClick_ = false;
      break;
    case WM_RBUTTONUP:
      input_.MouseUp(mousebutton::Right, shift, x, y);
      break;
    case WM_MBUTTONUP:
      input_.MouseUp(mousebutton::Middle, shift, x, y);
      break;
    default:
      return false;
  }
  return true;
}

bool CellGridWindow::keyMessage(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_KEYDOWN:
      input_.KeyDown(static_cast<std::int16_t>(wParam), ShiftStateNow());
      return true;
    case WM_KEYUP:
      input_.KeyUp(static_cast<std::int16_t>(wParam), ShiftStateNow());
      return true;
    case WM_CHAR:
      input_.KeyPress(static_cast<std::uint32_t>(wParam));
      return true;
    default:
      return false;
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
