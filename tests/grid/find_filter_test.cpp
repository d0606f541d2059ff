// FindItem and the row filter: match modes, case, starting rows and hidden rows.
#include <gtest/gtest.h>

#include "grid_error.h"
#include "grid_test_support.h"

namespace qelvaro::grid {
namespace {

using testing::GridFixture;

struct Finding : GridFixture, ::testing::Test {
  void SetUp() override {
    grid.AddColumn("Key");
    grid.AddColumn("Name");
    for (const char* row : {"1\tabc", "2\tABC", "3\txay", "4\tyx", "5\tzebra", "6\t"}) grid.AddItem(row);
  }
  std::vector<bool> visible() {
    std::vector<bool> out;
    for (int r = 0; r < grid.Rows(); ++r) out.push_back(grid.RowVisible(r));
    return out;
  }
};

TEST_F(Finding, EmptyTextFindsNothing) {
  EXPECT_EQ(grid.FindItem("", 1), -1);
  CellGrid empty(FixedLocale::english());
  EXPECT_EQ(empty.FindItem("x", 0), -1);
}

TEST_F(Finding, PrefixModeFollowsMatchCase) {
  EXPECT_EQ(grid.FindItem("ab", 1, 5), 0);
  EXPECT_EQ(grid.FindItem("ab", 1, 5, false, 1), 1);  // ABC without MatchCase
  EXPECT_EQ(grid.FindItem("ab", 1, 5, true, 1), -1);
  EXPECT_EQ(grid.FindItem("AB", 1, 5, true), 1);
  EXPECT_EQ(grid.FindItem("abc", 1, 0, false, 99), 0);  // a start past the end searches from the top
  grid.SetRowVisible(0, false);
  EXPECT_EQ(grid.FindItem("abc", 1), 0);  // hidden rows are searched too
}

TEST_F(Finding, EachModeMatchesItsRule) {
  EXPECT_EQ(grid.FindItem("xay", 1, 0), 2);
  EXPECT_EQ(grid.FindItem("XA", 1, 0), -1);
  EXPECT_EQ(grid.FindItem("A", 1, 2, false, 2), 2);   // contains
  EXPECT_EQ(grid.FindItem("ay", 1, 6), 2);            // ends with
  EXPECT_EQ(grid.FindItem("abcdef", 1, 6), -1);        // longer than every text
  EXPECT_EQ(grid.FindItem("b", 1, 1), 0);             // "ABC" sorts before "B"
  EXPECT_EQ(grid.FindItem("zz", 1, 4), 4);            // same first letter, sorts before
  EXPECT_EQ(grid.FindItem("a", 1, 4), -1);            // "ABC" sorts after "A"
  EXPECT_EQ(grid.FindItem("abc", 1, 3), -1);          // no such mode
  EXPECT_EQ(grid.FindItem("abc", 1, -7), -1);
}

TEST_F(Finding, SearchColumnDefaultsToTheProperty) {
  EXPECT_EQ(grid.FindItem("3"), 2);  // SearchColumn 0
  grid.SetSearchColumn(1);
  EXPECT_EQ(grid.FindItem("yx"), 3);
  grid.SetSearchColumn(-4);
  EXPECT_EQ(grid.FindItem("yx"), -1);
  EXPECT_THROW(grid.FindItem("yx", 2), GridError);
}

TEST_F(Finding, SuccessiveFiltersNarrowTheRows) {
  grid.FilterOn("x", 1, 2);
  EXPECT_EQ(visible(), (std::vector<bool>{false, false, true, true, false, false}));
  grid.FilterOn("a", 1, 2);
  EXPECT_EQ(visible(), (std::vector<bool>{false, false, true, false, false, false}));
  EXPECT_EQ(grid.Rows(), 6);
}

TEST_F(Finding, FilterStartsAtTheStartingRowAndIgnoresBadStarts) {
  grid.FilterOn("abc", 1, 3, false, 2);  // mode 3 matches nothing
  EXPECT_EQ(visible(), (std::vector<bool>{true, true, false, false, false, false}));
  grid.FilterOff();
  grid.FilterOn("abc", 1, 3, false, 6);
  grid.FilterOn("abc", 1, 3, false, -1);
  EXPECT_EQ(visible(), std::vector<bool>(6, true));
}

TEST_F(Finding, AnEmptyFilterKeepsOnlyEmptyCells) {
  grid.FilterOn("", 1, 0);
  EXPECT_EQ(visible(), (std::vector<bool>{false, false, false, false, false, true}));
}

TEST_F(Finding, FilterOffShowsRowsAgainAndKeepsTheCurrentRowInView) {
  grid.SetRedraw(true);
  grid.RowColSet(4, 1);
  grid.FilterOn("abc", 1, 0);
  view.reset();
  grid.FilterOff(3);
  EXPECT_EQ(visible(), (std::vector<bool>{true, true, false, true, true, true}));
  ASSERT_FALSE(view.ensured.empty());
  EXPECT_EQ(view.ensured.back(), 4);
  EXPECT_EQ(view.refreshes, 1);  // the scroll ranges noted while filtering
  grid.FilterOff(-5);
  EXPECT_EQ(visible(), std::vector<bool>(6, true));
}

TEST_F(Finding, ABadFilterColumnIsAnErrorAndLeavesDrawingOn) {
  grid.SetRedraw(true);
  EXPECT_THROW(grid.FilterOn("x", -1), GridError);
  EXPECT_THROW(grid.FilterOn("x", 2), GridError);
  EXPECT_TRUE(grid.Drawing());
  EXPECT_EQ(visible(), std::vector<bool>(6, true));
}

TEST_F(Finding, CaseFoldingUsesTheLocale) {
  grid.AddItem("7\t\xC3\xA4pfel");  // äpfel
  EXPECT_EQ(grid.FindItem("\xC3\x84PFEL", 1), 6);
  EXPECT_EQ(grid.FindItem("\xC3\x84PFEL", 1, 0, true), -1);
}

// After a sort the search walks the row store in its own order; the row it returns
// must still be the first match in display order at or after the starting row.
TEST(FindingAfterSort, FirstMatchInDisplayOrder) {
  CellGrid grid(FixedLocale::english());
  grid.AddColumn("key");
  grid.AddColumn("other");
  for (int i = 0; i < 300; ++i)
    grid.AddItem("k" + std::to_string((i * 7) % 23) + "\t" + std::to_string((i * 131) % 97));
  grid.Sort(1, 1);
  for (int mode : {0, 2, 5})
    for (int start : {0, 17, 150, 299})
      for (int k = 0; k < 23; k += 5) {
        const std::string text = "K" + std::to_string(k);
        std::int32_t expected = -1;
        for (std::int32_t r = start; r < grid.Rows() && expected < 0; ++r) {
          const std::string cell = "K" + grid.CellText(r, 0).substr(1);
          const bool match = mode == 0 ? cell == text : mode == 2 ? cell.find(text) != std::string::npos
                                                                   : cell.rfind(text, 0) == 0;
          if (match) expected = r;
        }
        EXPECT_EQ(grid.FindItem(text, 0, mode, false, start), expected) << mode << " " << start << " " << text;
      }
}

}  // namespace
}  // namespace qelvaro::grid
