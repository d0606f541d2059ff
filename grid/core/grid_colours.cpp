#include "grid_colours.h"

#include <algorithm>
#include <cmath>

namespace qelvaro::grid {

namespace {
// COLOR_SCROLLBAR (0) to COLOR_MENUBAR (30).
constexpr std::uint32_t kLastSystemColour = 30;
}

Rgb TranslateColor(Colour colour, const GridPlatform& platform) {
  if ((colour & 0xFF000000u) == 0) return colour;
  if ((colour & 0xFFFFFF00u) == 0x80000000u && (colour & 0xFF) <= kLastSystemColour)
    return platform.SystemColour(static_cast<std::int32_t>(colour & 0xFF)) & 0xFFFFFFu;
  return kBadColour;
}

Rgb BlendColor(Rgb a, Rgb b, std::int32_t alpha) {
  const auto mix = [alpha](std::uint32_t x, std::uint32_t y) {
    const double v = (static_cast<double>(x) * alpha + static_cast<double>(y) * (255 - alpha)) / 255.0;
    return static_cast<std::uint32_t>(std::clamp(std::nearbyint(v), 0.0, 255.0));
  };
  return MakeRgb(mix(RedOf(a), RedOf(b)), mix(GreenOf(a), GreenOf(b)), mix(BlueOf(a), BlueOf(b)));
}

Rgb ShadeColor(Rgb colour, std::int32_t delta) {
  const auto shade = [delta](std::uint32_t x) {
    return static_cast<std::uint32_t>(std::clamp<std::int32_t>(static_cast<std::int32_t>(x) + delta, 0, 255));
  };
  return MakeRgb(shade(RedOf(colour)), shade(GreenOf(colour)), shade(BlueOf(colour)));
}

}  // namespace qelvaro::grid
