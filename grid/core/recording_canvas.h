#pragma once
// A canvas that draws nothing and remembers every call, with simple fixed text
// metrics, so that painting can be checked call by call without a window system.

#include <functional>
#include <string>
#include <vector>

#include "canvas.h"

namespace qelvaro::grid {

struct CanvasOp {
  enum Kind { Fill, Frame, Line, Gradient, Outline, Focus, Text, FrameControl, ThemePart, Image, Picture, Clip, Unclip };
  Kind kind = Fill;
  Rect rect;
  Rgb colour = 0;
  Rgb colour2 = 0;       // gradient end colour
  bool vertical = false; // gradient direction
  std::int32_t width = 0;  // pen width
  std::uint32_t flags = 0; // text flags, frame-control state, theme state
  std::int32_t part = 0;   // theme part, frame-control kind, image index, image style
  std::string text;        // text, theme class
  CanvasFont font;
  Rgb textColour = 0;
};

class RecordingCanvas : public Canvas {
 public:
  std::vector<CanvasOp> ops;
  // Text metrics: width of one character (UTF-8 aware) and line height per font.
  std::int32_t charWidth = 7;
  std::function<std::int32_t(const CanvasFont&)> lineHeight = [](const CanvasFont&) { return 13; };
  // Whether theme parts draw (a visual style is active).
  bool themed = false;

  void FillRect(const Rect& r, Rgb colour) override;
  void FrameRect(const Rect& r, Rgb colour) override;
  void Line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, Rgb colour, std::int32_t width) override;
  void Gradient(const Rect& r, Rgb from, Rgb to, bool vertical) override;
  void Outline(const Rect& r, Rgb colour, std::int32_t penWidth) override;
  void FocusRect(const Rect& r) override;
  void SetFont(const CanvasFont& font) override { font_ = font; }
  void SetTextColour(Rgb colour) override { textColour_ = colour; }
  Rect DrawString(std::string_view text, const Rect& r, std::uint32_t flags) override;
  Size TextExtent(std::string_view text) override;
  void FrameControl(const Rect& r, std::int32_t kind, std::uint32_t state) override;
  bool ThemePart(std::string_view themeClass, std::int32_t part, std::int32_t state, const Rect& r) override;
  void Image(const GridImageList& list, std::int32_t index, std::int32_t x, std::int32_t y, std::int32_t style) override;
  void Picture(const GridPicture& picture, const Rect& r) override;
  void ClipTo(const Rect& r) override;
  void ClearClip() override;

  const CanvasFont& font() const { return font_; }
  void clear() { ops.clear(); }
  // Calls of one kind, in order.
  std::vector<CanvasOp> of(CanvasOp::Kind kind) const;
  // Text calls (not measurements) whose text equals `text`.
  std::vector<CanvasOp> texts(std::string_view text) const;

 private:
  std::int32_t lineWidth(std::string_view line) const;
  CanvasFont font_;
  Rgb textColour_ = 0;
};

}  // namespace qelvaro::grid
