// Cell texts and values, check-box columns, running totals, format walks and the edit commit.
#include <gtest/gtest.h>

#include "grid_test_support.h"

namespace qelvaro::grid {
namespace {

using testing::GridFixture;

struct Values : GridFixture, ::testing::Test {};

TEST_F(Values, BooleanColumnsCheckCellsByTheirNumericReading) {
  grid.AddColumn("B", 500, 4, datatype::Boolean);
  grid.AddItem("1");
  grid.AddItem("0");
  grid.AddItem("yes");
  grid.AddItem("true");
  EXPECT_TRUE(grid.CellChecked(0, 0));
  EXPECT_FALSE(grid.CellChecked(1, 0));
  EXPECT_FALSE(grid.CellChecked(2, 0));
  EXPECT_TRUE(grid.CellChecked(3, 0));
  grid.SetCellText(1, 0, "5");
  EXPECT_TRUE(grid.CellChecked(1, 0));
  grid.SetCellText(0, 0, "no");
  EXPECT_FALSE(grid.CellChecked(0, 0));
}

TEST_F(Values, CellValueReadsNumbersAndBooleans) {
  grid.AddColumn("T");
  grid.AddColumn("B", 500, 4, datatype::Boolean);
  grid.AddItem("7 kg\t");
  grid.AddItem("abc\tTrue");
  grid.AddItem("\tabc");
  EXPECT_EQ(grid.CellValue(0, 0), CellVariant(7.0));
  EXPECT_EQ(grid.CellValue(1, 0), CellVariant(0.0));
  EXPECT_EQ(grid.CellValue(0, 1), CellVariant(false));  // empty text
  EXPECT_EQ(grid.CellValue(1, 1), CellVariant(true));
  EXPECT_EQ(grid.CellValue(2, 1), CellVariant(std::monostate{}));  // not a Boolean
  EXPECT_EQ(grid.CellValue(0, 9), CellVariant(std::monostate{}));  // bad cell
}

TEST_F(Values, SettingCellValueStoresTheNumberInTheLocaleForm) {
  grid.AddColumn("N", 500, 4, datatype::Number);
  grid.AddItem("3");
  grid.SetCellValue(0, 0, std::string("word"));
  EXPECT_EQ(grid.CellText(0, 0), "0");
  grid.SetCellValue(0, 0, true);
  EXPECT_EQ(grid.CellText(0, 0), "-1");
  grid.SetCellValue(0, 0, 2.5);
  EXPECT_EQ(grid.CellText(0, 0), "2.5");
  EXPECT_EQ(grid.TotalsCol(0), 2.5);
  EXPECT_TRUE(grid.CellChanged(0, 0));

  testing::RecordingHost host2;
  CellGrid german(FixedLocale::german(), &host2);
  german.AddColumn("N", 500, 4, datatype::Number);
  german.AddItem("1");
  german.SetCellValue(0, 0, std::string("1.234,5"));
  EXPECT_EQ(german.CellText(0, 0), "1234,5");
  EXPECT_EQ(german.TotalsCol(0), 1234.5);
}

TEST_F(Values, CellValueOnACheckBoxColumnKeepsTheTotalTrue) {
  grid.AddColumn("B", 500, 4, datatype::Boolean);
  grid.AddItem("0");
  grid.AddItem("0");
  grid.SetCellValue(0, 0, true);
  EXPECT_EQ(grid.CellText(0, 0), "-1");
  EXPECT_TRUE(grid.CellChecked(0, 0));
  EXPECT_EQ(grid.TotalsCol(0), -1);  // the sum of the column's readings
  grid.SetCellValue(0, 0, 0.0);
  EXPECT_FALSE(grid.CellChecked(0, 0));
  EXPECT_EQ(grid.TotalsCol(0), 0);
}

TEST_F(Values, RunningTotalsFollowEveryTextChange) {
  grid.AddColumn("Name");
  grid.AddColumn("N", 500, 4, datatype::Number);
  grid.AddItem("a\t5");
  grid.AddItem("b\t7");
  EXPECT_EQ(grid.TotalsCol(1), 12);
  grid.SetColumnOrder({1, 0});  // reordered by dragging: totals stay with the column index
  grid.SetCellText(0, 1, "10");
  EXPECT_EQ(grid.TotalsCol(1), 17);
  grid.RemoveRow(0);
  EXPECT_EQ(grid.TotalsCol(1), 7);
  EXPECT_EQ(grid.TotalsCol(0), 0);
  grid.AddItem("c\t$1,000.50", 0);
  EXPECT_EQ(grid.TotalsCol(1), 1007.5);
  grid.Clear();
  EXPECT_EQ(grid.TotalsCol(1), 0);
}

// Totals are running sums: each change is added as it happens, rounding included,
// however late they are read.
TEST_F(Values, TotalsReadLateAreTheRunningSumsOfEveryChange) {
  grid.AddColumn("N", 500, 4, datatype::Number);
  for (const char* t : {"9007199254740992", "1", "1"}) grid.AddItem(t);  // 2^53 + 1 rounds to 2^53
  grid.RemoveRow(0);                                                     // 2^53 - 2^53 = 0
  grid.AddItem("2");
  grid.SetCellText(0, 0, "4");  // 0 + 2 + (4 - 1)
  EXPECT_EQ(grid.TotalsCol(0), 5.0);
}

TEST_F(Values, TotalsLineAverageIsOverAllRows) {
  grid.AddColumn("N", 500, 4, datatype::Number);
  grid.SetTotalsLineColAvg(0, true);
  EXPECT_EQ(grid.TotalsLineValue(0), std::nullopt);  // no rows, no average
  grid.AddItem("6");
  EXPECT_EQ(grid.TotalsLineValue(0), 6.0);
  grid.AddItem("3");
  grid.AddItem("3");
  EXPECT_EQ(grid.TotalsLineValue(0), 4.0);
  grid.SetTotalsLineColAvg(0, false);
  EXPECT_EQ(grid.TotalsLineValue(0), 12.0);
  grid.SetTotalsLineColAvg(5, true);  // ignored
  grid.SetTotalsLineCaption(0, "Sum");
  EXPECT_EQ(grid.TotalsLineCaption(0), "Sum");
  EXPECT_EQ(grid.TotalsLineCaption(3), "");
}

TEST_F(Values, FormatCellsColoursARangeAndSkipsNothingElse) {
  grid.FormatCells(0, -1, 2, 2, 1, "255");  // empty grid: nothing
  EXPECT_EQ(grid.Rows(), 0);
  for (int i = 0; i < 3; ++i) grid.AddColumn("C" + std::to_string(i));
  grid.AddItem("a\tb\tc");
  grid.AddItem("d\te\tf");
  grid.SetRedraw(true);
  view.reset();
  grid.FormatCells(0, -1, 2, 2, 1, "255");
  EXPECT_EQ(view.paints, 1);  // one repaint for the whole walk
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(grid.CellBackColor(r, 2), 255u);
    EXPECT_EQ(grid.CellBackColor(r, 1), grid.BackColor());
  }
  grid.FormatCells(1, 1, 0, -1, 5, "1");
  EXPECT_TRUE(grid.CellFontBold(1, 0));
  EXPECT_TRUE(grid.CellFontBold(1, 2));
  EXPECT_FALSE(grid.CellFontBold(0, 0));
  grid.FormatCells(0, -1, 0, -1, 4, "   ");  // blank font name: ignored
  EXPECT_EQ(grid.CellFontName(0, 0), grid.Font().name);
  grid.FormatCells(0, 0, 0, 0, 4, "Arial");
  EXPECT_EQ(grid.CellFontName(0, 0), "Arial");
  grid.FormatCells(0, 0, 0, 0, 2, "99999999999");  // not a 32-bit value: skipped
  EXPECT_EQ(grid.CellForeColor(0, 0), grid.ForeColor());
  grid.FormatCells(0, 0, 0, 0, 8, "true");
  EXPECT_TRUE(grid.CellHandPointer(0, 0));
  grid.FormatCells(0, 0, 1, 1, 3, "12");
  EXPECT_EQ(grid.CellImage(0, 1), 12);
  grid.FormatCells(0, 99, 0, 99, 6, "1");  // ranges past the end stop at the end
  EXPECT_TRUE(grid.CellFontItalic(1, 2));
  grid.FormatCellsAlignment(1, -1, 1, 2, 9);
  EXPECT_EQ(grid.CellAlignment(1, 1), 9);
  EXPECT_EQ(grid.CellAlignment(1, 2), 9);
  EXPECT_EQ(grid.CellAlignment(0, 1), 4);
}

struct Editing : Values {
  void SetUp() override {
    grid.AddColumn("Name");
    grid.AddColumn("N", 500, 4, datatype::Number);
    grid.AddItem("a\t5");
    grid.AddItem("b\t7");
  }
};

TEST_F(Editing, ACancelledCommitKeepsTheEditorOpenAndTheOldText) {
  host.onAfterEdit = [](std::int32_t, std::int32_t, std::string&, bool& cancel) { cancel = true; };
  grid.OpenEdit(0, 1, "9");
  EXPECT_FALSE(grid.UpdateCell(false));
  EXPECT_TRUE(grid.EditPending());
  EXPECT_EQ(grid.CellText(0, 1), "5");
  EXPECT_EQ(view.editorHides, 0);
}

TEST_F(Editing, AnUnchangedEditClosesTheEditorWithoutMarking) {
  grid.OpenEdit(0, 0, "a");
  EXPECT_TRUE(grid.UpdateCell(false));
  EXPECT_FALSE(grid.EditPending());
  EXPECT_EQ(host.count("AfterEdit"), 0);
  EXPECT_FALSE(grid.CellChanged(0, 0));
  EXPECT_EQ(view.editorHides, 1);
}

TEST_F(Editing, ACommitStoresTheHostsValueAndMarksTheChange) {
  host.onAfterEdit = [](std::int32_t row, std::int32_t col, std::string& value, bool&) {
    EXPECT_EQ(row, 1);
    EXPECT_EQ(col, 1);
    EXPECT_EQ(value, "20");
    value = "30";
  };
  grid.OpenEdit(1, 1, "20");
  EXPECT_TRUE(grid.UpdateCell(false));
  EXPECT_EQ(grid.CellText(1, 1), "30");
  EXPECT_EQ(grid.TotalsCol(1), 35);
  EXPECT_TRUE(grid.CellChanged(1, 1));
  EXPECT_TRUE(grid.RowChanged(1));
  EXPECT_TRUE(grid.CellsChanged());
}

TEST_F(Editing, ABoundControlAlwaysCommitsWhatTheHostSupplies) {
  grid.BindControl(0, std::make_shared<GridControl>(), true);
  EXPECT_TRUE(grid.Column(0).MoveControl);
  host.onAfterEdit = [](std::int32_t, std::int32_t, std::string& value, bool&) {
    EXPECT_EQ(value, "");
    value = "from control";
  };
  grid.OpenEdit(0, 0, "ignored");
  EXPECT_TRUE(grid.UpdateCell(false));
  EXPECT_EQ(host.count("AfterEdit"), 1);
  EXPECT_EQ(grid.CellText(0, 0), "from control");
}

TEST_F(Editing, CommitAndMoveFollowsEditMove) {
  grid.RowColSet(0, 0);
  grid.SetEditMove(2);
  grid.OpenEdit(0, 0, "x");
  grid.UpdateCell(true);
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_EQ(grid.SelectedCount(), 1);
  grid.SetEditMove(1);
  grid.OpenEdit(1, 0, "y");
  grid.UpdateCell(true);
  EXPECT_EQ(grid.Col(), 1);
  EXPECT_EQ(grid.Row(), 1);
}

TEST_F(Editing, TheEditFollowsItsRecordAndIsDroppedWithIt) {
  grid.OpenEdit(1, 1, "99");
  grid.AddItem("top\t1", 0);
  grid.RemoveRow(1);  // "a", above the edited row
  EXPECT_EQ(grid.EditRow(), 1);
  EXPECT_TRUE(grid.UpdateCell(false));
  EXPECT_EQ(column(1), (std::vector<std::string>{"1", "99"}));
  EXPECT_EQ(grid.TotalsCol(1), 100);

  grid.OpenEdit(1, 1, "5");
  grid.RemoveRow(1);
  EXPECT_FALSE(grid.EditPending());
  EXPECT_TRUE(grid.UpdateCell(false));
  EXPECT_EQ(grid.TotalsCol(1), 1);
}

}  // namespace
}  // namespace qelvaro::grid
