#pragma once
// The drawing surface the grid paints on. Painting decides what goes where; the
// canvas only carries it out, so the decisions are tested natively against a
// recording canvas and the GDI canvas stays a thin translation.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "grid_types.h"

namespace qelvaro::grid {

// A resolved colour, 0x00BBGGRR (system colours already translated). 0xFFFFFFFF is
// the "could not translate" value, which painting passes on as it is.
using Rgb = std::uint32_t;
inline constexpr Rgb kBadColour = 0xFFFFFFFFu;

struct Rect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  std::int32_t width() const { return right - left; }
  std::int32_t height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
  std::int32_t cx = 0, cy = 0;
};

// DrawText flags the grid uses (the platform's own values).
namespace dt {
inline constexpr std::uint32_t Left = 0x0;
inline constexpr std::uint32_t Center = 0x1;
inline constexpr std::uint32_t Right = 0x2;
inline constexpr std::uint32_t VCenter = 0x4;
inline constexpr std::uint32_t Bottom = 0x8;
inline constexpr std::uint32_t WordBreak = 0x10;
inline constexpr std::uint32_t SingleLine = 0x20;
inline constexpr std::uint32_t CalcRect = 0x400;
inline constexpr std::uint32_t NoPrefix = 0x800;
inline constexpr std::uint32_t WordEllipsis = 0x40000;
}  // namespace dt

// Frame-control kinds and states (DrawFrameControl).
namespace dfc {
inline constexpr std::int32_t Button = 4;
inline constexpr std::uint32_t ButtonCheck = 0x0;
inline constexpr std::uint32_t ButtonPush = 0x10;
inline constexpr std::uint32_t Checked = 0x400;
inline constexpr std::uint32_t Pushed = 0x200;
inline constexpr std::uint32_t Hot = 0x1000;
inline constexpr std::uint32_t Flat = 0x4000;
}  // namespace dfc

// The font the canvas draws with: the grid's font with the cell's own attributes.
// The character set is the stored font's; a font stored without one is drawn with
// the platform's default character set.
struct CanvasFont {
  std::string name;
  float size = 8.25f;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  std::optional<std::int16_t> charset = std::nullopt;
  friend bool operator==(const CanvasFont&, const CanvasFont&) = default;
};

inline CanvasFont canvasFont(const GridFont& f) {
  return CanvasFont{f.name, f.size, f.bold, f.italic, f.underline, f.charset};
}

// The image list attached to the grid (row, cell and expand images). Images are
// numbered from 1; each may carry a key, by which a host names it instead.
class GridImageList {
 public:
  virtual ~GridImageList() = default;
  virtual std::int32_t ImageWidth() const = 0;
  virtual std::int32_t ImageHeight() const = 0;
  virtual std::int32_t Count() const = 0;

  // The keys of images 1, 2, ... in order; an empty key leaves its image without
  // one. Keys are compared exactly. More keys than images, or a key given twice,
  // is refused (invalid procedure call) and the keys stay as they were.
  void SetKeys(std::vector<std::string> keys);
  // The image a key names, none when no image has it.
  std::optional<std::int32_t> IndexOfKey(std::string_view key) const;
  // The key of an image (empty when it has none); error 9 when there is no such image.
  std::string Key(std::int32_t index) const;

 private:
  std::vector<std::string> keys_;
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void FillRect(const Rect& r, Rgb colour) = 0;
  virtual void FrameRect(const Rect& r, Rgb colour) = 0;
  virtual void Line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, Rgb colour,
                    std::int32_t width) = 0;
  virtual void Gradient(const Rect& r, Rgb from, Rgb to, bool vertical) = 0;
  // An unfilled rectangle outline drawn with a pen of the given width.
  virtual void Outline(const Rect& r, Rgb colour, std::int32_t penWidth) = 0;
  virtual void FocusRect(const Rect& r) = 0;

  virtual void SetFont(const CanvasFont& font) = 0;
  virtual void SetTextColour(Rgb colour) = 0;
  // Draws (or, with dt::CalcRect, measures) text; returns the rectangle the text
  // takes when measuring, the given one otherwise.
  virtual Rect DrawString(std::string_view text, const Rect& r, std::uint32_t flags) = 0;
  virtual Size TextExtent(std::string_view text) = 0;

  virtual void FrameControl(const Rect& r, std::int32_t kind, std::uint32_t state) = 0;
  // A part of the current visual style; false when no style is active (nothing drawn).
  virtual bool ThemePart(std::string_view themeClass, std::int32_t part, std::int32_t state, const Rect& r) = 0;
  // style 1 transparent, 2 selected look.
  virtual void Image(const GridImageList& list, std::int32_t index, std::int32_t x, std::int32_t y,
                     std::int32_t style) = 0;
  virtual void Picture(const GridPicture& picture, const Rect& r) = 0;

  virtual void ClipTo(const Rect& r) = 0;
  virtual void ClearClip() = 0;

  std::int32_t TextWidth(std::string_view text) { return TextExtent(text).cx; }
  std::int32_t TextHeight(std::string_view text) { return TextExtent(text).cy; }
};

}  // namespace qelvaro::grid
