#include "grid_host.h"

namespace qelvaro::grid {

const char* const kEventNames[kEventCount] = {
    "Click",           "DblClick",        "KeyDown",       "KeyPress",       "KeyUp",
    "MouseDown",       "MouseMove",       "MouseUp",       "CellButtonClick", "CellImageClick",
    "CellHandClick",   "CellClick",       "ColumnClick",   "ColumnSizeChanged", "CustomSort",
    "RowCheckChanged", "RowCountChanged", "MouseEnter",    "MouseLeave",     "RowColChanged",
    "Scroll",          "SelectionChanged", "SortComplete", "ThemeChanged",   "EditKeyPress",
    "BeforeEdit",      "AfterEdit",       "BeforeDelete",  "AfterDelete",    "BeforeInsert",
    "AfterInsert",     "RequestRowData",
};

double scaleToPixels(double value, std::int32_t scaleUnits, double twipsPerPixel) {
  switch (scaleUnits) {
    case 1: return value / twipsPerPixel;                 // twips
    case 2: return value * 20.0 / twipsPerPixel;          // points
    case 3: return value;                                 // pixels
    case 4: return value * 120.0 / twipsPerPixel;         // characters (horizontal)
    case 5: return value * 1440.0 / twipsPerPixel;        // inches
    case 6: return value * 1440.0 / 25.4 / twipsPerPixel; // millimetres
    case 7: return value * 1440.0 / 2.54 / twipsPerPixel; // centimetres
    default: return value / twipsPerPixel;                // user scale: treated as twips
  }
}

double GridView::ScaleXToPixels(double value, std::int32_t scaleUnits) const {
  return scaleToPixels(value, scaleUnits, 15.0);
}

}  // namespace qelvaro::grid
