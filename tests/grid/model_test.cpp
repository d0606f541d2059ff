// Rows, columns, the two index spaces, current cell, flags, formats and drawing state.
#include <gtest/gtest.h>

#include "grid_error.h"
#include "grid_test_support.h"

namespace qelvaro::grid {
namespace {

using testing::errorOf;
using testing::GridFixture;

struct Model : GridFixture, ::testing::Test {
  void threeRows() {
    grid.AddColumn("A");
    grid.AddColumn("B");
    grid.AddItem("a0\tb0");
    grid.AddItem("a1\tb1");
    grid.AddItem("a2\tb2");
  }
};

TEST_F(Model, AddItemSplitsPiecesAndPlacesRowsOverAnAppendOnlyStore) {
  EXPECT_EQ(grid.AddItem("only\tsurplus"), 0);  // no columns: one full-width column first
  ASSERT_EQ(grid.Cols(), 1);
  EXPECT_FLOAT_EQ(grid.Column(0).Width, view.clientWidth + 1);
  grid.AddColumn("B");
  grid.AddItem("a1\tb1\tc1");
  grid.AddItem("a2");
  EXPECT_EQ(column(0), (std::vector<std::string>{"only", "a1", "a2"}));
  EXPECT_EQ(column(1), (std::vector<std::string>{"", "b1", ""}));
  EXPECT_EQ(grid.AddItem("new0", 0), 0);
  EXPECT_EQ(grid.AddItem("end", 99), 4);
  EXPECT_EQ(column(0), (std::vector<std::string>{"new0", "only", "a1", "a2", "end"}));
  EXPECT_EQ(grid.StoredIndex(0), 3);  // records are appended; only the map moved
}

TEST_F(Model, AddColumnAppendsOrInsertsIntoTheDisplayOrder) {
  grid.AddColumn("A");
  grid.AddColumn("B");
  grid.AddItem("a\tb");
  EXPECT_EQ(grid.AddColumn("C", 500, 4, 0, "", "", 4, false, 0), 2);
  EXPECT_EQ(grid.AddColumn("D", 500, 4, 0, "", "", 4, false, 1), 1);
  EXPECT_EQ(grid.ColumnOrder(), (std::vector<std::int32_t>{0, 3, 1, 2}));
  EXPECT_EQ(grid.ColHeading(3), "D");
  // Existing rows got cells for both new columns, with the shared default format.
  EXPECT_EQ(grid.CellText(0, 3), "");
  EXPECT_EQ(grid.CellFormatIndex(0, 3), grid.CellFormatIndex(0, 0));
  EXPECT_EQ(grid.Formats().at(grid.CellFormatIndex(0, 0)).RefCount, 4);
  EXPECT_EQ(grid.CellBackColor(0, 3), grid.BackColor());
}

TEST_F(Model, RowAccessCorrectsRowsAndIgnoresBadColumns) {
  EXPECT_EQ(grid.CellText(0, 0), "");  // empty grid: nothing, no error
  grid.SetCellText(0, 0, "x");
  grid.SetRowChecked(0, true);
  EXPECT_EQ(grid.CheckedCount(), 0);
  threeRows();
  EXPECT_EQ(grid.CellText(-1, 0), "a0");   // no current row: row 0
  EXPECT_EQ(grid.CellText(50, 1), "b2");   // beyond the last: the last
  EXPECT_EQ(grid.CellText(1, 5), "");      // beyond the last column: nothing
  grid.SetCellText(1, 5, "lost");
  grid.RowColSet(1, 1);
  EXPECT_EQ(grid.CellText(-1, -1), "b1");  // current row and column
  grid.SetCellText(-1, 0, "A1");
  EXPECT_EQ(grid.CellText(1, 0), "A1");
}

TEST_F(Model, ColumnMembersRaiseTheBoundsError) {
  threeRows();
  EXPECT_EQ(errorOf([&] { grid.ColVisible(2); }), ErrorNumber::SubscriptOutOfRange);
  EXPECT_EQ(errorOf([&] { grid.SetColTag(-2, "x"); }), ErrorNumber::SubscriptOutOfRange);
  EXPECT_EQ(errorOf([&] { grid.SetColType(9, 1); }), ErrorNumber::SubscriptOutOfRange);
  EXPECT_EQ(errorOf([&] { grid.BindControl(3, nullptr, true); }), ErrorNumber::SubscriptOutOfRange);
  EXPECT_EQ(errorOf([&] { grid.RowAdded(3); }), ErrorNumber::SubscriptOutOfRange);
  EXPECT_EQ(errorOf([&] { grid.RowChanged(-1); }), ErrorNumber::SubscriptOutOfRange);
  EXPECT_TRUE(grid.ColLocked(-1));
  EXPECT_FALSE(grid.ColLocked(0));
  grid.SetLockAllColumns(true);
  EXPECT_TRUE(grid.ColLocked(0));
  EXPECT_EQ(grid.TotalsCol(7), 0);  // totals never raise
}

TEST_F(Model, RemoveRowCompactsTheStoreAndRefusesRowsOutsideTheGrid) {
  threeRows();
  grid.AddItem("first", 0);  // stored 3, shown first
  grid.RemoveRow(2);         // "a1", stored 1
  EXPECT_EQ(column(0), (std::vector<std::string>{"first", "a0", "a2"}));
  EXPECT_EQ(grid.StoredIndex(0), 2);
  EXPECT_EQ(grid.StoredIndex(2), 1);
  EXPECT_EQ(host.count("RowCountChanged"), 5);
  EXPECT_EQ(errorOf([&] { grid.RemoveRow(3); }), ErrorNumber::SubscriptOutOfRange);
  EXPECT_EQ(errorOf([&] { grid.RemoveRow(-2); }), ErrorNumber::SubscriptOutOfRange);
  grid.RemoveRow(-1);  // no current row: nothing to remove
  EXPECT_EQ(grid.Rows(), 3);
}

TEST_F(Model, RemovingRowsKeepsTheCurrentRowOnTheGrid) {
  threeRows();
  grid.RowColSet(2, 0);
  grid.RemoveRow(-1);  // the current row, which is the last: the current row moves up
  EXPECT_EQ(grid.Row(), 1);
  grid.RemoveRow(0);
  EXPECT_EQ(grid.Row(), 0);
  EXPECT_EQ(grid.CellText(-1, 0), "a1");
  grid.SetRedraw(true);
  grid.RemoveRow(0);  // the only row: the grid is cleared and drawing is off
  EXPECT_EQ(grid.Rows(), 0);
  EXPECT_EQ(grid.Cols(), 2);
  EXPECT_FALSE(grid.Redraw());
  EXPECT_FALSE(grid.Drawing());
  EXPECT_EQ(grid.Row(), -1);
}

TEST_F(Model, RemovingASelectedRowPassesTheSelectionOn) {
  threeRows();
  grid.RowColSet(1, 0);
  ASSERT_TRUE(grid.RowSelected(1));
  grid.RemoveRow(1);
  EXPECT_TRUE(grid.RowSelected(1));
  EXPECT_EQ(grid.SelectedCount(), 1);

  grid.SetMultiSelect(true);
  host.events.clear();
  grid.RemoveRow(1);
  EXPECT_EQ(host.count("SelectionChanged"), 1);
  EXPECT_EQ(grid.SelectedCount(), 0);
}

TEST_F(Model, DeleteSelectedRemovesEverySelectedRowUnderMultiSelect) {
  threeRows();
  grid.AddItem("a3\tb3");
  grid.SetMultiSelect(true);
  grid.SetRowSelected(0, true);
  grid.SetRowSelected(1, true);
  grid.SetRowSelected(3, true);
  grid.DeleteSelected();
  EXPECT_EQ(column(0), (std::vector<std::string>{"a2"}));
  EXPECT_EQ(grid.Row(), 0);

  grid.SetMultiSelect(false);
  grid.AddItem("x");
  grid.RowColSet(1, -1);
  grid.DeleteSelected();  // the current row
  EXPECT_EQ(column(0), (std::vector<std::string>{"a2"}));
}

TEST_F(Model, CheckedAndSelectedCountsFollowTheFlags) {
  grid.AddItem("a", -1, true);
  grid.AddItem("b", -1, true);
  grid.AddItem("c", -1, true);
  EXPECT_EQ(grid.CheckedCount(), 3);
  host.events.clear();
  grid.SetRowChecked(1, false);
  EXPECT_EQ(grid.CheckedCount(), 2);
  EXPECT_TRUE(host.events.empty());  // setting RowChecked raises nothing
  grid.SetRowChecked(1, false);
  EXPECT_EQ(grid.CheckedCount(), 2);
  grid.SetRowSelected(0, true);
  grid.SetRowSelected(2, true);
  EXPECT_EQ(grid.SelectedCount(), 2);
  grid.SelectedClearAll();
  EXPECT_EQ(grid.SelectedCount(), 0);
  grid.RemoveRow(0);
  EXPECT_EQ(grid.CheckedCount(), 1);
}

TEST_F(Model, IdenticalFormatsShareOneCountedEntry) {
  threeRows();
  const std::int16_t base = grid.CellFormatIndex(0, 0);
  EXPECT_EQ(grid.Formats().at(base).RefCount, 6);
  grid.SetCellBackColor(0, 0, 0xFF);
  grid.SetCellBackColor(1, 1, 0xFF);
  const std::int16_t red = grid.CellFormatIndex(0, 0);
  EXPECT_NE(red, base);
  EXPECT_EQ(grid.CellFormatIndex(1, 1), red);
  EXPECT_EQ(grid.Formats().at(red).RefCount, 2);
  EXPECT_EQ(grid.Formats().at(base).RefCount, 4);
  grid.SetCellBackColor(1, 1, 0xFF00);
  EXPECT_EQ(grid.Formats().at(red).RefCount, 1);
  grid.SetCellBackColor(0, 0, grid.BackColor());  // back to the shared default entry
  EXPECT_EQ(grid.CellFormatIndex(0, 0), base);
  EXPECT_EQ(grid.Formats().at(red).RefCount, 0);
  grid.SetCellForeColor(2, 0, 0x123456);  // takes the freed entry again
  EXPECT_EQ(grid.CellFormatIndex(2, 0), red);
  EXPECT_EQ(grid.CellForeColor(2, 0), 0x123456u);
  EXPECT_EQ(grid.CellBackColor(2, 0), grid.BackColor());
  grid.RemoveRow(2);
  EXPECT_EQ(grid.Formats().at(red).RefCount, 0);
}

TEST_F(Model, AFullFormatTableRaisesOverflowAndKeepsTheCell) {
  // 32760 distinct colours plus the defaults fill all 32761 slots a 16-bit index allows.
  grid.AddColumn("A");
  for (int i = 0; i < 32760; ++i) {
    grid.AddItem("x");
    grid.SetCellBackColor(i, 0, static_cast<Colour>(i + 1));
  }
  grid.AddItem("defaults");
  ASSERT_EQ(grid.Formats().slots(), 32761u);
  EXPECT_EQ(errorOf([&] { grid.SetCellForeColor(5, 0, 0x77); }), ErrorNumber::Overflow);
  EXPECT_EQ(grid.CellBackColor(5, 0), 6u);
  EXPECT_EQ(grid.CellForeColor(5, 0), grid.ForeColor());
  grid.SetBackColor(0x999999);  // new rows now need an entry of their own
  const std::int32_t capacity = grid.RowCapacity();
  EXPECT_EQ(errorOf([&] { grid.AddItem("y"); }), ErrorNumber::Overflow);
  EXPECT_EQ(grid.Rows(), 32761);
  EXPECT_EQ(grid.RowCapacity(), capacity);
  // An existing combination is still found.
  grid.SetCellBackColor(5, 0, 7);
  EXPECT_EQ(grid.CellFormatIndex(5, 0), grid.CellFormatIndex(6, 0));
  EXPECT_EQ(grid.Formats().at(grid.CellFormatIndex(6, 0)).RefCount, 2);
}

TEST_F(Model, RowStoreGrowsAndShrinksByCacheIncrement) {
  grid.AddColumn("A");
  EXPECT_EQ(grid.RowCapacity(), 1);
  grid.AddItem("0");
  EXPECT_EQ(grid.RowCapacity(), 1);
  grid.AddItem("1");
  EXPECT_EQ(grid.RowCapacity(), 12);
  for (int i = 2; i < 13; ++i) grid.AddItem(std::to_string(i));
  EXPECT_EQ(grid.RowCapacity(), 23);
  grid.SetCacheIncrement(3);
  grid.RemoveRow(0);  // 12 rows in 23 slots: more than 3 spare
  EXPECT_EQ(grid.RowCapacity(), 12);
  for (int i = 0; i < 3; ++i) grid.RemoveRow(0);
  EXPECT_EQ(grid.RowCapacity(), 12);  // 3 spare slots are allowed
  grid.RemoveRow(0);
  EXPECT_EQ(grid.RowCapacity(), 8);
  EXPECT_EQ(column(0), (std::vector<std::string>{"5", "6", "7", "8", "9", "10", "11", "12"}));
  grid.AddItem("13");
  EXPECT_EQ(grid.RowCapacity(), 8 + 3 + 1);
}

TEST_F(Model, ProgressValuesAreClampedAndOnlyForProgressColumns) {
  grid.AddColumn("P", 500, 4, datatype::Progress);
  grid.AddColumn("T");
  grid.AddItem();
  grid.SetCellProgressValue(0, 0, 150);
  EXPECT_EQ(grid.CellProgressValue(0, 0), 100);
  grid.SetCellProgressValue(0, 0, -5);
  EXPECT_EQ(grid.CellProgressValue(0, 0), 0);
  grid.SetCellProgressValue(0, 0, 42);
  EXPECT_EQ(grid.CellProgressValue(0, 0), 42);
  grid.SetCellProgressValue(0, 1, 42);
  EXPECT_EQ(grid.RowRecord(0).Cells[1].Flags, 0);
}

TEST_F(Model, RowColSetMovesTheCurrentCellAndSelectsTheRow) {
  threeRows();
  grid.RowColSet(1, 1);
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_EQ(grid.Col(), 1);
  EXPECT_TRUE(grid.RowSelected(1));
  EXPECT_EQ(host.count("SelectionChanged"), 1);
  EXPECT_EQ(host.count("RowColChanged"), 1);
  grid.SetRow(2);
  EXPECT_FALSE(grid.RowSelected(1));
  EXPECT_EQ(grid.SelectedCount(), 1);
  EXPECT_EQ(grid.Col(), 1);

  host.events.clear();
  grid.SetColVisible(0, false);
  grid.RowColSet(0, 0);  // hidden column: nothing at all
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_TRUE(host.events.empty());
  grid.SetRowVisible(0, false);
  grid.RowColSet(0, 1);  // hidden row: nothing
  EXPECT_EQ(grid.Row(), 2);
  grid.RowColSet(1, 99);  // column beyond the last: the last column
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_EQ(grid.Col(), 1);
}

TEST_F(Model, CellCheckedOnABooleanColumnWritesTheWordAndMarksTheChange) {
  grid.AddColumn("B", 500, 4, datatype::Boolean);
  grid.AddColumn("T");
  grid.AddItem("0\tx");
  grid.SetCellChecked(0, 0, true);
  EXPECT_EQ(grid.CellText(0, 0), "True");
  EXPECT_TRUE(grid.CellChanged(0, 0));
  EXPECT_TRUE(grid.RowChanged(0));
  EXPECT_TRUE(grid.CellsChanged());
  EXPECT_EQ(grid.TotalsCol(0), -1);
  grid.SetCellChecked(0, 1, true);
  EXPECT_EQ(grid.CellText(0, 1), "x");
  EXPECT_TRUE(grid.CellChecked(0, 1));
}

TEST_F(Model, ClearResetsRowsButKeepsColumns) {
  threeRows();
  grid.RowColSet(1, 1);
  grid.SetCellText(0, 0, "changed");
  grid.SetRedraw(true);
  view.reset();
  grid.SetMouseCell(1, 0);
  grid.Clear();
  EXPECT_EQ(grid.MouseRow(), -1);
  EXPECT_EQ(grid.MouseCol(), -1);
  EXPECT_EQ(grid.Rows(), 0);
  EXPECT_EQ(grid.Cols(), 2);
  EXPECT_EQ(grid.Row(), -1);
  EXPECT_EQ(grid.Col(), -1);
  EXPECT_FALSE(grid.CellsChanged());
  EXPECT_FALSE(grid.Redraw());
  EXPECT_EQ(view.paints, 1);
  EXPECT_EQ(grid.TotalsCol(0), 0);
  grid.ClearAll();
  EXPECT_EQ(grid.Cols(), 0);
  EXPECT_TRUE(grid.ColumnOrder().empty());
}

TEST_F(Model, DrawingIsNotedWhileOffAndDoneWhenRedrawTurnsOn) {
  threeRows();
  view.reset();
  grid.AddItem("x");
  EXPECT_EQ(view.refreshes, 0);
  EXPECT_TRUE(grid.MetricsDue());
  EXPECT_TRUE(grid.ScrollBarsDue());
  grid.SetRedraw(true);
  EXPECT_EQ(view.refreshes, 1);
  EXPECT_FALSE(grid.MetricsDue());
  grid.AddItem("y");
  EXPECT_EQ(view.refreshes, 2);
  grid.SetCellText(0, 0, "z");
  EXPECT_EQ(view.paints, 1);
  grid.SetRedraw(false);
  grid.AddItem("w");
  grid.SetRedraw(false);  // discards the notes
  EXPECT_FALSE(grid.MetricsDue());
  grid.SetRedraw(true);
  EXPECT_EQ(view.refreshes, 2);
  EXPECT_EQ(view.paints, 2);
}

TEST_F(Model, TagsAndPicturesStayWithTheirCells) {
  threeRows();
  auto picture = std::make_shared<GridPicture>();
  grid.CellPicture(picture, 1, 1);
  grid.SetCellTag(2, 0, "t");
  grid.AddItem("top", 0);
  grid.RemoveRow(1);
  EXPECT_EQ(grid.CellPictureGet(1, 1), picture);
  EXPECT_EQ(grid.CellPictureGet(1, 0), nullptr);
  EXPECT_EQ(grid.CellTag(2, 0), "t");
}

TEST_F(Model, RowGroupHeaderIsARowAccessMemberThatStaysWithItsRecord) {
  grid.SetRowGroupHeader(0, 1);  // empty grid: nothing, no error
  EXPECT_EQ(grid.RowGroupHeader(0), 0);
  threeRows();
  grid.SetRowGroupHeader(-1, 7);  // no current row: row 0
  grid.SetRowGroupHeader(50, 9);  // beyond the last: the last
  EXPECT_EQ(grid.RowGroupHeader(0), 7);
  EXPECT_EQ(grid.RowGroupHeader(2), 9);
  grid.AddItem("top", 0);
  grid.Sort(0, 1);  // descending: top, a2, a1, a0
  EXPECT_EQ(grid.RowGroupHeader(1), 9);
  EXPECT_EQ(grid.RowGroupHeader(3), 7);
  EXPECT_EQ(grid.RowGroupHeader(0), 0);
  grid.RowColSet(3, -1);
  EXPECT_EQ(grid.RowGroupHeader(-1), 7);
}

TEST_F(Model, StepsOverHiddenAndLockedRowsAndColumns) {
  threeRows();
  grid.AddItem("a3");
  grid.AddColumn("C");
  grid.RowColSet(0, 0);
  grid.SetRowVisible(1, false);
  grid.SetRowLocked(2, true);
  EXPECT_EQ(grid.NextRow(1, 0), 3);
  EXPECT_EQ(grid.NextRow(1, rowflag::Locked), 2);
  EXPECT_EQ(grid.NextRow(5, 0), 3);
  grid.SetColLocked(1, true);
  EXPECT_EQ(grid.NextCol(false), 2);
  grid.RowColSet(0, 2);
  EXPECT_EQ(grid.NextCol(false), 0);  // wraps round
}

}  // namespace
}  // namespace qelvaro::grid
