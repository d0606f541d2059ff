#pragma once
// The grid's persisted design-time properties, in the order the property bag is
// read. One list drives the stored fields, the typed getters and setters of
// CellGrid, and the reading and writing of the bag, so a key cannot be forgotten
// in one of them.
//
//   X(Name, C++ type, bag kind, bag key, default, effect of a set, change name)
//
// Bag kinds: Bool, Long, Integer, String, Colour (a Long holding 0x00BBGGRR),
// LongAbs and IntegerAbs (read as their absolute value). Effects: None (stored),
// Paint (repaint), Refresh (metrics, scroll bars and repaint when drawing is on),
// Metrics (row metrics recomputed at once, so rows added while drawing is off get
// the new height; then as Refresh), Scheme (the colour scheme applied again, then
// a repaint), Frame (the window's border and look follow, then as Refresh), Custom
// (a hand-written setter in cell_grid_properties.cpp). The change name is what the
// container hears from PropertyChanged; nullptr for a silent setter.
//
// Every setter does all of a property's work, whoever calls it: the view hears of
// what it has to do through GridView, never through a second setter of its own.

#include <cstdint>
#include <string>

#include "grid_types.h"

#define QELVARO_GRID_PROPERTIES(X)                                                              \
  X(ApplySelectionToImages, bool, Bool, "ApplySelectionToImages", false, Paint, "ApplySelectionToImages") \
  X(BackColor, Colour, Colour, "BackColor", 0x80000005u, Paint, "BackColor")                    \
  X(BackColorBkg, Colour, Colour, "BackColorBkg", 0x8000000Cu, Paint, "BackColorBkg")           \
  X(BackColorEdit, Colour, Colour, "BackColorEdit", 0x80000018u, Paint, "BackColorEdit")        \
  X(BackColorSel, Colour, Colour, "BackColorSel", 0x8000000Du, Paint, "BackColorSel")           \
  X(ForeColor, Colour, Colour, "ForeColor", 0x80000008u, Paint, "ForeColor")                    \
  X(ForeColorEdit, Colour, Colour, "ForeColorEdit", 0x80000017u, Paint, "ForeColorEdit")        \
  X(ForeColorHdr, Colour, Colour, "ForeColorHdr", 0x80000008u, Paint, "ForeColorHdr")           \
  X(ForeColorSel, Colour, Colour, "ForeColorSel", 0x8000000Eu, Paint, "ForeColorSel")           \
  X(ColumnHeaders, bool, Bool, "ShowColumnHeaders", true, Metrics, "ShowColumnHeaders")         \
  X(CenterRowImage, bool, Bool, "CenterRowImage", true, Paint, "CenterRowImage")                \
  X(ScrollBars, std::int32_t, Long, "ScrollBars", 2, Refresh, "ScrollBars")                     \
  X(MinVerticalOffset, std::int32_t, Long, "MinVerticalOffset", 2, Custom, "MinVerticalOffset") \
  X(BackColorEvenRows, Colour, Colour, "BackColorEvenRows", 15592416u, Paint, "BackColorEvenRows") \
  X(BackColorEvenRowsEnabled, bool, Bool, "BackColorEvenRowsEnabled", true, Paint, "BackColorEvenRowsEnabled") \
  X(GridColor, Colour, Colour, "GridColor", 12632256u, Paint, "GridColor")                      \
  X(CellProgressBarColor, Colour, Colour, "ProgressBarColor", 8421631u, Paint, "ProgressBarColor") \
  X(AlphaBlendSelection, bool, Bool, "AlphaBlendSelection", false, Paint, "AlphaBlendSelection") \
  X(BorderStyle, std::int32_t, Long, "BorderStyle", 1, Frame, "BorderStyle")                    \
  X(DisplayEllipsis, bool, Bool, "DisplayEllipsis", true, Metrics, "DisplayEllipsis")           \
  X(FocusRectColor, Colour, Colour, "FocusRectColor", 0xFFFFu, Paint, "FocusRectColor")         \
  X(FocusRectMode, std::int32_t, Long, "FocusRectMode", 0, Paint, "FocusRectMode")              \
  X(FocusRectStyle, std::int32_t, Long, "FocusRectStyle", 1, Paint, "FocusRectStyle")           \
  X(GridLines, std::int32_t, LongAbs, "GridLines", 1, Paint, "GridLines")                       \
  X(GridLineWidth, std::int32_t, Long, "GridLineWidth", 1, Paint, "GridLineWidth")              \
  X(ThemeColor, std::int32_t, Long, "ThemeColor", 6, Custom, "ThemeColor")                       \
  X(ThemeStyle, std::int32_t, Long, "ThemeStyle", 2, Paint, "ThemeStyle")                       \
  X(ColumnHeaderSmall, bool, Bool, "ColumnHeaderSmall", false, None, nullptr)                   \
  X(ThemeCustomColorFrom, Colour, Colour, "CustomColorFrom", 0x404080u, Custom, "ThemeColorFrom") \
  X(ThemeCustomColorTo, Colour, Colour, "CustomColorTo", 0xC0E0FFu, Custom, "ThemeColorTo")      \
  X(ColumnHeaderLines, std::int16_t, Integer, "ColumnHeaderLines", 1, Metrics, "ColumnHeaderLines") \
  X(Caption, std::string, String, "Caption", std::string(), Metrics, "Caption")                 \
  X(CaptionAlignment, std::int32_t, Long, "CaptionAlignment", 5, Paint, "CaptionAlignment")     \
  X(Appearance, std::int32_t, Long, "Appearance", 1, Frame, "Appearance")                       \
  X(ScrollBarStyle, std::int32_t, Long, "ScrollBarStyle", 0, Custom, "ScrollBarStyle")         \
  X(TotalsLineShow, bool, Bool, "TotalsLineShow", false, Paint, "TotalsLineShow")               \
  X(FocusRowHighlightKeepTextForecolor, bool, Bool, "FocusRowHighlightKeepTextForecolor", false, Scheme, "FocusRowHighlightKeepTextForecolor") \
  X(ShowRowNumbers, bool, Bool, "ShowRowNumbers", false, Custom, "ShowRowNumbers")             \
  X(ShowRowNumbersVary, bool, Bool, "ShowRowNumbersVary", true, Custom, "ShowRowNumbersVary")  \
  X(AllowColumnResizing, bool, Bool, "AllowColumnResizing", false, None, "AllowColumnResizing") \
  X(AllowRowResizing, bool, Bool, "AllowRowResizing", false, None, "AllowRowResizing")          \
  X(AllowWordWrap, bool, Bool, "AllowWordWrap", false, Paint, "AllowWordWrap")                  \
  X(RowCheckBoxes, bool, Bool, "Checkboxes", false, Refresh, "CheckBoxes")                      \
  X(AllowColumnDrag, bool, Bool, "ColumnDrag", false, None, "ColumnDrag")                       \
  X(AllowColumnSwap, bool, Bool, "ColumnSwap", false, None, "ColumnSwap")                       \
  X(AllowColumnSort, bool, Bool, "ColumnSort", false, None, "ColumnSort")                       \
  X(AllowEdit, bool, Bool, "Editable", false, Custom, "Editable")                               \
  X(AllowDelete, bool, Bool, "AllowDelete", false, None, "AllowDelete")                         \
  X(AllowInsert, bool, Bool, "AllowInsert", false, None, "AllowInsert")                         \
  X(EditTrigger, std::int32_t, Long, "EditTrigger", 52, None, "EditTrigger")                    \
  X(EditMove, std::int32_t, Long, "EditMove", 0, None, "EditMove")                              \
  X(FocusRowHighlight, bool, Bool, "FullRowSelect", true, Paint, "FullRowSelect")               \
  X(FocusRowHighlightStyle, std::int32_t, Long, "FocusRowHighlightStyle", 0, Scheme, "FocusRowHighlightStyle") \
  X(FocusRectHide, bool, Bool, "HideSelection", false, Paint, "HideSelection")                  \
  X(AllowColumnHover, bool, Bool, "HotHeaderTracking", true, None, "HotHeaderTracking")         \
  X(MultiSelect, std::int32_t, IntegerAbs, "MultiSelect", 0, Refresh, "MultiSelect")                \
  X(ScrollTrack, bool, Bool, "ScrollTrack", true, None, "ScrollTrack")                          \
  X(AutoToolTips, bool, Bool, "AutoToolTips", true, None, "AutoToolTips")                       \
  X(Enabled, bool, Bool, "Enabled", true, Custom, "Enabled")                                      \
  X(FreezeAtCol, std::int32_t, Integer, "FreezeAtCol", -1, Custom, "FreezeAtCol")              \
  X(CacheIncrement, std::int32_t, Long, "CacheIncrement", 10, None, "CacheIncrement")           \
  X(MaxLineCount, std::int32_t, Long, "MaxLineCount", 0, None, "MaxLineCount")                  \
  X(ScaleUnits, std::int32_t, Long, "ScaleUnits", 1, Refresh, "ScaleUnits")                     \
  X(SearchColumn, std::int32_t, Long, "SearchColumn", 0, None, "SearchColumn")                  \
  X(MinRowHeight, std::int32_t, Long, "MinRowHeight", 0, Custom, "MinRowHeight")

namespace qelvaro::grid {

enum class PropertyEffect { None, Paint, Refresh, Metrics, Scheme, Frame, Custom };
enum class BagKind { Bool, Long, Integer, String, Colour, LongAbs, IntegerAbs };

struct StoredProperties {
#define QELVARO_GRID_FIELD(Name, Type, Bag, Key, Default, Effect, Notify) Type Name = Default;
  QELVARO_GRID_PROPERTIES(QELVARO_GRID_FIELD)
#undef QELVARO_GRID_FIELD
  GridFont Font;
  GridFont FontHeader;
};

}  // namespace qelvaro::grid
