#pragma once
// The main window's driver list: how its grid is set up, filled from the driver
// inventory, and ticked. Portable, so that it is tested without a window; the
// window calls these from its handlers.

#include <functional>
#include <string>
#include <vector>

#include "cell_grid.h"
#include "driver_inventory.h"
#include "package_signature.h"
#include "property_bag.h"
#include "registry.h"
#include "base/ui.h"

namespace qelvaro {

// The grid's design-time settings that the main window stores with itself.
void WriteDriverGridSettings(grid::PropertyBag& bag);

// The load-time set-up: font, the six columns (widths in twips) and after them the
// signature column, options, header look.
void SetUpDriverGrid(grid::CellGrid& grid);

// Rebuilds the rows from the registry: one per driver record, every row ticked.
// Returns the driver keys found, in scan order.
std::vector<std::string> LoadDriverList(grid::CellGrid& grid, const Registry& registry, Ui& ui,
                                        bool hideMicrosoft, const std::string& classRoot = kClassRoot);
// The same, with the filter read after the messages that were waiting have run: a
// click on the filter box among them then counts for this scan.
std::vector<std::string> LoadDriverList(grid::CellGrid& grid, const Registry& registry, Ui& ui,
                                        const std::function<bool()>& hideMicrosoft,
                                        const std::string& classRoot = kClassRoot,
                                        const ClassDescriptions* classDescriptions = nullptr,
                                        const std::function<PackageSignature(const std::string& infName)>&
                                            signatureOf = {});

// The grid's column for who signed a driver (after the six that the backup reads).
inline constexpr std::int32_t kSignatureColumn = 6;

void SelectAllRows(grid::CellGrid& grid);
void InvertRowSelection(grid::CellGrid& grid);

// The About message: product name, an empty line, the web address.
std::string AboutText();

}  // namespace qelvaro
