#include "theme_part_cache.h"

#include <algorithm>
#include <cstring>

#include "base/win32/wide_string.h"

namespace qelvaro::grid {

namespace {

struct Dib {
  base::UniqueResource<HGDIOBJ, GdiObjectTraits> bitmap;
  std::uint8_t* bits = nullptr;  // BGRA, top-down
};

Dib makeDib(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  Dib dib;
  dib.bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (dib.bitmap) dib.bits = static_cast<std::uint8_t*>(bits);
  return dib;
}

// Draws the part onto a background of one grey level.
bool drawOn(HDC memory, Dib& dib, std::size_t bytes, std::uint8_t level, HTHEME theme, int part, int state,
            const RECT& r) {
  std::memset(dib.bits, level, bytes);
  const HGDIOBJ old = SelectObject(memory, dib.bitmap.get());
  const bool ok = SUCCEEDED(DrawThemeBackground(theme, memory, part, state, &r, nullptr));
  GdiFlush();
  SelectObject(memory, old);
  return ok;
}

}  // namespace

HTHEME ThemePartCache::themeFor(std::string_view themeClass) {
  auto it = themes_.find(themeClass);
  if (it == themes_.end()) {
    base::UniqueResource<HTHEME, ThemeTraits> theme(OpenThemeData(window_, base::widen(themeClass).c_str()));
    it = themes_.emplace(std::string(themeClass), std::move(theme)).first;
  }
  return it->second.get();
}

// What a part looks like over any background: drawn once onto black and once onto
// white, a pixel the part covers with opacity a shows a·c on black and
// a·c + (1 − a)·255 on white. The difference gives a, and the black drawing is
// already the colour premultiplied by it, as AlphaBlend wants.
std::optional<ThemePartCache::Image> ThemePartCache::render(HTHEME theme, int part, int state, int width,
                                                           int height) {
  Dib black = makeDib(width, height), white = makeDib(width, height);
  if (!black.bits || !white.bits) return std::nullopt;
  Image image;
  const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  const RECT r{0, 0, width, height};
  if (!drawOn(memory_.get(), black, bytes, 0, theme, part, state, r) ||
      !drawOn(memory_.get(), white, bytes, 255, theme, part, state, r))
    return image;
  bool opaque = true;
  for (std::size_t i = 0; i < bytes; i += 4) {
    const std::uint8_t* b = black.bits + i;
    const std::uint8_t* w = white.bits + i;
    int seen = 0;
    for (int k = 0; k < 3; ++k) seen += std::max(0, w[k] - b[k]);
    const int alpha = std::clamp(255 - (seen + 1) / 3, 0, 255);
    std::uint8_t* out = black.bits + i;
    for (int k = 0; k < 3; ++k) out[k] = static_cast<std::uint8_t>(std::min<int>(out[k], alpha));
    out[3] = static_cast<std::uint8_t>(alpha);
    opaque = opaque && alpha == 255;
  }
  image.bitmap = std::move(black.bitmap);
  image.drawn = true;
  image.opaque = opaque;
  return image;
}

bool ThemePartCache::Draw(HDC dc, std::string_view themeClass, int part, int state, const RECT& r) {
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return true;
  HTHEME theme = themeFor(themeClass);
  if (!theme) return false;
  const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
  if (pixels > kMaxImagePixels) return SUCCEEDED(DrawThemeBackground(theme, dc, part, state, &r, nullptr));
  if (!memory_) memory_.reset(CreateCompatibleDC(nullptr));
  const auto direct = [&] { return SUCCEEDED(DrawThemeBackground(theme, dc, part, state, &r, nullptr)); };
  if (!memory_) return direct();

  auto key = std::make_tuple(std::string(themeClass), part, state, width, height);
  auto it = images_.find(key);
  if (it == images_.end()) {
    if (pixels_ + pixels > kMaxPixels) {
      images_.clear();
      pixels_ = 0;
    }
    std::optional<Image> made = render(theme, part, state, width, height);
    if (!made) return direct();  // out of GDI memory: no image this time
    it = images_.emplace(std::move(key), std::move(*made)).first;
    pixels_ += pixels;
  }
  const Image& image = it->second;
  if (!image.drawn) return false;
  const HGDIOBJ old = SelectObject(memory_.get(), image.bitmap.get());
  BOOL ok;
  if (image.opaque) {
    ok = BitBlt(dc, r.left, r.top, width, height, memory_.get(), 0, 0, SRCCOPY);
  } else {
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ok = AlphaBlend(dc, r.left, r.top, width, height, memory_.get(), 0, 0, width, height, blend);
  }
  SelectObject(memory_.get(), old);
  return ok != FALSE;
}

void ThemePartCache::Clear() {
  images_.clear();
  themes_.clear();
  pixels_ = 0;
}

}  // namespace qelvaro::grid
