#pragma once
// Doubles for the display layer: a platform with fixed system colours and metrics, a
// surface whose canvas records, and scroll bars that behave like the system's
// (positions clamped to nMax - nPage + 1).

#include <map>
#include <optional>
#include <string>

#include "grid_display.h"
#include "grid_test_support.h"
#include "recording_canvas.h"

namespace qelvaro::grid::testing {

class FakePlatform : public GridPlatform {
 public:
  std::map<std::int32_t, Rgb> colours;
  bool styles = true;
  bool themed = false;
  std::optional<std::string> colourName;
  double twipsX = 15, twipsY = 15;
  int doEvents = 0;

  Rgb SystemColour(std::int32_t index) const override {
    auto it = colours.find(index);
    return it != colours.end() ? it->second : MakeRgb(10 * (index % 25), 100, 200);
  }
  bool StylesAvailable() const override { return styles; }
  bool AppThemed() const override { return themed; }
  std::optional<std::string> ThemeColourName() const override { return colourName; }
  std::int32_t BorderMetric() const override { return 1; }
  std::int32_t ThumbMetric() const override { return 16; }
  double TwipsPerPixelX() const override { return twipsX; }
  double TwipsPerPixelY() const override { return twipsY; }
  void DoEvents() override { ++doEvents; }
};

class FakeSurface : public GridSurface {
 public:
  RecordingCanvas canvas;
  Size client{400, 300};
  int shows = 0;
  Size ClientSize() const override { return client; }
  Size WindowSize() const override { return Size{client.cx + 4, client.cy + 4}; }
  Canvas& DrawingCanvas() override { return canvas; }
  void Show() override { ++shows; }
  // The window's frame and enabled state as the display last set them.
  std::int32_t borderStyle = -1, appearance = -1;
  bool enabled = true;
  void SetFrame(std::int32_t border, std::int32_t look) override {
    borderStyle = border;
    appearance = look;
  }
  void SetEnabled(bool on) override { enabled = on; }
};

class FakeScrollPort : public ScrollBarPort {
 public:
  bool attached = true;
  bool flatWorks = true;
  bool flatInitialised = false;
  ScrollInfo bars[2];
  bool shown[2] = {false, false};
  std::map<std::int32_t, std::int32_t> flatProps;
  int flatCalls = 0, standardCalls = 0, sets = 0;

  bool Attached() const override { return attached; }
  bool GetInfo(bool flat, std::int32_t bar, ScrollInfo& info, std::uint32_t mask) override {
    count(flat);
    info = bars[bar & 1];
    return true;
  }
  void SetInfo(bool flat, std::int32_t bar, const ScrollInfo& info, std::uint32_t mask) override {
    count(flat);
    ++sets;
    ScrollInfo& b = bars[bar & 1];
    if (mask & sif::Range) b.nMin = info.nMin, b.nMax = info.nMax;
    if (mask & sif::Page) b.nPage = info.nPage;
    if (mask & sif::Pos) b.nPos = info.nPos;
    const std::int32_t top = std::max(b.nMin, b.nMax - std::max(b.nPage - 1, 0));
    b.nPos = std::clamp(b.nPos, b.nMin, top);
  }
  void Show(bool flat, std::int32_t bar, bool show) override {
    count(flat);
    shown[bar & 1] = show;
  }
  bool InitFlat() override {
    flatInitialised = flatWorks;
    return flatWorks;
  }
  void UninitFlat() override { flatInitialised = false; }
  void SetFlatProp(std::int32_t property, std::int32_t value) override { flatProps[property] = value; }

 private:
  void count(bool flat) { flat ? ++flatCalls : ++standardCalls; }
};

// An image list of `count` 16 x 16 images.
class FakeImageList : public GridImageList {
 public:
  explicit FakeImageList(std::int32_t count) : count_(count) {}
  std::int32_t ImageWidth() const override { return 16; }
  std::int32_t ImageHeight() const override { return 16; }
  std::int32_t Count() const override { return count_; }

 private:
  std::int32_t count_;
};

class EventHost : public RecordingHost {
 public:
  std::vector<std::int32_t> rowDataRequests;
  int scrolls = 0, themeChanges = 0;
  void RequestRowData(std::int32_t row) override { rowDataRequests.push_back(row); }
  void Scroll() override { ++scrolls; }
  void ThemeChanged() override { ++themeChanges; }
};

// A grid wired to a display over the doubles, sited like a control at run time.
// The header font is 13 pixels high, so the default row height is 19.
struct DisplayFixture {
  FakePlatform platform;
  FakeSurface surface;
  FakeScrollPort scroll;
  EventHost host;
  GridDisplay display{platform, surface, scroll};
  CellGrid grid{FixedLocale::english(), &host, &display};

  DisplayFixture() {
    surface.canvas.charWidth = 8;
    display.Bind(grid, &host);
    grid.InitProperties();
    grid.SetThemeColor(0);
    grid.SetScaleUnits(3);  // pixels, so widths read plainly
    display.Site();
  }
  RecordingCanvas& canvas() { return surface.canvas; }
  // Columns of the given pixel widths and `rows` rows of text "r<row>c<col>".
  void fill(std::vector<float> widths, int rows) {
    for (float w : widths) grid.AddColumn("H", w - 1);
    for (int r = 0; r < rows; ++r) {
      std::string item;
      for (std::size_t c = 0; c < widths.size(); ++c) {
        if (c) item += '\t';
        item += "r" + std::to_string(r) + "c" + std::to_string(c);
      }
      grid.AddItem(item);
    }
  }
  void paint() {
    surface.canvas.clear();
    display.DrawGrid(true, false);
  }
  // The row background (or selection) fill of a row starting at y.
  std::optional<CanvasOp> rowFill(std::int32_t y) {
    for (const CanvasOp& o : surface.canvas.ops)
      if (o.kind == CanvasOp::Fill && o.rect.top == y + 1 && o.rect.left <= display.Metrics().RowNumberWidth &&
          o.rect.right == display.ColumnLeft(0) + display.Metrics().RowNumberWidth + totalWidth())
        return o;
    return std::nullopt;
  }
  std::int32_t totalWidth() {
    std::int32_t w = 0;
    for (std::int32_t c = 0; c < grid.Cols(); ++c)
      if (grid.ColVisible(c) && display.ColumnLeft(grid.PositionOfColumn(c)) >= 0) w += grid.Column(c).PixelWidth;
    return w;
  }
};

}  // namespace qelvaro::grid::testing
