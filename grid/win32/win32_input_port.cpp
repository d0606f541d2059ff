#include "win32_input_port.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <cmath>

#include "base/win32/wide_string.h"

namespace qelvaro::grid {

namespace {

constexpr wchar_t kTipClass[] = L"QelvaroCellGridTip";
constexpr UINT_PTR kEditSubclassId = 0x51E1;

}  // namespace

std::int16_t ShiftStateNow() {
  std::int16_t s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= shiftkey::Shift;
  if (GetKeyState(VK_CONTROL) < 0) s |= shiftkey::Ctrl;
  if (GetKeyState(VK_MENU) < 0) s |= shiftkey::Alt;
  return s;
}

// Text dropped from another program onto a cell (CF_UNICODETEXT, else CF_TEXT).
class Win32InputPort::DropTarget final : public IDropTarget {
 public:
  DropTarget(HWND grid, Win32InputPort& port) : grid_(grid), port_(port) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
      *out = static_cast<IDropTarget*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    hasText_ = textOf(data, nullptr);
    *effect = hasText_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect = hasText_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL pt, DWORD* effect) override {
    std::string text;
    *effect = DROPEFFECT_NONE;
    if (!port_.input_ || !textOf(data, &text)) return S_OK;
    POINT p{pt.x, pt.y};
    ScreenToClient(grid_, &p);
    port_.input_->DropText(p.x, p.y, text);
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }

 private:
  static bool textOf(IDataObject* data, std::string* text) {
    for (CLIPFORMAT format : {static_cast<CLIPFORMAT>(CF_UNICODETEXT), static_cast<CLIPFORMAT>(CF_TEXT)}) {
      FORMATETC fe{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
      if (data->QueryGetData(&fe) != S_OK) continue;
      if (!text) return true;
      STGMEDIUM medium = {};
      if (data->GetData(&fe, &medium) != S_OK) continue;
      const void* p = GlobalLock(medium.hGlobal);
      if (p) {
        const SIZE_T bytes = GlobalSize(medium.hGlobal);
        if (format == CF_UNICODETEXT) {
          const auto* w = static_cast<const wchar_t*>(p);
          *text = base::narrow(std::wstring_view(w, wcsnlen(w, bytes / sizeof(wchar_t))));
        } else {
          const auto* a = static_cast<const char*>(p);
          const std::string_view ansi(a, strnlen(a, bytes));
          const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
          std::wstring w(static_cast<std::size_t>(n), L'\0');
          MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
          *text = base::narrow(w);
        }
        GlobalUnlock(medium.hGlobal);
      }
      ReleaseStgMedium(&medium);
      return p != nullptr;
    }
    return false;
  }

  LONG refs_ = 1;
  HWND grid_;
  Win32InputPort& port_;
  bool hasText_ = false;
};

Win32InputPort::Win32InputPort(HWND grid) : grid_(grid) {}

Win32InputPort::~Win32InputPort() { Destroy(); }

void Win32InputPort::Destroy() {
  if (drop_) {
    RevokeDragDrop(grid_);
    drop_->Release();
    drop_ = nullptr;
  }
  if (oleStarted_) {
    OleUninitialize();
    oleStarted_ = false;
  }
  if (tip_) DestroyWindow(tip_);
  tip_ = nullptr;
  if (edit_) {
    RemoveWindowSubclass(edit_, &EditProc, kEditSubclassId);
    DestroyWindow(edit_);
    edit_ = nullptr;
  }
  for (HGDIOBJ* obj : {reinterpret_cast<HGDIOBJ*>(&editFont_), reinterpret_cast<HGDIOBJ*>(&tipFont_),
                       reinterpret_cast<HGDIOBJ*>(&editBrush_)}) {
    if (*obj) DeleteObject(*obj);
    *obj = nullptr;
  }
}

void Win32InputPort::RegisterDropTarget() {
  if (drop_) return;
  // Drag and drop needs OLE on this thread; a thread already in a multithreaded
  // apartment cannot take drops, and the grid goes without.
  const HRESULT hr = OleInitialize(nullptr);
  if (FAILED(hr)) return;
  oleStarted_ = true;
  drop_ = new DropTarget(grid_, *this);
  if (FAILED(RegisterDragDrop(grid_, drop_))) {
    drop_->Release();
    drop_ = nullptr;
  }
}

// ---------------------------------------------------------------- mouse

void Win32InputPort::SetCapture(bool on) {
  if (on) ::SetCapture(grid_);
  else if (GetCapture() == grid_) ReleaseCapture();
}

void Win32InputPort::SetPointer(std::int32_t shape) {
  pointer_ = shape;
  ApplyCursor();
}

bool Win32InputPort::ApplyCursor() {
  const wchar_t* id = IDC_ARROW;
  switch (pointer_) {
    case pointer::SizeNS: id = IDC_SIZENS; break;
    case pointer::SizeWE: id = IDC_SIZEWE; break;
    case pointer::Hand: id = IDC_HAND; break;
    default: break;
  }
  SetCursor(LoadCursorW(nullptr, id));
  return true;
}

void Win32InputPort::StartTimer(std::int32_t id, std::uint32_t milliseconds) {
  SetTimer(grid_, static_cast<UINT_PTR>(id), milliseconds, nullptr);
}

void Win32InputPort::StopTimer(std::int32_t id) { KillTimer(grid_, static_cast<UINT_PTR>(id)); }

void Win32InputPort::TrackMouseLeave() {
  TRACKMOUSEEVENT tme = {};
  tme.cbSize = sizeof tme;
  tme.dwFlags = TME_LEAVE;
  tme.hwndTrack = grid_;
  _TrackMouseEvent(&tme);
}

bool Win32InputPort::IsAlphaNumeric(std::uint32_t character) {
  return character <= 0xFFFF && IsCharAlphaNumericW(static_cast<wchar_t>(character));
}

void Win32InputPort::CopyText(std::string_view text) {
  if (text.empty() || !OpenClipboard(grid_)) return;
  const std::wstring w = base::widen(text);
  EmptyClipboard();
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (w.size() + 1) * sizeof(wchar_t))) {
    if (auto* p = static_cast<wchar_t*>(GlobalLock(mem))) {
      std::copy(w.begin(), w.end(), p);
      p[w.size()] = L'\0';
      GlobalUnlock(mem);
      if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
    } else {
      GlobalFree(mem);
    }
  }
  CloseClipboard();
}

// ---------------------------------------------------------------- edit box

HFONT Win32InputPort::makeFont(const CanvasFont& f) {
  HDC dc = GetDC(grid_);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(grid_, dc);
  LOGFONTW lf = {};
  lf.lfHeight = -static_cast<LONG>(std::lround(f.size * dpi / 72.0));
  lf.lfWeight = f.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = f.italic;
  lf.lfUnderline = f.underline;
  lf.lfCharSet = static_cast<BYTE>(f.charset.value_or(DEFAULT_CHARSET));
  const std::wstring face = base::widen(f.name);
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  return CreateFontIndirectW(&lf);
}

void Win32InputPort::ensureEdit() {
  if (edit_) return;
  edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL | ES_LEFT, 0, 0, 10, 10, grid_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), GetModuleHandleW(nullptr), nullptr);
  if (!edit_) return;
  editStyle_ = GetWindowLongPtrW(edit_, GWL_STYLE);
  SetWindowSubclass(edit_, &EditProc, kEditSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void Win32InputPort::ShowEditor(const EditorLook& look) {
  ensureEdit();
  if (!edit_) return;
  LONG_PTR style = editStyle_ & ~static_cast<LONG_PTR>(ES_CENTER | ES_RIGHT | ES_LOWERCASE | ES_UPPERCASE |
                                                         ES_MULTILINE | ES_AUTOVSCROLL);
  if (look.alignment == 1) style |= ES_RIGHT;
  else if (look.alignment == 2) style |= ES_CENTER;
  if (look.letterCase == 1) style |= ES_LOWERCASE;
  else if (look.letterCase == 2) style |= ES_UPPERCASE;
  if (look.multiLine) style |= ES_MULTILINE | ES_AUTOVSCROLL;
  // Alignment and multi-line are fixed when an edit box is made: make it again
  // when they differ from the box at hand.
  const LONG_PTR fixed = ES_CENTER | ES_RIGHT | ES_MULTILINE;
  if ((GetWindowLongPtrW(edit_, GWL_STYLE) & fixed) != (style & fixed)) {
    RemoveWindowSubclass(edit_, &EditProc, kEditSubclassId);
    DestroyWindow(edit_);
    edit_ = CreateWindowExW(0, L"EDIT", L"", static_cast<DWORD>(style & ~WS_VISIBLE), 0, 0, 10, 10, grid_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), GetModuleHandleW(nullptr), nullptr);
    if (!edit_) return;
    SetWindowSubclass(edit_, &EditProc, kEditSubclassId, reinterpret_cast<DWORD_PTR>(this));
  } else {
    SetWindowLongPtrW(edit_, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_VISIBLE));
  }
  if (editFont_) DeleteObject(editFont_);
  editFont_ = makeFont(look.font);
  SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(editFont_), FALSE);
  editFore_ = look.fore;
  editBack_ = look.back;
  if (editBrush_) DeleteObject(editBrush_);
  editBrush_ = CreateSolidBrush(editBack_);
  SetWindowTextW(edit_, base::widen(look.text).c_str());
  MoveEditor(look.rect);
  SendMessageW(edit_, EM_SETSEL, 0, -1);
  ShowWindow(edit_, SW_SHOW);
  SetWindowPos(edit_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetFocus(edit_);
}

void Win32InputPort::MoveEditor(const Rect& r) {
  if (edit_) MoveWindow(edit_, r.left, r.top, std::max(r.width(), 1), std::max(r.height(), 1), TRUE);
}

void Win32InputPort::SetEditorText(std::string_view text) {
  if (!edit_) return;
  const std::wstring w = base::widen(text);
  SetWindowTextW(edit_, w.c_str());
  const auto end = static_cast<WPARAM>(w.size());
  SendMessageW(edit_, EM_SETSEL, end, static_cast<LPARAM>(end));
}

void Win32InputPort::HideEditor() {
  if (!edit_ || !IsWindowVisible(edit_)) return;
  const bool hadFocus = GetFocus() == edit_;
  ShowWindow(edit_, SW_HIDE);
  if (hadFocus) SetFocus(grid_);
}

std::int32_t Win32InputPort::EditorCaret() {
  if (!edit_) return 0;
  DWORD start = 0, end = 0;
  SendMessageW(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return static_cast<std::int32_t>(end);
}

std::int32_t Win32InputPort::EditorLength() { return edit_ ? GetWindowTextLengthW(edit_) : 0; }

HBRUSH Win32InputPort::EditColours(HDC dc) {
  SetTextColor(dc, editFore_);
  SetBkColor(dc, editBack_);
  return editBrush_ ? editBrush_ : GetSysColorBrush(COLOR_WINDOW);
}

LRESULT CALLBACK Win32InputPort::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR data) {
  return reinterpret_cast<Win32InputPort*>(data)->editMessage(hwnd, message, wParam, lParam);
}

// The grid sees the edit box's keys first, as a key preview would.
LRESULT Win32InputPort::editMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (input_) {
    switch (message) {
      case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS | DefSubclassProc(hwnd, message, wParam, lParam);
      case WM_KEYDOWN: {
        const bool consumed = input_->KeyDown(static_cast<std::int16_t>(wParam), ShiftStateNow());
        if (consumed || !IsWindowVisible(hwnd)) return 0;
        break;
      }
      case WM_KEYUP:
        input_->KeyUp(static_cast<std::int16_t>(wParam), ShiftStateNow());
        break;
      case WM_CHAR: {
        if (input_->KeyPress(static_cast<std::uint32_t>(wParam)) || !IsWindowVisible(hwnd)) return 0;
        if (wParam == VK_RETURN || wParam == VK_ESCAPE || wParam == VK_TAB) return 0;
        const std::uint32_t kept = input_->EditorKeyPress(static_cast<std::uint32_t>(wParam));
        if (kept == 0) return 0;
        wParam = kept;
        break;
      }
      case WM_LBUTTONDBLCLK:
        input_->DblClick();
        break;
      case WM_KILLFOCUS: {
        // Focus leaving for another window commits the edit (not for the grid itself).
        const HWND to = reinterpret_cast<HWND>(wParam);
        const LRESULT r = DefSubclassProc(hwnd, message, wParam, lParam);
        if (to != grid_ && IsWindowVisible(hwnd)) input_->ToggleEdit(false);
        return r;
      }
      default:
        break;
    }
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

// ---------------------------------------------------------------- bound controls

void Win32InputPort::ShowBoundControl(GridControl& control, const EditorLook& look) {
  auto* bound = dynamic_cast<Win32BoundControl*>(&control);
  if (!bound || !IsWindow(bound->hwnd())) return;
  const HWND h = bound->hwnd();
  if (editFont_) DeleteObject(editFont_);
  editFont_ = makeFont(look.font);
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(editFont_), FALSE);
  MoveBoundControl(control, look.rect);
  ShowWindow(h, SW_SHOW);
  SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  wchar_t cls[32] = {};
  GetClassNameW(h, cls, 32);
  if (lstrcmpiW(cls, L"ComboBox") == 0) {
    SendMessageW(h, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), look.rect.height());
    SendMessageW(h, CB_SHOWDROPDOWN, TRUE, 0);
  }
  SetFocus(h);
}

void Win32InputPort::MoveBoundControl(GridControl& control, const Rect& r) {
  auto* bound = dynamic_cast<Win32BoundControl*>(&control);
  if (!bound || !IsWindow(bound->hwnd())) return;
  // The control may live on another container: place it in that container's pixels.
  POINT p{r.left, r.top};
  MapWindowPoints(grid_, GetParent(bound->hwnd()), &p, 1);
  MoveWindow(bound->hwnd(), p.x, p.y, r.width(), r.height(), TRUE);
}

void Win32InputPort::HideBoundControl(GridControl& control) {
  auto* bound = dynamic_cast<Win32BoundControl*>(&control);
  if (bound && IsWindow(bound->hwnd())) ShowWindow(bound->hwnd(), SW_HIDE);
}

// ---------------------------------------------------------------- tooltip

LRESULT CALLBACK Win32InputPort::TipProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Win32InputPort*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
      break;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_PAINT:
      if (self) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(dc, &rc, GetSysColorBrush(COLOR_INFOBK));
        HGDIOBJ old = SelectObject(dc, self->tipFont_ ? self->tipFont_ : GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        InflateRect(&rc, -3, 0);
        DrawTextW(dc, self->tipText_.c_str(), static_cast<int>(self->tipText_.size()), &rc,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
        SelectObject(dc, old);
        EndPaint(hwnd, &ps);
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32InputPort::ensureTip() {
  if (tip_) return;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(instance, kTipClass, &wc)) {
    wc.style = CS_SAVEBITS | CS_DROPSHADOW;
    wc.lpfnWndProc = &TipProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kTipClass;
    RegisterClassExW(&wc);
  }
  // A tool window owned by the desktop, so it floats above the program's windows.
  tip_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kTipClass, L"",
                         WS_POPUP | WS_BORDER | WS_DISABLED, 0, 0, 10, 10, nullptr, nullptr, instance, this);
}

void Win32InputPort::ShowToolTip(const Rect& cell, std::string_view text, const CanvasFont& font, Rgb, Rgb) {
  ensureTip();
  if (!tip_) return;
  tipText_ = base::widen(text);
  if (tipFont_) DeleteObject(tipFont_);
  tipFont_ = makeFont(font);
  HDC dc = GetDC(tip_);
  HGDIOBJ old = SelectObject(dc, tipFont_);
  SIZE extent = {};
  GetTextExtentPoint32W(dc, tipText_.c_str(), static_cast<int>(tipText_.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(tip_, dc);
  const int width = std::max<int>(cell.width(), extent.cx + 8);
  const int height = std::max<int>(cell.height(), extent.cy + 4);
  POINT at{cell.left, cell.top};
  ClientToScreen(grid_, &at);
  // Kept on the monitor that holds the cell.
  MONITORINFO mi = {};
  mi.cbSize = sizeof mi;
  if (GetMonitorInfoW(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &mi))
    at.x = std::max<LONG>(mi.rcWork.left, std::min<LONG>(at.x, mi.rcWork.right - width));
  SetWindowPos(tip_, HWND_TOPMOST, at.x, at.y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(tip_, nullptr, TRUE);
}

void Win32InputPort::HideToolTip() {
  if (tip_) ShowWindow(tip_, SW_HIDE);
}

}  // namespace qelvaro::grid
