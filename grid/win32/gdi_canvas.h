#pragma once
// The Canvas port on GDI: each call is one or two GDI calls. Pens and brushes live
// for one call; fonts are kept for the canvas's life (a paint sets the font per
// cell, and creating one each time would dominate the paint), and so are the visual
// style parts it has drawn.

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "canvas.h"
#include "theme_part_cache.h"

namespace qelvaro::grid {

// The grid's image list over a common-controls image list (1-based, like the
// ListImages of the host's image list control). The list is owned.
class Win32ImageList : public GridImageList {
 public:
  explicit Win32ImageList(HIMAGELIST list) : list_(list) {}
  ~Win32ImageList() override {
    if (list_) ImageList_Destroy(list_);
  }
  Win32ImageList(const Win32ImageList&) = delete;
  Win32ImageList& operator=(const Win32ImageList&) = delete;
  HIMAGELIST handle() const { return list_; }
  // Gives the list back to the caller, who owns it again.
  HIMAGELIST release() { return std::exchange(list_, nullptr); }
  std::int32_t ImageWidth() const override;
  std::int32_t ImageHeight() const override;
  std::int32_t Count() const override { return ImageList_GetImageCount(list_); }

 private:
  HIMAGELIST list_;
};

// A cell picture: a bitmap, owned.
class Win32Picture : public GridPicture {
 public:
  explicit Win32Picture(HBITMAP bitmap) : bitmap_(bitmap) {}
  ~Win32Picture() override {
    if (bitmap_) DeleteObject(bitmap_);
  }
  Win32Picture(const Win32Picture&) = delete;
  Win32Picture& operator=(const Win32Picture&) = delete;
  HBITMAP handle() const { return bitmap_; }

 private:
  HBITMAP bitmap_;
};

class GdiCanvas : public Canvas {
 public:
  // themeWindow: the window whose visual style parts are drawn (may be null).
  GdiCanvas(HDC dc, HWND themeWindow);
  ~GdiCanvas() override;
  GdiCanvas(const GdiCanvas&) = delete;
  GdiCanvas& operator=(const GdiCanvas&) = delete;

  void SetDC(HDC dc);
  // The visual style changed: parts drawn so far are stale.
  void ForgetThemeParts() { themeParts_.Clear(); }
  HDC dc() const { return dc_; }

  void FillRect(const Rect& r, Rgb colour) override;
  void FrameRect(const Rect& r, Rgb colour) override;
  void Line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, Rgb colour, std::int32_t width) override;
  void Gradient(const Rect& r, Rgb from, Rgb to, bool vertical) override;
  void Outline(const Rect& r, Rgb colour, std::int32_t penWidth) override;
  void FocusRect(const Rect& r) override;
  void SetFont(const CanvasFont& font) override;
  void SetTextColour(Rgb colour) override;
  Rect DrawString(std::string_view text, const Rect& r, std::uint32_t flags) override;
  Size TextExtent(std::string_view text) override;
  void FrameControl(const Rect& r, std::int32_t kind, std::uint32_t state) override;
  bool ThemePart(std::string_view themeClass, std::int32_t part, std::int32_t state, const Rect& r) override;
  void Image(const GridImageList& list, std::int32_t index, std::int32_t x, std::int32_t y, std::int32_t style) override;
  void Picture(const GridPicture& picture, const Rect& r) override;
  void ClipTo(const Rect& r) override;
  void ClearClip() override;

 private:
  HFONT fontFor(const CanvasFont& font);
  HDC dc_;
  HWND themeWindow_;
  ThemePartCache themeParts_;
  std::map<std::tuple<std::string, float, bool, bool, bool, std::optional<std::int16_t>>, HFONT> fonts_;
  HFONT selected_ = nullptr;
  HGDIOBJ originalFont_ = nullptr;
};

}  // namespace qelvaro::grid
