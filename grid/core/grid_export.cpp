#include "grid_export.h"

#include <cmath>
#include <numeric>

#include "grid_error.h"
#include "value_reading.h"

namespace qelvaro::grid {

namespace {

// A field as a spreadsheet reads it back: quoted, with inner quotes doubled, only
// when it holds a comma, a quote or a line break; every other field stays as it is.
void appendField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += field;
  } else {
    out += '"';
    for (char c : field) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out += ',';
}

std::vector<std::int32_t> exportedColumns(const CellGrid& grid, bool visibleOnly) {
  std::vector<std::int32_t> cols;
  for (std::int32_t col : grid.ColumnOrder())
    if (!visibleOnly || grid.ColVisible(col)) cols.push_back(col);
  return cols;
}

}  // namespace

std::string ExportText(const CellGrid& grid, bool vbVisibleColsOnly, bool vbVisibleRowsOnly, bool vbBooleanAsText) {
  std::string out;
  if (!grid.Caption().empty()) {
    appendField(out, grid.Caption());
    out.pop_back();  // the caption line has no comma
    out += "\r\n";
  }
  const std::vector<std::int32_t> cols = exportedColumns(grid, vbVisibleColsOnly);
  for (std::int32_t col : cols) appendField(out, grid.Column(col).Caption);
  out += "\r\n";
  for (std::int32_t row = 0; row < grid.Rows(); ++row) {
    if (vbVisibleRowsOnly && !grid.RowVisible(row)) {
      out += "\r\n";
      continue;
    }
    for (std::int32_t col : cols) {
      const std::string text = grid.CellText(row, col);
      if (vbVisibleColsOnly && !vbBooleanAsText && grid.Column(col).DataType == datatype::Boolean)
        appendField(out, grid.rVal(text) != 0 ? "-1" : "0");
      else
        appendField(out, text);
    }
    out += "\r\n";
  }
  if (grid.TotalsLineShow()) {
    for (std::int32_t col : cols) {
      std::string field = grid.TotalsLineCaption(col);
      if (grid.Column(col).DataType == datatype::Number) {
        // The average divides by the number of rows, as the totals line on screen does.
        const std::optional<double> value = grid.TotalsLineValue(col);
        const std::string number = value ? grid.locale().formatNumber(*value) : std::string();
        field = field.empty() ? number : field + " " + number;
      }
      appendField(out, field);
    }
  }
  return out;
}

void ExportGrid(const CellGrid& grid, ExportPort& port, std::string_view strGridName, bool vbVisibleColsOnly,
                bool vbVisibleRowsOnly, bool vbBooleanAsText) {
  if (grid.Rows() == 0) {
    port.Inform("No grid rows to export.");
    return;
  }
  // Without a desktop there is nowhere sensible to write (not the drive's root).
  const std::optional<std::string> desktop = port.DesktopFolder();
  if (!desktop || desktop->empty()) {
    port.ExportError("Unknown error\r\nThe desktop folder could not be found; nothing was written.");
    return;
  }
  const std::string fileName = std::string(strGridName) + ".csv";
  std::string path = *desktop;
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  path += fileName;

  std::string bytes;
  try {
    const std::string text = ExportText(grid, vbVisibleColsOnly, vbVisibleRowsOnly, vbBooleanAsText);
    // The ANSI code page when it holds every character; else UTF-8 with its mark, so
    // that no name turns into "?".
    if (std::optional<std::string> ansi = port.ToAnsi(text)) bytes = std::move(*ansi);
    else bytes = "\xEF\xBB\xBF" + text;
  } catch (const GridError& e) {
    port.ExportError("Error# " + std::to_string(e.code()) + "\r\n" + e.what());
    return;
  }
  if (std::optional<std::string> failure = port.WriteReplacing(path, bytes)) {
    port.ExportError("Error# 75\r\n" + *failure);
    return;
  }
  if (port.AskYesNo("File " + fileName + " was saved to your desktop.\r\nDo you want to open it?") &&
      !port.ShellOpen(path))
    port.Inform("Unable to open target file.");
}

// ---------------------------------------------------------------- column layout

void ColOrderSave(const CellGrid& grid, SettingsStore& store, std::string_view UniqueGridName) {
  store.Put(UniqueGridName, "Count", std::to_string(grid.Cols() - 1));
  const std::vector<std::int32_t>& order = grid.ColumnOrder();
  for (std::size_t i = 0; i < order.size(); ++i) store.Put(UniqueGridName, std::to_string(i), std::to_string(order[i]));
}

void ColOrderLoad(CellGrid& grid, SettingsStore& store, std::string_view UniqueGridName) {
  auto number = [&](std::string_view key) -> std::optional<long> {
    const std::optional<std::string> text = store.Get(UniqueGridName, key);
    if (!text) return std::nullopt;
    return std::lround(grid.rVal(*text));
  };
  if (number("Count").value_or(0) != grid.Cols() - 1) return;
  std::vector<std::int32_t> order(static_cast<std::size_t>(grid.Cols()));
  for (std::size_t i = 0; i < order.size(); ++i)
    order[i] = static_cast<std::int32_t>(number(std::to_string(i)).value_or(static_cast<long>(i)));
  try {
    grid.SetColumnOrder(order);
  } catch (const GridError&) {
    // A stored order that is not a permutation (edited by hand, another version) is
    // ignored like one saved for another column count.
  }
}

void ColOrderRestore(CellGrid& grid) {
  if (grid.Cols() == 0) throwSubscript("no columns");
  if (grid.Cols() == 1) return;
  std::vector<std::int32_t> order(static_cast<std::size_t>(grid.Cols()));
  std::iota(order.begin(), order.end(), 0);
  grid.SetColumnOrder(order);
}

void ColWidthsSave(const CellGrid& grid, SettingsStore& store, std::string_view UniqueGridName) {
  for (std::int32_t col = 0; col < grid.Cols(); ++col)
    store.Put(UniqueGridName, "W" + std::to_string(col), grid.locale().formatNumber(grid.ColWidth(col)));
}

void ColWidthsLoad(CellGrid& grid, SettingsStore& store, std::string_view UniqueGridName) {
  for (std::int32_t col = 0; col < grid.Cols(); ++col) {
    const std::optional<std::string> text = store.Get(UniqueGridName, "W" + std::to_string(col));
    if (!text) continue;
    grid.SetColWidth(col, static_cast<float>(grid.rVal(*text)));
  }
}

}  // namespace qelvaro::grid
