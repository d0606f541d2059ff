// Column widths and row images: model members that the geometry and painting
// layers drive.
#include <cmath>

#include "cell_grid.h"

namespace qelvaro::grid {

void CellGrid::SetColWidth(std::int32_t vCol, float value) {
  GridColumn& column = columns_[checkCol(vCol)];
  column.Width = value;
  column.PixelWidth = static_cast<std::int32_t>(
      std::lround(view_->ScaleXToPixels(static_cast<double>(value), props_.ScaleUnits)));
  refreshIfRedraw();
}

std::int32_t CellGrid::RowImage(std::int32_t vRow) const { return fixRow(vRow) ? rowAt(vRow).Image : 0; }

void CellGrid::SetRowImage(std::int32_t vRow, std::int32_t value) {
  if (!fixRow(vRow)) return;
  rowAt(vRow).Image = value;
  // The text offset of the first column depends on whether any row has an image.
  refreshIfRedraw();
}

}  // namespace qelvaro::grid
