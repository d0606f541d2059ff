#include "recording_canvas.h"

#include <algorithm>

namespace qelvaro::grid {

namespace {
CanvasOp op(CanvasOp::Kind kind, const Rect& r) {
  CanvasOp o;
  o.kind = kind;
  o.rect = r;
  return o;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n') {
      std::string_view line = text.substr(start, i - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines.push_back(line);
      start = i + 1;
    }
  }
  return lines;
}
}  // namespace

std::int32_t RecordingCanvas::lineWidth(std::string_view line) const {
  std::int32_t chars = 0;
  for (unsigned char ch : line)
    if ((ch & 0xC0) != 0x80) ++chars;
  return chars * charWidth;
}

void RecordingCanvas::FillRect(const Rect& r, Rgb colour) {
  CanvasOp o = op(CanvasOp::Fill, r);
  o.colour = colour;
  ops.push_back(o);
}

void RecordingCanvas::FrameRect(const Rect& r, Rgb colour) {
  CanvasOp o = op(CanvasOp::Frame, r);
  o.colour = colour;
  ops.push_back(o);
}

void RecordingCanvas::Line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, Rgb colour,
                           std::int32_t width) {
  CanvasOp o = op(CanvasOp::Line, Rect{x1, y1, x2, y2});
  o.colour = colour;
  o.width = width;
  ops.push_back(o);
}

void RecordingCanvas::Gradient(const Rect& r, Rgb from, Rgb to, bool vertical) {
  CanvasOp o = op(CanvasOp::Gradient, r);
  o.colour = from;
  o.colour2 = to;
  o.vertical = vertical;
  ops.push_back(o);
}

void RecordingCanvas::Outline(const Rect& r, Rgb colour, std::int32_t penWidth) {
  CanvasOp o = op(CanvasOp::Outline, r);
  o.colour = colour;
  o.width = penWidth;
  ops.push_back(o);
}

void RecordingCanvas::FocusRect(const Rect& r) { ops.push_back(op(CanvasOp::Focus, r)); }

Rect RecordingCanvas::DrawString(std::string_view text, const Rect& r, std::uint32_t flags) {
  if (flags & dt::CalcRect) {
    if (text.empty()) return Rect{r.left, r.top, r.left, r.top};
    const std::int32_t lh = lineHeight(font_);
    std::int32_t lines = 0, widest = 0;
    const auto all = (flags & dt::SingleLine) ? std::vector<std::string_view>{text} : splitLines(text);
    for (std::string_view line : all) {
      const std::int32_t w = lineWidth(line);
      const std::int32_t avail = r.width();
      if ((flags & dt::WordBreak) && avail > 0 && w > avail) {
        lines += (w + avail - 1) / avail;
        widest = std::max(widest, avail);
      } else {
        lines += 1;
        widest = std::max(widest, w);
      }
    }
    return Rect{r.left, r.top, r.left + widest, r.top + lines * lh};
  }
  CanvasOp o = op(CanvasOp::Text, r);
  o.text = std::string(text);
  o.flags = flags;
  o.font = font_;
  o.textColour = textColour_;
  ops.push_back(o);
  return r;
}

Size RecordingCanvas::TextExtent(std::string_view text) {
  std::int32_t widest = 0, lines = 0;
  for (std::string_view line : splitLines(text)) {
    widest = std::max(widest, lineWidth(line));
    ++lines;
  }
  return Size{widest, std::max(lines, 1) * lineHeight(font_)};
}

void RecordingCanvas::FrameControl(const Rect& r, std::int32_t kind, std::uint32_t state) {
  CanvasOp o = op(CanvasOp::FrameControl, r);
  o.part = kind;
  o.flags = state;
  ops.push_back(o);
}

bool RecordingCanvas::ThemePart(std::string_view themeClass, std::int32_t part, std::int32_t state, const Rect& r) {
  if (!themed) return false;
  CanvasOp o = op(CanvasOp::ThemePart, r);
  o.text = std::string(themeClass);
  o.part = part;
  o.flags = static_cast<std::uint32_t>(state);
  ops.push_back(o);
  return true;
}

void RecordingCanvas::Image(const GridImageList&, std::int32_t index, std::int32_t x, std::int32_t y,
                            std::int32_t style) {
  CanvasOp o = op(CanvasOp::Image, Rect{x, y, x, y});
  o.part = index;
  o.flags = static_cast<std::uint32_t>(style);
  ops.push_back(o);
}

void RecordingCanvas::Picture(const GridPicture&, const Rect& r) { ops.push_back(op(CanvasOp::Picture, r)); }

void RecordingCanvas::ClipTo(const Rect& r) { ops.push_back(op(CanvasOp::Clip, r)); }

void RecordingCanvas::ClearClip() { ops.push_back(op(CanvasOp::Unclip, Rect{})); }

std::vector<CanvasOp> RecordingCanvas::of(CanvasOp::Kind kind) const {
  std::vector<CanvasOp> out;
  for (const CanvasOp& o : ops)
    if (o.kind == kind) out.push_back(o);
  return out;
}

std::vector<CanvasOp> RecordingCanvas::texts(std::string_view text) const {
  std::vector<CanvasOp> out;
  for (const CanvasOp& o : ops)
    if (o.kind == CanvasOp::Text && o.text == text) out.push_back(o);
  return out;
}

}  // namespace qelvaro::grid
