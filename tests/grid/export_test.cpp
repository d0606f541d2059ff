// The CSV export and the column layout kept in the settings store.

#include <gtest/gtest.h>

#include <map>

#include "grid_export.h"
#include "grid_test_support.h"

namespace qelvaro::grid::testing {
namespace {

class FakeExportPort : public ExportPort {
 public:
  std::optional<std::string> desktop = std::string("C:\\Users\\u\\Desktop");
  std::vector<std::string> messages;
  std::vector<std::string> errors;
  bool answerYes = true;
  bool openWorks = true;
  bool ansiHoldsAll = true;
  std::optional<std::string> writeFailure;
  std::map<std::string, std::string> files;
  std::vector<std::string> opened;

  std::optional<std::string> DesktopFolder() override { return desktop; }
  void Inform(std::string_view text) override { messages.emplace_back(text); }
  void ExportError(std::string_view text) override { errors.emplace_back(text); }
  bool AskYesNo(std::string_view text) override {
    messages.emplace_back(text);
    return answerYes;
  }
  bool ShellOpen(const std::string& path) override {
    opened.push_back(path);
    return openWorks;
  }
  std::optional<std::string> ToAnsi(std::string_view utf8) override {
    if (!ansiHoldsAll) return std::nullopt;
    return "ANSI:" + std::string(utf8);
  }
  std::optional<std::string> WriteReplacing(const std::string& path, std::string_view bytes) override {
    if (writeFailure) return writeFailure;
    files[path] = bytes;
    return std::nullopt;
  }
};

class MemoryStore : public SettingsStore {
 public:
  std::map<std::string, std::string> values;
  std::optional<std::string> Get(std::string_view section, std::string_view key) override {
    auto it = values.find(std::string(section) + "/" + std::string(key));
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
  void Put(std::string_view section, std::string_view key, std::string_view value) override {
    values[std::string(section) + "/" + std::string(key)] = value;
  }
};

TEST(Export, TextFollowsTheFileLayoutAndQuotesOnlyWhatNeedsIt) {
  CellGrid grid(FixedLocale::english());
  grid.AddColumn("A");
  grid.AddColumn("B");
  grid.AddItem("a\tb");
  grid.AddItem("c\td");
  EXPECT_EQ(ExportText(grid), "A,B,\r\na,b,\r\nc,d,\r\n");

  grid.SetCaption("Drivers");
  grid.SetCellText(0, 1, "x, \"y\"");
  grid.AddColumn("Flag", 500, 4, datatype::Boolean);
  grid.SetCellText(1, 2, "True");
  grid.SetRowVisible(0, false);
  EXPECT_EQ(ExportText(grid, true, true, false), "Drivers\r\nA,B,Flag,\r\n\r\nc,d,-1,\r\n");
  grid.SetColVisible(1, false);
  EXPECT_EQ(ExportText(grid, true, false, true), "Drivers\r\nA,Flag,\r\na,,\r\nc,True,\r\n");
  EXPECT_EQ(ExportText(grid, false, false, false), "Drivers\r\nA,B,Flag,\r\na,\"x, \"\"y\"\"\",,\r\nc,d,True,\r\n");
}

TEST(Export, TotalsAverageDividesByTheRowCount) {
  CellGrid grid(FixedLocale::english());
  grid.AddColumn("Name");
  grid.AddColumn("Size", 500, 4, datatype::Number);
  grid.AddItem("one\t4");
  grid.SetTotalsLineShow(true);
  grid.SetTotalsLineColAvg(1, true);
  grid.SetTotalsLineCaption(0, "Total");
  grid.SetTotalsLineCaption(1, "avg");
  EXPECT_EQ(ExportText(grid), "Name,Size,\r\none,4,\r\nTotal,avg 4,");
  grid.AddItem("two\t8");
  EXPECT_EQ(ExportText(grid).substr(ExportText(grid).rfind("\r\n") + 2), "Total,avg 6,");
}

TEST(Export, WritesToTheDesktopAndOffersToOpen) {
  CellGrid grid(FixedLocale::english());
  grid.AddColumn("A");
  FakeExportPort port;
  ExportGrid(grid, port, "drivers");
  EXPECT_EQ(port.messages, std::vector<std::string>{"No grid rows to export."});
  EXPECT_TRUE(port.files.empty());

  grid.AddItem("\xE9\xA9\xB1\xE5\x8A\xA8");  // 驱动
  port.messages.clear();
  ExportGrid(grid, port, "drivers");
  const std::string path = "C:\\Users\\u\\Desktop\\drivers.csv";
  EXPECT_EQ(port.files[path], "ANSI:A,\r\n\xE9\xA9\xB1\xE5\x8A\xA8,\r\n");
  EXPECT_EQ(port.messages.back(), "File drivers.csv was saved to your desktop.\r\nDo you want to open it?");
  EXPECT_EQ(port.opened, std::vector<std::string>{path});

  port.ansiHoldsAll = false;
  port.answerYes = false;
  ExportGrid(grid, port, "drivers");
  EXPECT_EQ(port.files[path].substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(port.opened.size(), 1u);

  port.answerYes = true;
  port.openWorks = false;
  ExportGrid(grid, port, "drivers");
  EXPECT_EQ(port.messages.back(), "Unable to open target file.");

  // A failed write or a missing desktop is an error, and nothing is offered.
  const std::size_t asked = port.messages.size();
  port.writeFailure = "disk full";
  ExportGrid(grid, port, "drivers");
  port.writeFailure.reset();
  port.desktop.reset();
  ExportGrid(grid, port, "drivers");
  EXPECT_EQ(port.errors.size(), 2u);
  EXPECT_EQ(port.errors[0], "Error# 75\r\ndisk full");
  EXPECT_EQ(port.errors[1], "Unknown error\r\nThe desktop folder could not be found; nothing was written.");
  EXPECT_EQ(port.files.size(), 1u);  // only the desktop's file: nothing at "\\drivers.csv"
  EXPECT_EQ(port.messages.size(), asked);
}

TEST(ColumnLayout, OrderComesBackOnlyForTheSameColumnsAndAsAPermutation) {
  CellGrid grid(FixedLocale::english());
  for (const char* c : {"a", "b", "c"}) grid.AddColumn(c);
  MemoryStore store;
  grid.SetColumnOrder({2, 0, 1});
  ColOrderSave(grid, store, "main");
  ColOrderRestore(grid);
  EXPECT_EQ(grid.ColumnOrder(), (std::vector<std::int32_t>{0, 1, 2}));
  ColOrderLoad(grid, store, "main");
  EXPECT_EQ(grid.ColumnOrder(), (std::vector<std::int32_t>{2, 0, 1}));
  ColOrderLoad(grid, store, "other");  // no such section: unchanged
  EXPECT_EQ(grid.ColumnOrder(), (std::vector<std::int32_t>{2, 0, 1}));

  store.values["main/1"] = "2";  // two positions naming column 2
  ColOrderRestore(grid);
  ColOrderLoad(grid, store, "main");
  EXPECT_EQ(grid.ColumnOrder(), (std::vector<std::int32_t>{0, 1, 2}));

  ColOrderSave(grid, store, "main");
  grid.AddColumn("d");
  grid.SetColumnOrder({3, 2, 1, 0});
  ColOrderLoad(grid, store, "main");
  EXPECT_EQ(grid.ColumnOrder(), (std::vector<std::int32_t>{3, 2, 1, 0}));
}

TEST(ColumnLayout, WidthsRoundTripInTheLocalesNumberForm) {
  CellGrid grid(FixedLocale::german());
  grid.AddColumn("a", 1234.5f);
  grid.AddColumn("b", 900);
  MemoryStore store;
  grid.SetColWidth(0, 1234.5f);
  ColWidthsSave(grid, store, "g");
  EXPECT_EQ(store.values["g/W0"], "1234,5");
  grid.SetColWidth(0, 10);
  store.values.erase("g/W1");
  grid.SetColWidth(1, 77);
  ColWidthsLoad(grid, store, "g");
  EXPECT_FLOAT_EQ(grid.ColWidth(0), 1234.5f);
  EXPECT_FLOAT_EQ(grid.ColWidth(1), 77.0f);
}

}  // namespace
}  // namespace qelvaro::grid::testing
