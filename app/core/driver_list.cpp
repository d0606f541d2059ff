#include "driver_list.h"

#include "backup_report.h"

#include "frm_main_texts.h"
#include "base/product.h"

namespace qelvaro {

void WriteDriverGridSettings(grid::PropertyBag& bag) {
  grid::GridFont song;
  song.name = texts::kGridFontName;
  song.size = 9;
  song.weight = 400;
  song.charset = 134;  // GB2312
  bag.WriteProperty("Font", song);
  bag.WriteProperty("FontHeader", song);
  bag.WriteProperty("BackColorSel", std::int32_t{0xC56A31});
  bag.WriteProperty("ForeColorSel", std::int32_t{0xFFFFFF});
  bag.WriteProperty("CustomColorFrom", std::int32_t{0xFCE1CB});
  bag.WriteProperty("CustomColorTo", std::int32_t{0xE0A57D});
  bag.WriteProperty("GridColor", std::int32_t{0xF9BE96});
  bag.WriteProperty("FocusRectColor", std::int32_t{0x96FFFE});
  bag.WriteProperty("ColumnHeaderSmall", false);
  bag.WriteProperty("TotalsLineShow", false);
  bag.WriteProperty("FocusRowHighlightKeepTextForecolor", false);
  bag.WriteProperty("ShowRowNumbers", false);
  bag.WriteProperty("ShowRowNumbersVary", true);
}

void SetUpDriverGrid(grid::CellGrid& grid) {
  grid::GridFont font = grid.Font();
  font.name = "Arial";
  font.bold = true;
  grid.SetFont(font);

  struct Column {
    const char* caption;
    float width;
  };
  static constexpr Column kColumns[] = {
      {texts::kColumnDescription, 5520}, {texts::kColumnClass, 3000}, {texts::kColumnProvider, 2000},
      {texts::kColumnId, 1000},          {texts::kColumnClass, 1000}, {texts::kColumnConfig, 1000},
      {texts::kColumnSignature, 2600},
  };
  for (const auto& c : kColumns) grid.AddColumn(c.caption, c.width);

  grid.SetRowCheckBoxes(true);
  grid.SetDisplayEllipsis(true);
  grid.SetAllowColumnDrag(true);
  grid.SetAllowColumnSort(true);
  grid.SetAllowColumnResizing(true);
  grid.SetAllowEdit(true);
  grid.SetThemeStyle(7);
}

std::vector<std::string> LoadDriverList(grid::CellGrid& grid, const Registry& registry, Ui& ui,
                                        bool hideMicrosoft, const std::string& classRoot) {
  return LoadDriverList(grid, registry, ui, [hideMicrosoft] { return hideMicrosoft; }, classRoot);
}

std::vector<std::string> LoadDriverList(grid::CellGrid& grid, const Registry& registry, Ui& ui,
                                        const std::function<bool()>& readFilter, const std::string& classRoot,
                                        const ClassDescriptions* classDescriptions,
                                        const std::function<PackageSignature(const std::string&)>& signatureOf) {
  ui.setBusyCursor(true);
  ui.pumpMessages();
  const bool hideMicrosoft = readFilter();
  grid.Clear();
  grid.SetRedraw(false);

  DriverInventory inventory = ScanDrivers(registry, ui, hideMicrosoft, classRoot, classDescriptions);
  std::int32_t row = -1;
  for (const DriverRecord& d : inventory.drivers) {
    ++row;
    grid.AddItem(std::to_string(row));
    grid.SetCellText(row, 0, d.description);
    grid.SetCellText(row, 1, d.classDisplayName);
    grid.SetCellText(row, 2, d.provider);
    grid.SetCellText(row, 3, d.keyPath);
    grid.SetCellText(row, 4, d.className);
    grid.SetCellText(row, 5, d.infName);
    if (signatureOf) grid.SetCellText(row, kSignatureColumn, SignatureColumnText(signatureOf(d.infName)));
  }

  grid.SetRedraw(true);
  SelectAllRows(grid);
  ui.pumpMessages();
  ui.setBusyCursor(false);
  return std::move(inventory.driverKeys);
}

void SelectAllRows(grid::CellGrid& grid) {
  grid.SetRedraw(false);
  for (std::int32_t i = 0; i < grid.ItemCount(); ++i) grid.SetRowChecked(i, true);
  grid.SetRedraw(true);
}

void InvertRowSelection(grid::CellGrid& grid) {
  grid.SetRedraw(false);
  for (std::int32_t i = 0; i < grid.ItemCount(); ++i) grid.SetRowChecked(i, !grid.RowChecked(i));
  grid.SetRedraw(true);
}

std::string AboutText() {
  return std::string(kProductName) + " " + kProductVersion + "\r\n\r\n" + texts::kWebAddressLabel + kMakerWebAddress;
}

}  // namespace qelvaro
