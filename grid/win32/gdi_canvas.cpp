#include "gdi_canvas.h"

#include <algorithm>
#include <cmath>

#include "base/win32/wide_string.h"

namespace qelvaro::grid {

namespace {
RECT toRect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
COLORREF colour(Rgb c) { return static_cast<COLORREF>(c & 0xFFFFFFu); }

// One brush or pen for one call.
using GdiObject = base::UniqueResource<HGDIOBJ, GdiObjectTraits>;

class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selected() { SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};
}  // namespace

std::int32_t Win32ImageList::ImageWidth() const {
  int cx = 0, cy = 0;
  ImageList_GetIconSize(list_, &cx, &cy);
  return cx;
}

std::int32_t Win32ImageList::ImageHeight() const {
  int cx = 0, cy = 0;
  ImageList_GetIconSize(list_, &cx, &cy);
  return cy;
}

GdiCanvas::GdiCanvas(HDC dc, HWND themeWindow) : dc_(dc), themeWindow_(themeWindow), themeParts_(themeWindow) {
  if (dc_) {
    originalFont_ = GetCurrentObject(dc_, OBJ_FONT);
    SetBkMode(dc_, TRANSPARENT);
  }
}

GdiCanvas::~GdiCanvas() {
  if (dc_ && originalFont_) SelectObject(dc_, originalFont_);
  for (auto& [key, font] : fonts_) DeleteObject(font);
}

void GdiCanvas::SetDC(HDC dc) {
  if (dc_ && originalFont_) SelectObject(dc_, originalFont_);
  dc_ = dc;
  originalFont_ = dc_ ? GetCurrentObject(dc_, OBJ_FONT) : nullptr;
  if (dc_) {
    SetBkMode(dc_, TRANSPARENT);
    if (selected_) SelectObject(dc_, selected_);
  }
}

void GdiCanvas::FillRect(const Rect& r, Rgb c) {
  GdiObject brush(CreateSolidBrush(colour(c)));
  const RECT rc = toRect(r);
  if (brush) ::FillRect(dc_, &rc, static_cast<HBRUSH>(brush.get()));
}

void GdiCanvas::FrameRect(const Rect& r, Rgb c) {
  GdiObject brush(CreateSolidBrush(colour(c)));
  const RECT rc = toRect(r);
  if (brush) ::FrameRect(dc_, &rc, static_cast<HBRUSH>(brush.get()));
}

void GdiCanvas::Line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, Rgb c, std::int32_t width) {
  GdiObject pen(CreatePen(PS_SOLID, width, colour(c)));
  if (!pen) return;
  Selected keep(dc_, pen.get());
  MoveToEx(dc_, x1, y1, nullptr);
  LineTo(dc_, x2, y2);
}

void GdiCanvas::Gradient(const Rect& r, Rgb from, Rgb to, bool vertical) {
  if (r.empty()) return;
  TRIVERTEX v[2] = {};
  v[0].x = r.left;
  v[0].y = r.top;
  v[0].Red = static_cast<COLOR16>((from & 0xFF) << 8);
  v[0].Green = static_cast<COLOR16>(((from >> 8) & 0xFF) << 8);
  v[0].Blue = static_cast<COLOR16>(((from >> 16) & 0xFF) << 8);
  v[1].x = r.right;
  v[1].y = r.bottom;
  v[1].Red = static_cast<COLOR16>((to & 0xFF) << 8);
  v[1].Green = static_cast<COLOR16>(((to >> 8) & 0xFF) << 8);
  v[1].Blue = static_cast<COLOR16>(((to >> 16) & 0xFF) << 8);
  GRADIENT_RECT g{0, 1};
  GradientFill(dc_, v, 2, &g, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

void GdiCanvas::Outline(const Rect& r, Rgb c, std::int32_t penWidth) {
  GdiObject pen(CreatePen(PS_SOLID, penWidth, colour(c)));
  if (!pen) return;
  Selected keepPen(dc_, pen.get());
  Selected keepBrush(dc_, GetStockObject(NULL_BRUSH));
  RoundRect(dc_, r.left, r.top, r.right, r.bottom, 0, 0);
}

void GdiCanvas::FocusRect(const Rect& r) {
  const RECT rc = toRect(r);
  SetTextColor(dc_, RGB(0, 0, 0));
  SetBkColor(dc_, RGB(255, 255, 255));
  DrawFocusRect(dc_, &rc);
}

HFONT GdiCanvas::fontFor(const CanvasFont& f) {
  const auto key = std::make_tuple(f.name, f.size, f.bold, f.italic, f.underline, f.charset);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  LOGFONTW lf = {};
  const int dpi = GetDeviceCaps(dc_, LOGPIXELSY);
  lf.lfHeight = -static_cast<LONG>(std::lround(f.size * dpi / 72.0));
  lf.lfWeight = f.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = f.italic;
  lf.lfUnderline = f.underline;
  lf.lfCharSet = static_cast<BYTE>(f.charset.value_or(DEFAULT_CHARSET));
  lf.lfQuality = DEFAULT_QUALITY;
  const std::wstring face = base::widen(f.name);
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  HFONT font = CreateFontIndirectW(&lf);
  if (font) fonts_[key] = font;
  return font;
}

void GdiCanvas::SetFont(const CanvasFont& font) {
  if (HFONT f = fontFor(font)) {
    SelectObject(dc_, f);
    selected_ = f;
  }
}

void GdiCanvas::SetTextColour(Rgb c) { SetTextColor(dc_, colour(c)); }

Rect GdiCanvas::DrawString(std::string_view text, const Rect& r, std::uint32_t flags) {
  const std::wstring w = base::widen(text);
  RECT rc = toRect(r);
  SetBkMode(dc_, TRANSPARENT);
  DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &rc, flags);
  if (flags & DT_CALCRECT) return Rect{rc.left, rc.top, rc.right, rc.bottom};
  return r;
}

Size GdiCanvas::TextExtent(std::string_view text) {
  const std::wstring w = base::widen(text);
  SIZE s = {};
  GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &s);
  if (w.empty()) {
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc_, &tm);
    s.cy = tm.tmHeight;
  }
  return Size{s.cx, s.cy};
}

void GdiCanvas::FrameControl(const Rect& r, std::int32_t kind, std::uint32_t state) {
  RECT rc = toRect(r);
  DrawFrameControl(dc_, &rc, static_cast<UINT>(kind), state);
}

bool GdiCanvas::ThemePart(std::string_view themeClass, std::int32_t part, std::int32_t state, const Rect& r) {
  if (!themeWindow_ || !IsAppThemed()) return false;
  return themeParts_.Draw(dc_, themeClass, part, state, toRect(r));
}

void GdiCanvas::Image(const GridImageList& list, std::int32_t index, std::int32_t x, std::int32_t y, std::int32_t style) {
  const auto* win = dynamic_cast<const Win32ImageList*>(&list);
  if (!win || index < 1 || index > win->Count()) return;
  ImageList_Draw(win->handle(), index - 1, dc_, x, y, style == 2 ? ILD_SELECTED : ILD_TRANSPARENT);
}

void GdiCanvas::Picture(const GridPicture& picture, const Rect& r) {
  const auto* win = dynamic_cast<const Win32Picture*>(&picture);
  if (!win || r.empty()) return;
  BITMAP bm = {};
  if (!GetObjectW(win->handle(), sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) return;
  // Scaled into the rectangle keeping the aspect ratio, centred.
  const double scale = std::min(static_cast<double>(r.width()) / bm.bmWidth, static_cast<double>(r.height()) / bm.bmHeight);
  const int w = std::max(1, static_cast<int>(bm.bmWidth * scale));
  const int h = std::max(1, static_cast<int>(bm.bmHeight * scale));
  HDC src = CreateCompatibleDC(dc_);
  if (!src) return;
  HGDIOBJ old = SelectObject(src, win->handle());
  SetStretchBltMode(dc_, HALFTONE);
  StretchBlt(dc_, r.left + (r.width() - w) / 2, r.top + (r.height() - h) / 2, w, h, src, 0, 0, bm.bmWidth, bm.bmHeight,
             SRCCOPY);
  SelectObject(src, old);
  DeleteDC(src);
}

void GdiCanvas::ClipTo(const Rect& r) {
  HRGN region = CreateRectRgn(r.left, r.top, r.right, r.bottom);
  if (!region) return;
  SelectClipRgn(dc_, region);
  DeleteObject(region);
}

void GdiCanvas::ClearClip() { SelectClipRgn(dc_, nullptr); }

}  // namespace qelvaro::grid
