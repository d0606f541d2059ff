#pragma once
// CellGrid's CSV export to the desktop and the column layout kept in the user's
// settings, with the platform behind two small ports so that both run natively.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cell_grid.h"

namespace qelvaro::grid {

// What the export needs from the platform.
class ExportPort {
 public:
  virtual ~ExportPort() = default;
  // The user's desktop folder (UTF-8), none when it cannot be found.
  virtual std::optional<std::string> DesktopFolder() = 0;
  virtual void Inform(std::string_view text) = 0;
  // The export's error box: title "CellGrid.Export", critical icon.
  virtual void ExportError(std::string_view text) = 0;
  virtual bool AskYesNo(std::string_view text) = 0;
  virtual bool ShellOpen(const std::string& path) = 0;
  // The text in the ANSI code page, none when some character has no form there.
  virtual std::optional<std::string> ToAnsi(std::string_view utf8) = 0;
  // Writes the file beside its final name and then replaces that file, so a failed
  // write keeps an earlier file; the error's description when it fails.
  virtual std::optional<std::string> WriteReplacing(const std::string& path, std::string_view bytes) = 0;
};

// The file's text (UTF-8), as the export writes it.
std::string ExportText(const CellGrid& grid, bool vbVisibleColsOnly = true, bool vbVisibleRowsOnly = false,
                       bool vbBooleanAsText = true);

// The whole export: file on the desktop named after the grid, then the offer to open it.
void ExportGrid(const CellGrid& grid, ExportPort& port, std::string_view strGridName, bool vbVisibleColsOnly = true,
                bool vbVisibleRowsOnly = false, bool vbBooleanAsText = true);

// The per-user settings store: string values by section and key, below the
// program's own entry. Get gives nothing only for a setting never saved; a store
// that cannot be read or written throws GridError, which the layout calls below
// pass on, so a failed save is never taken for a done one.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual std::optional<std::string> Get(std::string_view section, std::string_view key) = 0;
  virtual void Put(std::string_view section, std::string_view key, std::string_view value) = 0;
};

void ColOrderSave(const CellGrid& grid, SettingsStore& store, std::string_view UniqueGridName);
void ColOrderLoad(CellGrid& grid, SettingsStore& store, std::string_view UniqueGridName);
void ColOrderRestore(CellGrid& grid);
void ColWidthsSave(const CellGrid& grid, SettingsStore& store, std::string_view UniqueGridName);
void ColWidthsLoad(CellGrid& grid, SettingsStore& store, std::string_view UniqueGridName);

}  // namespace qelvaro::grid
