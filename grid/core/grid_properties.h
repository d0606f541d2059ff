#pragma once
// The grid's persisted design-time properties, in the order the property bag is
// read. One list drives the stored fields, the typed getters and setters of
// CellGrid, and the reading and writing of the bag, so a key cannot be forgotten
// in one of them.
//
//   X(Name, C++ type, bag kind, bag key, default, effect of a set, change name, help)
//
// Bag kinds: Bool, Long, Integer, String, Colour (a Long holding 0x00BBGGRR),
// LongAbs and IntegerAbs (read as their absolute value). Effects: None (stored),
// Paint (repaint), Refresh (metrics, scroll bars and repaint when drawing is on),
// Metrics (row metrics recomputed at once, so rows added while drawing is off get
// the new height; then as Refresh), Scheme (the colour scheme applied again, then
// a repaint), Frame (the window's border and look follow, then as Refresh), Custom
// (a hand-written setter in cell_grid_properties.cpp). The change name is what the
// container hears from PropertyChanged; nullptr for a silent setter. The help text
// is what a host's property sheet shows for the property (PropertyHelp), nullptr
// where the grid gives none; texts are kept word for word as the control has always
// shown them, slips included.
//
// Every setter does all of a property's work, whoever calls it: the view hears of
// what it has to do through GridView, never through a second setter of its own.

#include <cstdint>
#include <string>
#include <string_view>

#include "grid_types.h"

#define QELVARO_GRID_PROPERTIES(X)                                                              \
  X(ApplySelectionToImages, bool, Bool, "ApplySelectionToImages", false, Paint, "ApplySelectionToImages", nullptr) \
  X(BackColor, Colour, Colour, "BackColor", 0x80000005u, Paint, "BackColor", nullptr) \
  X(BackColorBkg, Colour, Colour, "BackColorBkg", 0x8000000Cu, Paint, "BackColorBkg", nullptr) \
  X(BackColorEdit, Colour, Colour, "BackColorEdit", 0x80000018u, Paint, "BackColorEdit", nullptr) \
  X(BackColorSel, Colour, Colour, "BackColorSel", 0x8000000Du, Paint, "BackColorSel", nullptr) \
  X(ForeColor, Colour, Colour, "ForeColor", 0x80000008u, Paint, "ForeColor", nullptr) \
  X(ForeColorEdit, Colour, Colour, "ForeColorEdit", 0x80000017u, Paint, "ForeColorEdit", nullptr) \
  X(ForeColorHdr, Colour, Colour, "ForeColorHdr", 0x80000008u, Paint, "ForeColorHdr", nullptr) \
  X(ForeColorSel, Colour, Colour, "ForeColorSel", 0x8000000Eu, Paint, "ForeColorSel", nullptr) \
  X(ColumnHeaders, bool, Bool, "ShowColumnHeaders", true, Metrics, "ShowColumnHeaders", nullptr) \
  X(CenterRowImage, bool, Bool, "CenterRowImage", true, Paint, "CenterRowImage", nullptr) \
  X(ScrollBars, std::int32_t, Long, "ScrollBars", 2, Refresh, "ScrollBars", nullptr) \
  X(MinVerticalOffset, std::int32_t, Long, "MinVerticalOffset", 2, Custom, "MinVerticalOffset", "A value of 2 will add 2 pixels above and below the text, therefore increasing the minimum row height by 4 pixels.") \
  X(BackColorEvenRows, Colour, Colour, "BackColorEvenRows", 15592416u, Paint, "BackColorEvenRows", nullptr) \
  X(BackColorEvenRowsEnabled, bool, Bool, "BackColorEvenRowsEnabled", true, Paint, "BackColorEvenRowsEnabled", nullptr) \
  X(GridColor, Colour, Colour, "GridColor", 12632256u, Paint, "GridColor", nullptr) \
  X(CellProgressBarColor, Colour, Colour, "ProgressBarColor", 8421631u, Paint, "ProgressBarColor", nullptr) \
  X(AlphaBlendSelection, bool, Bool, "AlphaBlendSelection", false, Paint, "AlphaBlendSelection", nullptr) \
  X(BorderStyle, std::int32_t, Long, "BorderStyle", 1, Frame, "BorderStyle", nullptr) \
  X(DisplayEllipsis, bool, Bool, "DisplayEllipsis", true, Metrics, "DisplayEllipsis", nullptr) \
  X(FocusRectColor, Colour, Colour, "FocusRectColor", 0xFFFFu, Paint, "FocusRectColor", nullptr) \
  X(FocusRectMode, std::int32_t, Long, "FocusRectMode", 0, Paint, "FocusRectMode", nullptr) \
  X(FocusRectStyle, std::int32_t, Long, "FocusRectStyle", 1, Paint, "FocusRectStyle", nullptr) \
  X(GridLines, std::int32_t, LongAbs, "GridLines", 1, Paint, "GridLines", nullptr) \
  X(GridLineWidth, std::int32_t, Long, "GridLineWidth", 1, Paint, "GridLineWidth", nullptr) \
  X(ThemeColor, std::int32_t, Long, "ThemeColor", 6, Custom, "ThemeColor", "Returns/sets a value that determines the theme color (Blue, Silver, Olive, etc.)") \
  X(ThemeStyle, std::int32_t, Long, "ThemeStyle", 2, Paint, "ThemeStyle", "Returns/sets a value that determines Header type (3D, Flat, XP, XP Office)") \
  X(ColumnHeaderSmall, bool, Bool, "ColumnHeaderSmall", false, None, nullptr, nullptr) \
  X(ThemeCustomColorFrom, Colour, Colour, "CustomColorFrom", 0x404080u, Custom, "ThemeColorFrom", nullptr) \
  X(ThemeCustomColorTo, Colour, Colour, "CustomColorTo", 0xC0E0FFu, Custom, "ThemeColorTo", nullptr) \
  X(ColumnHeaderLines, std::int16_t, Integer, "ColumnHeaderLines", 1, Metrics, "ColumnHeaderLines", nullptr) \
  X(Caption, std::string, String, "Caption", std::string(), Metrics, "Caption", nullptr) \
  X(CaptionAlignment, std::int32_t, Long, "CaptionAlignment", 5, Paint, "CaptionAlignment", nullptr) \
  X(Appearance, std::int32_t, Long, "Appearance", 1, Frame, "Appearance", nullptr) \
  X(ScrollBarStyle, std::int32_t, Long, "ScrollBarStyle", 0, Custom, "ScrollBarStyle", nullptr) \
  X(TotalsLineShow, bool, Bool, "TotalsLineShow", false, Paint, "TotalsLineShow", "Returns/sets a value that determines whether the Total line shows for numeric column types") \
  X(FocusRowHighlightKeepTextForecolor, bool, Bool, "FocusRowHighlightKeepTextForecolor", false, Scheme, "FocusRowHighlightKeepTextForecolor", nullptr) \
  X(ShowRowNumbers, bool, Bool, "ShowRowNumbers", false, Custom, "ShowRowNumbers", nullptr) \
  X(ShowRowNumbersVary, bool, Bool, "ShowRowNumbersVary", true, Custom, "ShowRowNumbersVary", nullptr) \
  X(AllowColumnResizing, bool, Bool, "AllowColumnResizing", false, None, "AllowColumnResizing", nullptr) \
  X(AllowRowResizing, bool, Bool, "AllowRowResizing", false, None, "AllowRowResizing", nullptr) \
  X(AllowWordWrap, bool, Bool, "AllowWordWrap", false, Paint, "AllowWordWrap", nullptr) \
  X(RowCheckBoxes, bool, Bool, "Checkboxes", false, Refresh, "CheckBoxes", "whether Row checkboxs are visible") \
  X(AllowColumnDrag, bool, Bool, "ColumnDrag", false, None, "ColumnDrag", nullptr) \
  X(AllowColumnSwap, bool, Bool, "ColumnSwap", false, None, "ColumnSwap", nullptr) \
  X(AllowColumnSort, bool, Bool, "ColumnSort", false, None, "ColumnSort", "Returns/sets a value that determines whether the user is allow to sort columns") \
  X(AllowEdit, bool, Bool, "Editable", false, Custom, "Editable", nullptr) \
  X(AllowDelete, bool, Bool, "AllowDelete", false, None, "AllowDelete", nullptr) \
  X(AllowInsert, bool, Bool, "AllowInsert", false, None, "AllowInsert", nullptr) \
  X(EditTrigger, std::int32_t, Long, "EditTrigger", 52, None, "EditTrigger", nullptr) \
  X(EditMove, std::int32_t, Long, "EditMove", 0, None, "EditMove", "When editing, pressing the Enter key will do one of the following: Stay on current cell, Move Right, or Move Down") \
  X(FocusRowHighlight, bool, Bool, "FullRowSelect", true, Paint, "FullRowSelect", nullptr) \
  X(FocusRowHighlightStyle, std::int32_t, Long, "FocusRowHighlightStyle", 0, Scheme, "FocusRowHighlightStyle", nullptr) \
  X(FocusRectHide, bool, Bool, "HideSelection", false, Paint, "HideSelection", nullptr) \
  X(AllowColumnHover, bool, Bool, "HotHeaderTracking", true, None, "HotHeaderTracking", nullptr) \
  X(MultiSelect, std::int32_t, IntegerAbs, "MultiSelect", 0, Refresh, "MultiSelect", "whether multiple row selection is allowed") \
  X(ScrollTrack, bool, Bool, "ScrollTrack", true, None, "ScrollTrack", nullptr) \
  X(AutoToolTips, bool, Bool, "AutoToolTips", true, None, "AutoToolTips", "Returns/sets a value that determines whether truncated cells show tooltip") \
  X(Enabled, bool, Bool, "Enabled", true, Custom, "Enabled", nullptr) \
  X(FreezeAtCol, std::int32_t, Integer, "FreezeAtCol", -1, Custom, "FreezeAtCol", nullptr) \
  X(CacheIncrement, std::int32_t, Long, "CacheIncrement", 10, None, "CacheIncrement", "Increase arrays by ? - larger number makes it run faster but uses more memory") \
  X(MaxLineCount, std::int32_t, Long, "MaxLineCount", 0, None, "MaxLineCount", nullptr) \
  X(ScaleUnits, std::int32_t, Long, "ScaleUnits", 1, Refresh, "ScaleUnits", nullptr) \
  X(SearchColumn, std::int32_t, Long, "SearchColumn", 0, None, "SearchColumn", "Returns/sets a value that determines the default search column used in FindItem") \
  X(MinRowHeight, std::int32_t, Long, "MinRowHeight", 0, Custom, "MinRowHeight", nullptr)

// The properties that live only while the grid runs (never in the bag) and have a
// help text: X(Name, help). ImageList and ExpandRowImage are the display's.
#define QELVARO_GRID_RUNTIME_HELP(X)                                                              \
  X(Row, "the selected row")                                                                      \
  X(Col, "the selected column")                                                                   \
  X(CellChecked, "if the cell is checked")                                                        \
  X(CellChanged, "if the cell's value was changed")                                               \
  X(CellProgressValue, "A value between 0 to 100")                                                \
  X(Redraw, "Allow grid to update.  Turned this off when data is being added to prevent multiple redraws and increase speed. (True/False).  This is False by default and must be turned on.") \
  X(ImageList, "Returns/sets a value that determines the Name of ImageList control used to add images to grid") \
  X(ExpandRowImage, "Returns/sets the value of the ImageList image number used to expand/shrink row size")

namespace qelvaro::grid {

enum class PropertyEffect { None, Paint, Refresh, Metrics, Scheme, Frame, Custom };
enum class BagKind { Bool, Long, Integer, String, Colour, LongAbs, IntegerAbs };

struct StoredProperties {
#define QELVARO_GRID_FIELD(Name, Type, Bag, Key, Default, Effect, Notify, Help) Type Name = Default;
  QELVARO_GRID_PROPERTIES(QELVARO_GRID_FIELD)
#undef QELVARO_GRID_FIELD
  GridFont Font;
  GridFont FontHeader;
};

// The help text of a property by its name (stored or run-time), for a host's
// property sheet; empty for a property without one and for an unknown name.
std::string_view PropertyHelp(std::string_view name);

}  // namespace qelvaro::grid
