#pragma once
// Visual style parts drawn once and then copied. Drawing a part through uxtheme
// stretches it out of the style's bitmaps every time (about 2 ms a part under Wine),
// and a repaint draws the same few parts again and again: a header section per
// column, a check box per row. Each part is drawn once per size and state into an
// image with alpha, which later draws blend onto whatever lies beneath.

#include <windows.h>
#include <uxtheme.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "base/win32/handle.h"

namespace qelvaro::grid {

struct ThemeTraits {
  static bool valid(HTHEME t) { return t != nullptr; }
  static bool release(HTHEME t) { return SUCCEEDED(CloseThemeData(t)); }
};
struct GdiObjectTraits {
  static bool valid(HGDIOBJ o) { return o != nullptr; }
  static bool release(HGDIOBJ o) { return DeleteObject(o) != FALSE; }
};
struct MemoryDcTraits {
  static bool valid(HDC dc) { return dc != nullptr; }
  static bool release(HDC dc) { return DeleteDC(dc) != FALSE; }
};

class ThemePartCache {
 public:
  // window: the window whose visual style applies.
  explicit ThemePartCache(HWND window) : window_(window) {}
  ThemePartCache(const ThemePartCache&) = delete;
  ThemePartCache& operator=(const ThemePartCache&) = delete;

  // Draws the part into r on dc, as DrawThemeBackground would. False when the
  // style has no such part or it cannot be drawn (the caller draws it classically).
  bool Draw(HDC dc, std::string_view themeClass, int part, int state, const RECT& r);
  // The theme changed: every handle and image is stale.
  void Clear();

  // Images bigger than this are drawn straight through, and the whole cache is
  // dropped when it would hold more (a window resized many times leaves a trail
  // of header widths).
  static constexpr std::int64_t kMaxImagePixels = 256 * 1024;
  static constexpr std::int64_t kMaxPixels = 2 * 1024 * 1024;

 private:
  struct Image {
    base::UniqueResource<HGDIOBJ, GdiObjectTraits> bitmap;
    bool drawn = false;  // false: the style could not draw it
    bool opaque = false;
  };
  HTHEME themeFor(std::string_view themeClass);
  // Nothing when no image could be made for it.
  std::optional<Image> render(HTHEME theme, int part, int state, int width, int height);

  HWND window_;
  base::UniqueResource<HDC, MemoryDcTraits> memory_;
  std::map<std::string, base::UniqueResource<HTHEME, ThemeTraits>, std::less<>> themes_;
  std::map<std::tuple<std::string, int, int, int, int>, Image> images_;
  std::int64_t pixels_ = 0;
};

}  // namespace qelvaro::grid
