#pragma once
// What the grid needs from the outside: the host that receives its events and
// offers the container's services, and the view that draws it. Both default to
// doing nothing, so the data side runs (and is tested) without a window.

#include <cstdint>
#include <string>
#include <string_view>

#include "grid_types.h"

namespace qelvaro::grid {

// The 32 events in their declared order, then the container services. Arguments
// passed by reference may be changed by the handler, and the grid reads them back.
// Handlers may call back into the grid.
class GridHost {
 public:
  virtual ~GridHost() = default;

  virtual void Click() {}
  virtual void DblClick() {}
  virtual void KeyDown(std::int16_t& KeyCode, std::int16_t& Shift) {}
  virtual void KeyPress(std::int16_t& KeyAscii) {}
  virtual void KeyUp(std::int16_t& KeyCode, std::int16_t& Shift) {}
  virtual void MouseDown(std::int16_t& Button, std::int16_t& Shift, float& X, float& Y) {}
  virtual void MouseMove(std::int16_t& Button, std::int16_t& Shift, float& X, float& Y) {}
  virtual void MouseUp(std::int16_t& Button, std::int16_t& Shift, float& X, float& Y) {}
  virtual void CellButtonClick(std::int32_t Row, std::int32_t Col) {}
  virtual void CellImageClick(std::int32_t Row, std::int32_t Col) {}
  virtual void CellHandClick(std::int32_t Row, std::int32_t Col, std::int16_t& Shift) {}
  virtual void CellClick(std::int32_t Row, std::int32_t Col, std::int16_t& Shift) {}
  virtual void ColumnClick(std::int32_t Col) {}
  // MoveControl: the value BindControl stored for the column (0 without a bound control).
  virtual void ColumnSizeChanged(std::int32_t Col, std::int32_t MoveControl) {}
  virtual void CustomSort(bool& Ascending, std::int32_t& Col, std::string& Value1,
                          std::string& Value2, bool& Swap) {}
  virtual void RowCheckChanged(std::int32_t Row) {}
  virtual void RowCountChanged() {}
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}
  virtual void RowColChanged() {}
  virtual void Scroll() {}
  virtual void SelectionChanged() {}
  virtual void SortComplete() {}
  virtual void ThemeChanged() {}
  virtual void EditKeyPress(std::int32_t Col, std::int16_t& KeyAscii) {}
  virtual void BeforeEdit(std::int32_t Row, std::int32_t Col, bool& Cancel) {}
  virtual void AfterEdit(std::int32_t Row, std::int32_t Col, std::string& NewValue, bool& Cancel) {}
  virtual void BeforeDelete(std::int32_t Row, bool& Cancel) {}
  virtual void AfterDelete() {}
  virtual void BeforeInsert(std::int32_t Row, bool& Cancel) {}
  virtual void AfterInsert(std::int32_t Row) {}
  virtual void RequestRowData(std::int32_t Row) {}

  // A persisted property changed, so the container saves the form again.
  virtual void PropertyChanged(std::string_view name) {}
  // Lets pending window messages run.
  virtual void DoEvents() {}
  // The container's font, which a newly placed grid takes.
  virtual GridFont AmbientFont() const { return GridFont{}; }
};

inline constexpr int kEventCount = 32;
// Event names by declared order (index 0 is event 1).
extern const char* const kEventNames[kEventCount];

// The drawing side. The data side asks for work here only while its effective
// drawing flag is on; otherwise it notes the work as due (see CellGrid).
class GridView {
 public:
  virtual ~GridView() = default;

  virtual void Paint() {}
  // Metrics pass, scroll bars, then a full repaint.
  virtual void Refresh() {}
  virtual void UpdateScrollBars() {}
  // Recomputes the metrics (the default row height among them) without painting.
  virtual void CalcRowMetrics() {}
  // A row's height from its wrapped text; asked only while AllowWordWrap is on.
  virtual void RecalcRowHeight(std::int32_t row) {}
  // Scrolls vertically when the row lies outside the visible rows.
  virtual void EnsureRowVisible(std::int32_t row) {}
  // Hides the edit box, or gives a bound control back to its former parent and hides it.
  virtual void HideEditor(GridControl* boundControl) {}
  virtual void HideToolTip() {}
  // The visible client width in the grid's ScaleUnits.
  virtual float VisibleClientWidth() const { return 0; }
  // A width in the given scale mode (1 twips, 2 points, 3 pixels, ...) in pixels.
  virtual double ScaleXToPixels(double value, std::int32_t scaleUnits) const;

  // The screen side of property lets. The grid has stored the new value and told
  // the container before it asks; it repaints or refreshes afterwards itself.
  // The colour scheme of ThemeColor applied again (it reads the highlight style).
  virtual void ApplyThemeColor() {}
  // ScrollBarStyle: the bars attached again, flat or standard.
  virtual void ScrollBarStyleChanged() {}
  // The horizontal scroll value kept right of the frozen columns (FreezeAtCol, Redraw).
  virtual void ApplyFreezeRule() {}
  // BorderStyle, Appearance or Enabled reach the window.
  virtual void FrameChanged() {}
  // Every property was set at once (InitProperties, ReadProperties): the scheme, the
  // scroll-bar style, the metrics and the frame follow the new values.
  virtual void PropertiesLoaded() { CalcRowMetrics(); }
  // An OLE colour (system colours included) as the RGB value it stands for.
  virtual Colour TranslateColour(Colour colour) const { return colour; }
};

// The same conversion at the given number of twips per pixel (15 is 96 dpi).
double scaleToPixels(double value, std::int32_t scaleUnits, double twipsPerPixel);

}  // namespace qelvaro::grid
