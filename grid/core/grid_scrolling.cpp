// The scroll-bar wrapper, scroll ranges, scroll messages and the property lets
// whose effect is on scrolling.
#include <algorithm>
#include <cmath>

#include "grid_display.h"
#include "grid_error.h"

namespace qelvaro::grid {

namespace {
constexpr std::int32_t kFlatHStyle = 0x200;  // WSB_PROP_HSTYLE
constexpr std::int32_t kFlatVStyle = 0x100;  // WSB_PROP_VSTYLE
constexpr std::int32_t kKeyDown = 40;

std::int16_t lowWord(std::uint32_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }
}  // namespace

ScrollRequest ScrollRequestFromScrollMessage(bool vertical, std::uint32_t wParam) {
  return ScrollRequest{vertical ? sb::Vert : sb::Horz, static_cast<std::int32_t>(lowWord(wParam)), 1};
}

ScrollRequest ScrollRequestFromWheel(std::uint32_t wParam) {
  ScrollRequest r;
  r.bar = (wParam & 0x8) ? sb::Horz : sb::Vert;  // MK_CONTROL
  r.code = static_cast<std::int32_t>(wParam) >= 0 ? sb::LineUp : sb::LineDown;
  r.step = 3;
  return r;
}

// ---------------------------------------------------------------- wrapper

void ScrollBarWrapper::Attach(bool standardWanted, std::int32_t scrollBars) {
  Detach();
  if (!port_.Attached()) return;
  standard_ = standardWanted || !port_.InitFlat();
  flatInitialised_ = !standard_;
  if (!standard_) {
    if (scrollBars == 0 || scrollBars == 2) port_.SetFlatProp(kFlatHStyle, flatStyle_);
    if (scrollBars == 1 || scrollBars == 2) port_.SetFlatProp(kFlatVStyle, flatStyle_);
  }
}

void ScrollBarWrapper::Detach() {
  if (flatInitialised_) port_.UninitFlat();
  flatInitialised_ = false;
}

bool ScrollBarWrapper::GetInfo(std::int32_t bar, ScrollInfo& info, std::uint32_t mask) {
  if (!port_.Attached()) return false;
  return port_.GetInfo(flat(), bar, info, mask);
}

void ScrollBarWrapper::SetInfo(std::int32_t bar, const ScrollInfo& info, std::uint32_t mask) {
  if (port_.Attached()) port_.SetInfo(flat(), bar, info, mask);
}

std::int32_t ScrollBarWrapper::Min(std::int32_t bar) {
  ScrollInfo i;
  return GetInfo(bar, i, sif::Range) ? i.nMin : 0;
}

std::int32_t ScrollBarWrapper::Max(std::int32_t bar) {
  ScrollInfo i;
  return GetInfo(bar, i, sif::Range | sif::Page) ? i.nMax : 0;
}

std::int32_t ScrollBarWrapper::Value(std::int32_t bar) {
  ScrollInfo i;
  return GetInfo(bar, i, sif::Pos) ? i.nPos : 0;
}

// Setting what a bar already holds would only redraw it, which costs as much as a
// repaint of the grid under some systems; a refresh sets both ranges every time.
void ScrollBarWrapper::SetMax(std::int32_t bar, std::int32_t max) {
  ScrollInfo i;
  const bool known = GetInfo(bar, i, sif::All);
  const std::int32_t wanted = std::max(max + i.nPage, i.nMin);
  if (known && wanted == i.nMax) return;
  i.nMax = wanted;
  SetInfo(bar, i, sif::Range);
}

void ScrollBarWrapper::WriteValue(std::int32_t bar, std::int32_t value) {
  ScrollInfo i;
  GetInfo(bar, i, sif::Pos);
  if (i.nPos == value) return;
  i.nPos = value;
  SetInfo(bar, i, sif::Pos);
}

void ScrollBarWrapper::Show(std::int32_t bar, bool show) {
  visible_[bar & 1] = show;
  if (port_.Attached()) port_.Show(flat(), bar, show);
}

std::int32_t ScrollBarWrapper::LargeChange(std::int32_t bar) {
  ScrollInfo i;
  return GetInfo(bar, i, sif::Page) ? i.nPage : 0;
}

void ScrollBarWrapper::SetLargeChange(std::int32_t bar, std::int32_t page) {
  // A window that has no bar yet has no information either: start from an empty range.
  ScrollInfo i;
  if (!port_.Attached()) return;
  const bool known = GetInfo(bar, i, sif::All);
  if (!known) i = ScrollInfo{};
  else if (i.nPage == page) return;
  i.nMax = i.nMax - i.nPage + page;
  i.nPage = page;
  SetInfo(bar, i, sif::Range | sif::Page);
}

// ---------------------------------------------------------------- ranges

void GridDisplay::Refresh() {
  if (!grid_) return;
  CalcRowMetrics();
  UpdateScrollBars();
  DrawGrid(true, false);
}

void GridDisplay::UpdateScrollBars() {
  if (!grid_) return;
  if (grid_->Rows() == 0) {
    bars_.Show(sb::Horz, false);
    bars_.Show(sb::Vert, false);
    return;
  }
  if (!bars_.Attached()) return;
  const Size client = surface_.ClientSize();

  std::int64_t w = 0;
  for (std::int32_t col = 0; col < grid_->Cols(); ++col)
    if (grid_->ColVisible(col)) w += grid_->Column(col).PixelWidth;
  const std::int32_t lastCol = grid_->Cols() - 1;
  bool wantH;
  if (client.cx < w) {
    bars_.SetMax(sb::Horz, lastCol - 1);
    wantH = true;
  } else {
    bars_.SetMax(sb::Horz, lastCol);
    // Frozen columns hold the value at FreezeAtCol + 1 without the grid being scrolled.
    wantH = bars_.Value(sb::Horz) > std::max(bars_.Min(sb::Horz), grid_->FreezeAtCol() + 1);
  }

  const std::int32_t lastRow = grid_->Rows() - 1;
  Canvas& c = surface_.DrawingCanvas();
  // Only whether the rows overflow the window matters, so the walk stops there: a
  // refresh of a big grid then costs what the rows in view cost, not the whole grid.
  std::int64_t h = m_.HeaderHeight + c.TextHeight("ABCDWXYZ");
  for (std::int32_t r = 0; r <= lastRow && h <= client.cy; ++r) {
    const GridRow& record = grid_->RowRecord(r);
    if (record.Visible) h += record.Height;
  }
  bool wantV;
  if (client.cy < h) {
    std::int64_t sum = m_.HeaderHeight;
    std::int32_t fit = 0;
    for (std::int32_t r = lastRow; r >= 0; --r) {
      const GridRow& record = grid_->RowRecord(r);
      if (!record.Visible) continue;
      sum += record.Height;
      if (sum > client.cy) break;
      ++fit;
    }
    bars_.SetMax(sb::Vert, lastRow - fit + (grid_->TotalsLineShow() ? 2 : 0));
    wantV = true;
  } else {
    bars_.SetMax(sb::Vert, lastRow);
    bars_.WriteValue(sb::Vert, 0);
    wantV = false;
  }

  const std::int32_t bars = grid_->ScrollBars();
  bars_.Show(sb::Horz, (bars == 0 || bars == 2) && wantH);
  bars_.Show(sb::Vert, (bars == 1 || bars == 2) && wantV);
}

void GridDisplay::SBSetValue(std::int32_t bar, std::int32_t value) {
  if (!bars_.Visible(bar)) return;
  if (bar == sb::Horz && grid_->FreezeAtCol() >= value) return;
  bars_.WriteValue(bar, value);
}

void GridDisplay::ApplyFreezeRule() {
  if (!grid_) return;
  const std::int32_t freeze = grid_->FreezeAtCol();
  if (bars_.Attached() && bars_.Value(sb::Horz) < freeze + 1) bars_.WriteValue(sb::Horz, freeze + 1);
}

bool GridDisplay::OnScroll(const ScrollRequest& request) {
  if (!grid_) return false;
  lastKey_ = 0;
  const std::int32_t beforeH = bars_.Value(sb::Horz);
  const std::int32_t beforeV = bars_.Value(sb::Vert);
  HideToolTip();

  const std::int32_t bar = request.bar;
  const bool vertical = bar == sb::Vert;
  const std::int32_t value = vertical ? beforeV : beforeH;
  bool redraw = true;
  switch (request.code) {
    case sb::LineUp: {
      if (!bars_.Visible(bar)) break;
      std::int32_t v = vertical ? PrevRowFrom(value, request.step, 0xFFFF) : PrevColFrom(value, false);
      if (v > value) v = 0;
      SBSetValue(bar, std::max(v, bars_.Min(bar)));
      break;
    }
    case sb::LineDown: {
      if (!bars_.Visible(bar)) break;
      std::int32_t v = vertical ? NextRowFrom(value, request.step, 0xFFFF) : NextColFrom(value, false);
      if (v <= value) v = bars_.Max(bar);
      SBSetValue(bar, std::min(v, bars_.Max(bar)));
      break;
    }
    case sb::PageUp: SBSetValue(bar, value - bars_.LargeChange(bar)); break;
    case sb::PageDown: SBSetValue(bar, value + bars_.LargeChange(bar)); break;
    case sb::ThumbTrack: {
      ScrollInfo info;
      bars_.GetInfo(bar, info, sif::TrackPos);
      SBSetValue(bar, info.nTrackPos);
      redraw = grid_->ScrollTrack();
      break;
    }
    case sb::Top: SBSetValue(bar, bars_.Min(bar)); break;
    case sb::Bottom: SBSetValue(bar, bars_.Max(bar)); break;
    case sb::EndScroll:
      if (!grid_->ScrollTrack()) DrawGrid(grid_->Drawing(), false);
      break;
    default: break;  // SB_THUMBPOSITION changes nothing
  }

  if (bars_.Value(sb::Horz) == beforeH && bars_.Value(sb::Vert) == beforeV) return false;
  grid_->UpdateCell(false);
  if (redraw) DrawGrid(grid_->Drawing(), false);
  else paintPending_ = true;
  host_->Scroll();
  return true;
}

void GridDisplay::EnsureRowVisible(std::int32_t row) {
  if (!grid_ || row < 0 || row >= grid_->Rows()) return;
  if (row >= rowFirstVisible_ && row <= rowLastVisible_ && rowLastVisible_ >= 0) return;
  std::int32_t target = row;
  if (row > rowLastVisible_ && rowLastVisible_ >= 0) {
    // Bring the row in at the bottom: walk back while the rows above still fit.
    const std::int32_t available = surface_.ClientSize().cy - m_.HeaderHeight;
    std::int32_t used = grid_->RowRecord(row).Height;
    for (std::int32_t r = row - 1; r >= 0; --r) {
      const GridRow& record = grid_->RowRecord(r);
      if (!record.Visible) continue;
      if (used + record.Height > available) break;
      used += record.Height;
      target = r;
    }
  }
  bars_.WriteValue(sb::Vert, target);
  rowFirstVisible_ = bars_.Attached() ? bars_.Value(sb::Vert) : target;
}

void GridDisplay::ScrollRowToTop(std::int32_t row) {
  if (!grid_ || row < 0 || row >= grid_->Rows() || !bars_.Visible(sb::Vert)) return;
  bars_.WriteValue(sb::Vert, row);
  rowFirstVisible_ = bars_.Attached() ? bars_.Value(sb::Vert) : row;
}

void GridDisplay::keepCurrentRowInView() {
  if (!(grid_->AllowWordWrap() || grid_->AllowRowResizing())) return;
  const std::int32_t current = grid_->Row();
  if (current <= 0 || lastKey_ != kKeyDown || current < rowFirstVisible_) return;
  const double px = VisibleHeight() / platform_.TwipsPerPixelY();
  std::int32_t available = static_cast<std::int32_t>(std::nearbyint(px)) - m_.HeaderHeight;
  if (grid_->TotalsLineShow()) available -= m_.RowHeightDefault;
  if (m_.RowHeightDefault <= 0) return;
  std::int32_t units = 0;  // in default rows
  for (std::int32_t r = rowFirstVisible_; r <= current && r < grid_->Rows(); ++r) {
    const GridRow& record = grid_->RowRecord(r);
    if (record.Visible) units += static_cast<std::int32_t>(std::nearbyint(static_cast<double>(record.Height) / m_.RowHeightDefault));
  }
  const std::int32_t fits = available / m_.RowHeightDefault;
  if (units > fits) {
    rowFirstVisible_ = std::min(rowFirstVisible_ + (units - fits), current);
    bars_.WriteValue(sb::Vert, rowFirstVisible_);
  }
}

// ---------------------------------------------------------------- lifecycle and lets

void GridDisplay::Site() {
  sited_ = true;
  bars_.SetFlatStyle(1);
  bars_.Attach(grid_->ScrollBarStyle() == 1, grid_->ScrollBars());
  bars_.SetLargeChange(sb::Horz, 5);
  bars_.SetLargeChange(sb::Vert, 5);
  // Setting the page may have shown a bar; rows decide that (UpdateScrollBars).
  bars_.Show(sb::Horz, false);
  bars_.Show(sb::Vert, false);
  LoadThemeFromProperties();
}

void GridDisplay::Unsite() {
  bars_.Detach();
  sited_ = false;
}

void GridDisplay::Resize() {
  if (!grid_ || !bars_.Attached()) return;
  if (grid_->Row() >= 0) bars_.WriteValue(sb::Vert, grid_->Row());
  else if (grid_->Rows() > 0) bars_.WriteValue(sb::Vert, 0);
  Refresh();
}

void GridDisplay::FrameChanged() {
  if (!grid_) return;
  surface_.SetFrame(grid_->BorderStyle(), grid_->Appearance());
  surface_.SetEnabled(grid_->Enabled());
}

void GridDisplay::PropertiesLoaded() {
  if (!grid_) return;
  LoadThemeFromProperties();
  if (sited_) {
    // Attached again in the loaded style; the rows decide when they show.
    bars_.Show(sb::Horz, false);
    bars_.Show(sb::Vert, false);
    bars_.Attach(grid_->ScrollBarStyle() == 1, grid_->ScrollBars());
  }
  CalcRowMetrics();
  FrameChanged();
}

void GridDisplay::ScrollBarStyleChanged() {
  // At design time no bars are driven; Site attaches them with the stored style.
  if (!sited_ || !grid_) return;
  bars_.Show(sb::Horz, false);
  bars_.Show(sb::Vert, false);
  bars_.Attach(grid_->ScrollBarStyle() == 1, grid_->ScrollBars());
  const std::int32_t bars = grid_->ScrollBars();
  bars_.Show(sb::Horz, bars != 1);
  bars_.Show(sb::Vert, bars != 0);
  // The ranges of the newly attached bars are set by the refresh the grid runs next.
}

}  // namespace qelvaro::grid
