#pragma once
// Colour arithmetic of the grid: OLE colours (system colours included) to RGB,
// blending and shading. Pure functions of their inputs.

#include <cstdint>

#include "canvas.h"
#include "grid_ports.h"
#include "grid_types.h"

namespace qelvaro::grid {

// OLE colours naming system colours.
namespace syscolour {
inline constexpr Colour Window = 0x80000005u;
inline constexpr Colour WindowText = 0x80000008u;
inline constexpr Colour AppWorkspace = 0x8000000Cu;
inline constexpr Colour BtnFace = 0x8000000Fu;
inline constexpr Colour BtnText = 0x80000012u;
inline constexpr Colour DkShadow3D = 0x80000015u;
inline constexpr Colour Light3D = 0x80000016u;
inline constexpr Colour InfoBk = 0x80000018u;
}  // namespace syscolour

inline constexpr Colour MakeRgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | (g << 8) | (b << 16); }
inline constexpr std::uint32_t RedOf(Rgb c) { return c & 0xFF; }
inline constexpr std::uint32_t GreenOf(Rgb c) { return (c >> 8) & 0xFF; }
inline constexpr std::uint32_t BlueOf(Rgb c) { return (c >> 16) & 0xFF; }

// An OLE colour as RGB: plain colours as they are, system colours (0x800000nn with a
// known index) through the platform; anything else cannot be translated (kBadColour).
Rgb TranslateColor(Colour colour, const GridPlatform& platform);

// Per channel round((a * alpha + b * (255 - alpha)) / 255).
Rgb BlendColor(Rgb a, Rgb b, std::int32_t alpha);

// Adds delta to each channel, clamped to 0..255.
Rgb ShadeColor(Rgb colour, std::int32_t delta);

}  // namespace qelvaro::grid
