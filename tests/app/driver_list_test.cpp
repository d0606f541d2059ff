// The main window's driver list over the grid model: set-up, filling, ticking.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver_list.h"
#include "qelvaro_version.h"
#include "fixed_locale.h"
#include "inventory_expectations.h"
#include "memory_registry.h"
#include "recording_ui.h"

namespace qelvaro {
namespace {

namespace fixture = inventory_fixture;

MemoryRegistry fixtureRegistry() {
  std::ifstream in(std::filesystem::path(QELVARO_FIXTURES_DIR) / "registry" / "inventory.reg", std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  MemoryRegistry reg;
  EXPECT_FALSE(reg.importRegFile(s.str()));
  return reg;
}

struct DriverGrid : ::testing::Test {
  grid::FixedLocale locale{grid::FixedLocale::Rules{}};
  grid::CellGrid grid{locale};
  MemoryRegistry reg = fixtureRegistry();
  RecordingUi ui;

  void SetUp() override {
    grid::MemoryPropertyBag bag;
    WriteDriverGridSettings(bag);
    grid.ReadProperties(bag);
    SetUpDriverGrid(grid);
  }
};

TEST_F(DriverGrid, SetUpGivesTheStoredLookAndSixColumnsThenTheSignature) {
  EXPECT_EQ(grid.FontHeader().name, "\xE5\xAE\x8B\xE4\xBD\x93");
  EXPECT_EQ(grid.FontHeader().charset, 134);
  EXPECT_EQ(grid.Font().name, "Arial");  // the load sets the cell font over the stored one
  EXPECT_TRUE(grid.Font().bold);
  EXPECT_EQ(grid.BackColorSel(), 0xC56A31u);
  EXPECT_EQ(grid.GridColor(), 0xF9BE96u);
  EXPECT_EQ(grid.FocusRectColor(), 0x96FFFEu);
  EXPECT_FALSE(grid.ShowRowNumbers());
  ASSERT_EQ(grid.Cols(), 7);
  EXPECT_EQ(grid.ColHeading(kSignatureColumn), "数字签名");
  EXPECT_EQ(grid.ColHeading(1), grid.ColHeading(4));
  EXPECT_EQ(grid.ColHeading(3), "ID");
  EXPECT_FLOAT_EQ(grid.ColWidth(0), 5521);  // the grid keeps one twip more than asked
  EXPECT_FLOAT_EQ(grid.ColWidth(5), 1001);
  EXPECT_TRUE(grid.RowCheckBoxes());
  EXPECT_TRUE(grid.AllowEdit());
  EXPECT_EQ(grid.ThemeStyle(), 7);
}

TEST_F(DriverGrid, LoadFillsTheRecordsAndTicksEveryRow) {
  const auto keys = LoadDriverList(grid, reg, ui, true, fixture::kRoot);
  EXPECT_EQ(keys.size(), 14u);
  ASSERT_EQ(grid.ItemCount(), 7);
  EXPECT_EQ(grid.CheckedCount(), 7);
  EXPECT_TRUE(grid.Redraw());
  EXPECT_EQ(grid.CellText(0, 0), "Qelvaro Demo Graphics Adapter");
  EXPECT_EQ(grid.CellText(0, 3), fixture::kDisplay + "\\0000");
  EXPECT_EQ(grid.CellText(0, 4), "Display");
  EXPECT_EQ(grid.CellText(0, 5), "oem3.inf");
  EXPECT_EQ(grid.CellText(3, 2), "42");
  EXPECT_EQ(ui.cursor, (std::vector<bool>{true, false}));
  EXPECT_EQ(ui.pumps, 2);

  // Untick some, then reload with the other filter: every row is ticked again.
  grid.SetRowChecked(1, false);
  InvertRowSelection(grid);
  EXPECT_EQ(grid.CheckedCount(), 1);
  EXPECT_TRUE(grid.RowChecked(1));
  LoadDriverList(grid, reg, ui, false, fixture::kRoot);
  EXPECT_EQ(grid.ItemCount(), 11);
  EXPECT_EQ(grid.CheckedCount(), 11);
  EXPECT_EQ(grid.Cols(), 7);  // the columns stay

  // The signature column: the signer, else what the signature is.
  LoadDriverList(grid, reg, ui, [] { return false; }, fixture::kRoot, nullptr, [](const std::string& inf) {
    PackageSignature s;
    s.kind = inf == "oem3.inf" ? SignatureKind::Publisher : inf == "oem4.inf" ? SignatureKind::Broken : SignatureKind::Unsigned;
    s.signer = "Qelvaro Demo Publisher";
    return s;
  });
  for (std::int32_t row = 0; row < grid.ItemCount(); ++row) {
    const std::string inf = grid.CellText(row, 5);
    EXPECT_EQ(grid.CellText(row, kSignatureColumn), inf == "oem3.inf"   ? "Qelvaro Demo Publisher"
                                                    : inf == "oem4.inf" ? "签名已损坏"
                                                                        : "未签名")
        << inf;
  }
}

TEST_F(DriverGrid, SelectionButtonsOnAnEmptyGridDoNothing) {
  LoadDriverList(grid, reg, ui, true, "SYSTEM\\Nowhere");
  EXPECT_EQ(grid.ItemCount(), 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  SelectAllRows(grid);
  InvertRowSelection(grid);
  EXPECT_EQ(grid.CheckedCount(), 0);
  EXPECT_EQ(AboutText(), "Qelvaro " QELVARO_VERSION "\r\n\r\n\xE7\xBD\x91\xE5\x9D\x80\xEF\xBC\x9Ahttps://www.qelvaro.com");
}

}  // namespace
}  // namespace qelvaro
