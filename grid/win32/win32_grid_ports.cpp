#include "win32_grid_ports.h"

#include <commctrl.h>
#include <uxtheme.h>

#include "base/win32/wide_string.h"

namespace qelvaro::grid {

// ---------------------------------------------------------------- platform

Win32GridPlatform::Win32GridPlatform(HWND hwnd) : hwnd_(hwnd) {
  OSVERSIONINFOW v = {};
  v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (GetVersionExW(&v)) xpOrLater_ = v.dwMajorVersion > 5 || (v.dwMajorVersion == 5 && v.dwMinorVersion > 0);
#pragma GCC diagnostic pop
  if (HDC screen = GetDC(nullptr)) {
    dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
    dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  if (dpiX_ <= 0) dpiX_ = 96;
  if (dpiY_ <= 0) dpiY_ = 96;
}

Rgb Win32GridPlatform::SystemColour(std::int32_t index) const { return GetSysColor(index); }

bool Win32GridPlatform::AppThemed() const { return xpOrLater_ && IsAppThemed(); }

std::optional<std::string> Win32GridPlatform::ThemeColourName() const {
  if (!xpOrLater_) return std::nullopt;
  HTHEME theme = OpenThemeData(hwnd_, L"ExplorerBar");
  if (!theme) return std::nullopt;
  wchar_t file[260] = {}, colour[260] = {};
  std::optional<std::string> name;
  if (SUCCEEDED(GetCurrentThemeName(file, 260, colour, 260, nullptr, 0))) name = base::narrow(colour);
  CloseThemeData(theme);
  return name ? name : std::optional<std::string>(std::string());
}

std::int32_t Win32GridPlatform::BorderMetric() const { return GetSystemMetrics(SM_CXBORDER); }
std::int32_t Win32GridPlatform::ThumbMetric() const { return GetSystemMetrics(SM_CXHTHUMB); }

void Win32GridPlatform::DoEvents() {
  if (quiet_) return;
  // One pass over what is waiting now, not a loop that runs until the queue is dry.
  MSG msg;
  for (int n = 0; n < 64 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// ---------------------------------------------------------------- scroll bars

namespace {
// The flat scroll-bar functions are looked up in comctl32 at run time: not every
// import library declares them, and a system without them gets standard bars.
struct FlatApi {
  BOOL(WINAPI* init)(HWND) = nullptr;
  HRESULT(WINAPI* uninit)(HWND) = nullptr;
  BOOL(WINAPI* getInfo)(HWND, int, LPSCROLLINFO) = nullptr;
  int(WINAPI* setInfo)(HWND, int, LPSCROLLINFO, BOOL) = nullptr;
  BOOL(WINAPI* show)(HWND, int, BOOL) = nullptr;
  BOOL(WINAPI* setProp)(HWND, UINT, INT_PTR, BOOL) = nullptr;
  bool complete() const { return init && uninit && getInfo && setInfo && show && setProp; }
};

template <typename F>
void lookUp(HMODULE module, const char* name, F& out) {
  out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const FlatApi& flatApi() {
  static const FlatApi api = [] {
    FlatApi a;
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    if (!comctl) comctl = LoadLibraryW(L"comctl32.dll");
    if (!comctl) return a;
    lookUp(comctl, "InitializeFlatSB", a.init);
    lookUp(comctl, "UninitializeFlatSB", a.uninit);
    lookUp(comctl, "FlatSB_GetScrollInfo", a.getInfo);
    lookUp(comctl, "FlatSB_SetScrollInfo", a.setInfo);
    lookUp(comctl, "FlatSB_ShowScrollBar", a.show);
    lookUp(comctl, "FlatSB_SetScrollProp", a.setProp);
    return a;
  }();
  return api;
}
}  // namespace

bool Win32ScrollPort::GetInfo(bool flat, std::int32_t bar, ScrollInfo& info, std::uint32_t mask) {
  SCROLLINFO si = {};
  si.cbSize = sizeof si;
  si.fMask = mask;
  const BOOL ok = flat ? flatApi().getInfo(hwnd_, bar, &si) : GetScrollInfo(hwnd_, bar, &si);
  info = ScrollInfo{si.nMin, si.nMax, static_cast<std::int32_t>(si.nPage), si.nPos, si.nTrackPos};
  return ok != FALSE;
}

void Win32ScrollPort::SetInfo(bool flat, std::int32_t bar, const ScrollInfo& info, std::uint32_t mask) {
  SCROLLINFO si = {};
  si.cbSize = sizeof si;
  si.fMask = mask;
  si.nMin = info.nMin;
  si.nMax = info.nMax;
  si.nPage = static_cast<UINT>(info.nPage < 0 ? 0 : info.nPage);
  si.nPos = info.nPos;
  if (flat) flatApi().setInfo(hwnd_, bar, &si, TRUE);
  else SetScrollInfo(hwnd_, bar, &si, TRUE);
}

void Win32ScrollPort::Show(bool flat, std::int32_t bar, bool show) {
  if (flat) flatApi().show(hwnd_, bar, show);
  else ShowScrollBar(hwnd_, bar, show);
}

bool Win32ScrollPort::InitFlat() { return flatApi().complete() && flatApi().init(hwnd_) != FALSE; }

void Win32ScrollPort::UninitFlat() {
  if (flatApi().complete()) flatApi().uninit(hwnd_);
}

void Win32ScrollPort::SetFlatProp(std::int32_t property, std::int32_t value) {
  if (flatApi().complete()) flatApi().setProp(hwnd_, static_cast<UINT>(property), value, TRUE);
}

// ---------------------------------------------------------------- surface

Win32GridSurface::Win32GridSurface(HWND hwnd)
    : hwnd_(hwnd), memory_(CreateCompatibleDC(nullptr)), canvas_(memory_, hwnd) {
  ensureSize();
}

Win32GridSurface::~Win32GridSurface() {
  canvas_.SetDC(nullptr);
  if (memory_ && oldBitmap_) SelectObject(memory_, oldBitmap_);
  if (bitmap_) DeleteObject(bitmap_);
  if (memory_) DeleteDC(memory_);
}

Size Win32GridSurface::ClientSize() const {
  RECT rc = {};
  if (hwnd_) GetClientRect(hwnd_, &rc);
  return Size{rc.right - rc.left, rc.bottom - rc.top};
}

Size Win32GridSurface::WindowSize() const {
  RECT rc = {};
  if (hwnd_) GetWindowRect(hwnd_, &rc);
  return Size{rc.right - rc.left, rc.bottom - rc.top};
}

void Win32GridSurface::ensureSize() {
  const Size want = ClientSize();
  const Size size{std::max(want.cx, 1), std::max(want.cy, 1)};
  if (bitmap_ && size.cx == size_.cx && size.cy == size_.cy) return;
  HDC screen = GetDC(nullptr);
  HBITMAP fresh = CreateCompatibleBitmap(screen, size.cx, size.cy);
  ReleaseDC(nullptr, screen);
  if (!fresh) return;
  HGDIOBJ previous = SelectObject(memory_, fresh);
  if (!oldBitmap_) oldBitmap_ = previous;
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = fresh;
  size_ = size;
  hasImage_ = false;
}

Canvas& Win32GridSurface::DrawingCanvas() {
  ensureSize();
  return canvas_;
}

void Win32GridSurface::Show() {
  hasImage_ = true;
  if (inPaint_ || !hwnd_) return;
  InvalidateRect(hwnd_, nullptr, FALSE);
  UpdateWindow(hwnd_);
}

void Win32GridSurface::SetFrame(std::int32_t borderStyle, std::int32_t appearance) {
  if (!hwnd_) return;
  const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  const LONG_PTR exStyle = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
  LONG_PTR newStyle = style & ~static_cast<LONG_PTR>(WS_BORDER);
  LONG_PTR newExStyle = exStyle & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE);
  if (borderStyle == 1) {
    if (appearance == 1) newExStyle |= WS_EX_CLIENTEDGE;
    else newStyle |= WS_BORDER;
  }
  if (newStyle == style && newExStyle == exStyle) return;
  SetWindowLongPtrW(hwnd_, GWL_STYLE, newStyle);
  SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, newExStyle);
  // The frame is recomputed only when asked; the client area (and WM_SIZE) follow.
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void Win32GridSurface::SetEnabled(bool enabled) {
  if (hwnd_ && (IsWindowEnabled(hwnd_) != FALSE) != enabled) EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

void Win32GridSurface::Blit(HDC target, const RECT& area) {
  BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, memory_, area.left, area.top,
         SRCCOPY);
}

}  // namespace qelvaro::grid
