// Colour schemes, header looks and the theme-change reaction.
#include <cmath>

#include "grid_display.h"
#include "grid_error.h"

namespace qelvaro::grid {

namespace {

struct Scheme {
  Colour from, to, backBkg, backSel, foreSel, focusRect;
};

constexpr Scheme kSchemes[5] = {
    {MakeRgb(203, 225, 252), MakeRgb(125, 165, 224), syscolour::AppWorkspace, MakeRgb(49, 106, 197),
     MakeRgb(255, 255, 255), MakeRgb(254, 255, 150)},
    {MakeRgb(244, 244, 251), MakeRgb(130, 130, 146), syscolour::AppWorkspace, MakeRgb(178, 180, 191),
     MakeRgb(0, 0, 0), MakeRgb(57, 61, 67)},
    {MakeRgb(247, 249, 225), MakeRgb(139, 161, 105), syscolour::AppWorkspace, MakeRgb(147, 160, 112),
     MakeRgb(255, 255, 255), MakeRgb(254, 255, 150)},
    {MakeRgb(248, 248, 242), MakeRgb(150, 159, 124), MakeRgb(106, 125, 106), MakeRgb(119, 138, 119),
     MakeRgb(247, 249, 225), MakeRgb(254, 255, 150)},
    {MakeRgb(255, 239, 165), MakeRgb(160, 134, 73), MakeRgb(102, 76, 15), MakeRgb(142, 116, 55),
     MakeRgb(249, 238, 225), MakeRgb(254, 255, 150)},
};

std::int32_t roundEven(double v) { return static_cast<std::int32_t>(std::nearbyint(v)); }

}  // namespace

void GridDisplay::setSchemeColour(void (CellGrid::*setter)(Colour), Colour value) { (grid_->*setter)(value); }

void GridDisplay::SetDefaultThemeColor(std::int32_t index) {
  if (index < 0 || index > 4) return;
  const Scheme& s = kSchemes[index];
  grid_->SuspendDrawing();
  try {
    gradientFrom_ = s.from;
    gradientTo_ = s.to;
    setSchemeColour(&CellGrid::SetBackColorBkg, s.backBkg);
    setSchemeColour(&CellGrid::SetBackColorSel, s.backSel);
    setSchemeColour(&CellGrid::SetForeColorSel, s.foreSel);
    setSchemeColour(&CellGrid::SetFocusRectColor, s.focusRect);
    setSchemeColour(&CellGrid::SetBackColor, syscolour::Window);
    setSchemeColour(&CellGrid::SetForeColor, syscolour::WindowText);
    setSchemeColour(&CellGrid::SetGridColor, ShadeColor(s.to, 25));
    if (grid_->FocusRowHighlightStyle() != 0) setSchemeColour(&CellGrid::SetForeColorSel, syscolour::WindowText);
  } catch (const GridError&) {
    // A scheme half set stays half set; the colours already assigned are kept.
  }
  grid_->RestoreDrawing();
}

void GridDisplay::DetectThemeColor() {
  std::optional<std::string> name;
  if (platform_.StylesAvailable()) name = platform_.ThemeColourName();
  styleColourName_ = name ? *name : std::string("Classic");
  if (!platform_.StylesAvailable() || !platform_.AppThemed()) return;
  std::int32_t scheme = 0;
  if (styleColourName_ == "Metallic") scheme = 1;
  else if (styleColourName_ == "HomeStead") scheme = 2;
  SetDefaultThemeColor(scheme);
}

void GridDisplay::ApplyThemeColor() {
  if (!grid_) return;
  if (grid_->ThemeColor() == 6) DetectThemeColor();
  else SetDefaultThemeColor(grid_->ThemeColor());
}

void GridDisplay::LoadThemeFromProperties() {
  gradientFrom_ = grid_->ThemeCustomColorFrom();
  gradientTo_ = grid_->ThemeCustomColorTo();
  ApplyThemeColor();
}

Colour GridDisplay::GradientFrom() const {
  return grid_ && grid_->ThemeColor() == 5 ? grid_->ThemeCustomColorFrom() : gradientFrom_;
}

Colour GridDisplay::GradientTo() const {
  return grid_ && grid_->ThemeColor() == 5 ? grid_->ThemeCustomColorTo() : gradientTo_;
}

void GridDisplay::OnThemeChanged() {
  host_->ThemeChanged();
  ApplyThemeColor();
  if (grid_->Drawing()) DrawGrid(true, false);
}

// ---------------------------------------------------------------- header looks

Rgb GridDisplay::HeaderFillColour() const {
  const std::int32_t style = grid_->ThemeStyle();
  if (style == 3 || style == 5) return BlendColor(Translate(GradientFrom()), Translate(GradientTo()), 128);
  if (style == 6) return ShadeColor(Translate(GradientTo()), 50);
  return Translate(syscolour::BtnFace);
}

void GridDisplay::DrawHeaderBackground(Canvas& c, const Rect& r, std::int32_t state, bool caption) {
  if (caption) state = 1;
  switch (grid_->ThemeStyle()) {
    case 1: c.FrameControl(r, dfc::Button, state == 2 ? 0x1010 : state == 3 ? 0x210 : 0x4010); break;
    case 2:
      if (!(platform_.StylesAvailable() && c.ThemePart("Header", 1, state, r))) drawPaintedLook(c, r, state, false);
      break;
    case 3: drawTwoColourLook(c, r, state); break;
    case 4: drawPaintedLook(c, r, state, false); break;
    case 5: drawPaintedLook(c, r, state, true); break;
    case 6:
    case 7: drawGlassLook(c, r, state, caption); break;
    default: c.FrameControl(r, dfc::Button, state == 2 ? 0x1010 : state == 3 ? 0x210 : 0x10); break;
  }
}

void GridDisplay::drawPaintedLook(Canvas& c, const Rect& r, std::int32_t state, bool custom) {
  const Rgb white = MakeRgb(255, 255, 255);
  Rgb fill, l1, l2, l3, separator = MakeRgb(172, 168, 153), left = white;
  std::int32_t x1 = r.left, x2 = r.right;
  if (state == 2) {
    fill = MakeRgb(250, 248, 243);
    l1 = MakeRgb(249, 177, 25), l2 = MakeRgb(252, 194, 71), l3 = MakeRgb(248, 169, 0);
    x1 = r.left + 2, x2 = r.right - 2;
  } else if (state == 3) {
    fill = Translate(syscolour::Light3D);
    l1 = MakeRgb(250, 210, 125), l2 = MakeRgb(252, 228, 177), l3 = MakeRgb(247, 200, 99);
    separator = MakeRgb(128, 124, 113);
    left = MakeRgb(204, 204, 204);
  } else if (custom) {
    const Rgb from = Translate(GradientFrom()), to = Translate(GradientTo());
    fill = BlendColor(from, to, 128);
    l1 = to, l2 = BlendColor(from, to, 128), l3 = BlendColor(MakeRgb(172, 168, 153), to, 128);
  } else {
    fill = Translate(syscolour::BtnFace);
    l1 = MakeRgb(197, 194, 178), l2 = MakeRgb(210, 207, 190), l3 = MakeRgb(220, 216, 200);
  }
  c.FillRect(r, fill);
  c.Line(x1, r.bottom - 1, x2, r.bottom - 1, l1, 1);
  c.Line(x1, r.bottom - 2, x2, r.bottom - 2, l2, 1);
  c.Line(x1, r.bottom - 3, x2, r.bottom - 3, l3, 1);
  c.Line(r.right - 2, r.top + 2, r.right - 2, r.bottom - 4, separator, 1);
  c.Line(r.left, r.top + 3, r.left, r.bottom - 3, left, 1);
}

void GridDisplay::drawTwoColourLook(Canvas& c, const Rect& r, std::int32_t state) {
  const Rgb white = MakeRgb(255, 255, 255);
  if (state == 1) {
    const Rgb from = Translate(GradientFrom()), to = Translate(GradientTo());
    c.Gradient(r, from, to, true);
    c.Line(r.left, r.top, r.right, r.top, from, 1);
    c.Line(r.left, r.bottom - 1, r.right, r.bottom - 1, from, 1);
    c.Line(r.right - 2, r.top + 2, r.right - 2, r.bottom - 4, to, 1);
  } else {
    const Rect s{r.left, r.top, r.right - 1, r.bottom};
    const Rgb line = MakeRgb(59, 97, 156);
    if (state == 2) c.Gradient(s, MakeRgb(255, 255, 220), MakeRgb(247, 192, 91), true);
    else c.Gradient(s, MakeRgb(232, 127, 8), MakeRgb(247, 218, 124), true);
    c.Line(s.left, s.top, s.right, s.top, line, 1);
    c.Line(s.left, s.bottom - 1, s.right, s.bottom - 1, line, 1);
  }
  c.Line(r.left, r.top + 3, r.left, r.bottom - 3, white, 1);
}

void GridDisplay::drawGlassLook(Canvas& c, const Rect& r, std::int32_t state, bool caption) {
  const bool style7 = grid_->ThemeStyle() == 7;
  const Rgb face = Translate(syscolour::BtnFace);
  const Rgb cc = style7 ? ShadeColor(face, -20) : Translate(GradientTo());
  const Rgb d = style7 ? ShadeColor(face, -25) : ShadeColor(cc, -5);
  const Rgb p = style7 ? MakeRgb(204, 239, 251) : Translate(GradientFrom());
  const Rgb q = style7 ? MakeRgb(124, 201, 230) : ShadeColor(p, -5);
  const std::int32_t L = r.left, T = r.top, R = r.right, B = r.bottom;
  if (caption) {
    c.Gradient(r, ShadeColor(cc, 40), cc, true);
    c.Line(L + 2, B - 1, R - 2, B - 1, cc, 1);
    return;
  }
  if (state == 1) {
    const std::int32_t g = roundEven(B * 0.12);
    c.Gradient(Rect{L, T, R, T + g}, ShadeColor(cc, 30), cc, true);
    c.Gradient(Rect{L, T + g, R, B - g}, cc, ShadeColor(d, 30), true);
    c.Gradient(Rect{L, B - g, R, B}, ShadeColor(d, 30), d, true);
    if (style7) c.Line(L + 2, B - 1, R - 2, B - 1, MakeRgb(191, 191, 191), 1);
    c.Line(R - 2, T + 2, R - 2, B - 4, d, 1);
    c.Line(L, T + 3, L, B - 3, MakeRgb(255, 255, 255), 1);
    return;
  }
  const std::int32_t g = roundEven(B * 0.28);
  if (state == 2) {
    c.Gradient(Rect{L, T, R - 1, B - g}, ShadeColor(p, 15), ShadeColor(p, 5), true);
    c.Gradient(Rect{L, T + g, R - 1, B}, p, ShadeColor(q, 30), true);
  } else {
    c.Gradient(Rect{L, T, R - 1, B - g}, p, ShadeColor(p, -10), true);
    c.Gradient(Rect{L, T + g, R - 1, B - 5}, p, ShadeColor(q, 10), true);
    c.Gradient(Rect{L, B - 5, R - 1, B}, ShadeColor(q, 10), q, true);
  }
  c.FrameRect(r, Translate(GradientTo()));
}

}  // namespace qelvaro::grid
