#pragma once
// What the grid's geometry, painting and themes need from the window system,
// besides the canvas: the system's colours and metrics, the visual style, the two
// scroll bars of the grid's window and the off-screen surface painting draws on.
// The Win32 side implements them; tests use doubles.

#include <cstdint>
#include <optional>
#include <string>

#include "canvas.h"

namespace qelvaro::grid {

class GridPlatform {
 public:
  virtual ~GridPlatform() = default;

  // GetSysColor of a system colour index (COLOR_WINDOW = 5, ...).
  virtual Rgb SystemColour(std::int32_t index) const = 0;
  // Windows XP or later: visual-style functions may be called at all.
  virtual bool StylesAvailable() const = 0;
  // IsAppThemed (false when it fails).
  virtual bool AppThemed() const = 0;
  // The colour variant of the current visual style ("NormalColor", "Metallic",
  // "HomeStead"); empty when no theme data opens for the window.
  virtual std::optional<std::string> ThemeColourName() const = 0;
  // GetSystemMetrics(SM_CXBORDER) and (SM_CXHTHUMB).
  virtual std::int32_t BorderMetric() const = 0;
  virtual std::int32_t ThumbMetric() const = 0;
  // Twips per pixel from the real resolution of the screen (1440 / dots per inch).
  virtual double TwipsPerPixelX() const = 0;
  virtual double TwipsPerPixelY() const = 0;
  // One pass of the message loop.
  virtual void DoEvents() = 0;
};

struct ScrollInfo {
  std::int32_t nMin = 0, nMax = 0, nPage = 0, nPos = 0, nTrackPos = 0;
};

namespace sif {
inline constexpr std::uint32_t Range = 0x1;
inline constexpr std::uint32_t Page = 0x2;
inline constexpr std::uint32_t Pos = 0x4;
inline constexpr std::uint32_t TrackPos = 0x10;
inline constexpr std::uint32_t All = 0x17;
}  // namespace sif

// The scroll-bar functions of one window, in their standard and their flat
// (common controls) forms. Bar 0 is horizontal, 1 vertical.
class ScrollBarPort {
 public:
  virtual ~ScrollBarPort() = default;
  virtual bool Attached() const = 0;
  virtual bool GetInfo(bool flat, std::int32_t bar, ScrollInfo& info, std::uint32_t mask) = 0;
  virtual void SetInfo(bool flat, std::int32_t bar, const ScrollInfo& info, std::uint32_t mask) = 0;
  virtual void Show(bool flat, std::int32_t bar, bool show) = 0;
  // InitializeFlatSB; false when the flat bars cannot be used.
  virtual bool InitFlat() = 0;
  virtual void UninitFlat() = 0;
  // FlatSB_SetScrollProp(property, value).
  virtual void SetFlatProp(std::int32_t property, std::int32_t value) = 0;
};

// The grid's persistent off-screen image. Painting draws the whole visible grid on
// it and then shows it once.
class GridSurface {
 public:
  virtual ~GridSurface() = default;
  // Client size in pixels (ScaleWidth, ScaleHeight).
  virtual Size ClientSize() const = 0;
  // Outer size of the control in pixels, border and scroll bars included.
  virtual Size WindowSize() const = 0;
  // The canvas drawing onto the off-screen image; also used for measuring text.
  virtual grid::Canvas& DrawingCanvas() = 0;
  // Puts the drawn image on screen.
  virtual void Show() = 0;
  // The window's frame: BorderStyle 0 none, 1 a single border, drawn flat
  // (Appearance 0) or sunken (Appearance 1).
  virtual void SetFrame(std::int32_t borderStyle, std::int32_t appearance) = 0;
  // A disabled window gets no mouse or keyboard input at all.
  virtual void SetEnabled(bool enabled) = 0;
};

}  // namespace qelvaro::grid
