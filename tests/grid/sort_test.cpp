// Sorting by one or two columns, the sort-state cycle, header clicks and CustomSort.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "fixed_locale.h"
#include "value_reading.h"

#include "grid_error.h"
#include "grid_test_support.h"

namespace qelvaro::grid {
namespace {

using testing::GridFixture;
using Texts = std::vector<std::string>;

struct Sorting : GridFixture, ::testing::Test {
  void fill(std::int16_t type, const Texts& texts) {
    grid.AddColumn("C", 500, 4, type);
    for (const auto& t : texts) grid.AddItem(t);
  }
};

TEST_F(Sorting, HeaderClicksCycleAscendingDescendingAndStorageOrder) {
  fill(datatype::Text, {"b", "c", "a"});
  grid.SetAllowColumnSort(true);
  grid.HeaderClick(0, false);
  EXPECT_EQ(column(0), (Texts{"a", "b", "c"}));
  EXPECT_EQ(grid.ColSortState(0), 2);
  grid.HeaderClick(0, false);
  EXPECT_EQ(column(0), (Texts{"c", "b", "a"}));
  EXPECT_EQ(grid.ColSortState(0), 1);
  grid.HeaderClick(0, false);
  EXPECT_EQ(column(0), (Texts{"b", "c", "a"}));
  EXPECT_EQ(grid.ColSortState(0), 0);
  EXPECT_EQ(grid.SortPrimary(), -1);
  EXPECT_EQ(host.count("SortComplete"), 3);
  EXPECT_EQ(host.doEventsCalls, 3);
}

TEST_F(Sorting, NumberColumnsSortByValue) {
  fill(datatype::Number, {"10", "9", "100", "$5", "-1"});
  grid.Sort(0, 2);
  EXPECT_EQ(column(0), (Texts{"-1", "$5", "9", "10", "100"}));
  grid.Sort(0, 1);
  EXPECT_EQ(column(0), (Texts{"100", "10", "9", "$5", "-1"}));
}

TEST_F(Sorting, CheckBoxColumnsPutCheckedRowsFirstAscending) {
  fill(datatype::Boolean, {"0", "1", "0", "1"});
  grid.SetCellTag(0, 0, "first unchecked");
  grid.Sort(0, 2);
  EXPECT_TRUE(grid.CellChecked(0, 0));
  EXPECT_TRUE(grid.CellChecked(1, 0));
  EXPECT_FALSE(grid.CellChecked(2, 0));
  grid.Sort(0, 1);
  EXPECT_FALSE(grid.CellChecked(0, 0));
  EXPECT_FALSE(grid.CellChecked(1, 0));
  EXPECT_TRUE(grid.CellChecked(3, 0));
}

TEST_F(Sorting, DatesRankAboveTextsThatAreNotDates) {
  fill(datatype::Date, {"3/1/2020", "soon", "12/25/2019", "", "2020-01-15"});
  grid.Sort(0, 2);
  const Texts asc = column(0);
  EXPECT_EQ(Texts(asc.begin() + 2, asc.end()), (Texts{"12/25/2019", "2020-01-15", "3/1/2020"}));
  EXPECT_TRUE(std::is_permutation(asc.begin(), asc.begin() + 2, Texts{"soon", ""}.begin()));
  grid.Sort(0, 1);
  const Texts desc = column(0);
  EXPECT_EQ(Texts(desc.begin(), desc.begin() + 3), (Texts{"3/1/2020", "2020-01-15", "12/25/2019"}));
}

TEST_F(Sorting, TextSortIgnoresCase) {
  fill(datatype::Text, {"cherry", "Banana", "apple"});
  grid.Sort(0, 2);
  EXPECT_EQ(column(0), (Texts{"apple", "Banana", "cherry"}));
}

// Long columns, sorted by keys made once per row: the order is the stable order of
// the column's comparison (ties keep the order the rows had), both ways.
TEST_F(Sorting, LongColumnsSortAsTheirComparisonWouldKeepingTiesInPlace) {
  const Locale& en = grid.locale();
  const std::string nul("ab\0", 3);
  struct Case {
    std::int16_t type;
    Texts pool;
    std::function<bool(const std::string&, const std::string&)> less;
  };
  auto date = [&](const std::string& t) { return en.parseDate(t).value_or(-1e300); };
  const Case cases[] = {
      {datatype::Number,
       {"5", "-5", "0", "-0", "1.5", "$2", "abc", "", "&HFF", "12345678901234567", "007", "-0.25", "1e3"},
       [&](const std::string& a, const std::string& b) { return rVal(a, en) < rVal(b, en); }},
      {datatype::Date,
       {"3/1/2020", "12/25/2019", "soon", "", "2020-01-15", "1/1/1900", "2020-01-15 10:30"},
       [&](const std::string& a, const std::string& b) { return date(a) < date(b); }},
      {datatype::Text,
       {"", "a", "A", "ab", nul, "zz", "abcdefgh", "ABCDEFGH", "abcdefghi", "abcdefg", "abcdefgh1", "\xC3\xA4x",
        "\xC3\x84X", "\xC3\xA4"},
       [&](const std::string& a, const std::string& b) { return en.sortKey(a) < en.sortKey(b); }},
  };
  for (const Case& c : cases) {
    grid.ClearAll();
    grid.AddColumn("K", 500, 4, c.type);
    grid.AddColumn("Shuffle", 500, 4, datatype::Number);
    std::mt19937 rng(7);
    Texts keys;  // by RowData, which is the storage index
    for (std::int32_t i = 0; i < 3000; ++i) {
      keys.push_back(c.pool[rng() % c.pool.size()]);
      grid.AddItem(keys.back() + "\t" + std::to_string(rng() % 1000), -1, false, false, false, true, i);
    }
    for (std::int32_t state : {2, 1}) {
      SCOPED_TRACE("type " + std::to_string(c.type) + " state " + std::to_string(state));
      grid.Sort(1, 2);  // ties of the next sort come in this order
      std::vector<std::int32_t> expected;
      for (std::int32_t r = 0; r < grid.Rows(); ++r) expected.push_back(grid.RowData(r));
      std::stable_sort(expected.begin(), expected.end(), [&](std::int32_t a, std::int32_t b) {
        return state == 2 ? c.less(keys[a], keys[b]) : c.less(keys[b], keys[a]);
      });
      grid.Sort(0, state);
      std::vector<std::int32_t> got;
      for (std::int32_t r = 0; r < grid.Rows(); ++r) got.push_back(grid.RowData(r));
      ASSERT_EQ(got, expected);
    }
  }
}

TEST_F(Sorting, SecondaryColumnSortsRunsOfIdenticalPrimaryTexts) {
  grid.AddColumn("P");
  grid.AddColumn("S", 500, 4, datatype::Number);
  for (const char* row : {"b\t1", "a\t1", "a\t3", "A\t9", "a\t2", "b\t5"}) grid.AddItem(row);
  grid.Sort(0, 2, 1, 1);
  std::vector<std::pair<std::string, double>> rows;
  for (int r = 0; r < grid.Rows(); ++r) rows.emplace_back(grid.CellText(r, 0), grid.rVal(grid.CellText(r, 1)));
  ASSERT_EQ(rows.size(), 6u);
  for (int r = 0; r < 4; ++r) EXPECT_TRUE(rows[r].first == "a" || rows[r].first == "A");
  EXPECT_EQ(rows[4], std::make_pair(std::string("b"), 5.0));
  EXPECT_EQ(rows[5], std::make_pair(std::string("b"), 1.0));
  // Within every run of exactly equal primary texts the secondary descends; "A"
  // equals "a" for the primary order but is never part of an "a" run.
  int runs = 0;
  for (int r = 1; r < 6; ++r) {
    if (rows[r].first == rows[r - 1].first) EXPECT_GE(rows[r - 1].second, rows[r].second) << r;
    else ++runs;
  }
  EXPECT_GE(runs, 2);
  EXPECT_EQ(grid.ColSortState(1), 1);
  EXPECT_EQ(grid.SortSecondary(), 1);
}

TEST_F(Sorting, TheCurrentRowStaysOnItsRecord) {
  fill(datatype::Text, {"d", "b", "a", "c"});
  grid.RowColSet(0, 0);  // "d"
  grid.Sort(0, 2);
  EXPECT_EQ(grid.Row(), 3);
  EXPECT_EQ(grid.CellText(-1, 0), "d");
  EXPECT_TRUE(grid.RowSelected(3));
  EXPECT_EQ(grid.RowData(3), 0);
}

TEST_F(Sorting, ACancelledEditStopsTheSort) {
  fill(datatype::Text, {"b", "a"});
  host.onAfterEdit = [](std::int32_t, std::int32_t, std::string&, bool& cancel) { cancel = true; };
  grid.OpenEdit(0, 0, "zz");
  grid.Sort(0, 2);
  EXPECT_EQ(column(0), (Texts{"b", "a"}));
  EXPECT_EQ(host.count("SortComplete"), 0);
  EXPECT_EQ(grid.ColSortState(0), 0);
}

TEST_F(Sorting, APendingEditIsCommittedBeforeSorting) {
  fill(datatype::Text, {"b", "a"});
  grid.OpenEdit(0, 0, "c");
  grid.Sort(0, 2);
  EXPECT_EQ(column(0), (Texts{"a", "c"}));
}

TEST_F(Sorting, EmptyGridRaisesNothingAndAMissingPrimaryIsAnError) {
  grid.AddColumn("C");
  grid.Sort();
  EXPECT_TRUE(host.events.empty());
  grid.AddItem("x");
  try {
    grid.Sort();
    FAIL();
  } catch (const GridError& e) {
    EXPECT_EQ(e.code(), 9);
  }
  EXPECT_THROW(grid.Sort(4, 2), GridError);
}

TEST_F(Sorting, StateZeroRestoresTheStorageOrder) {
  fill(datatype::Text, {"b", "c", "a"});
  grid.AddItem("first", 0);
  grid.Sort(0, 2);
  grid.Sort(0, 0);
  EXPECT_EQ(column(0), (Texts{"b", "c", "a", "first"}));
  EXPECT_EQ(grid.SortPrimary(), -1);
}

TEST_F(Sorting, ARepeatedSortWithoutColumnsUsesTheRememberedColumn) {
  grid.AddColumn("A");
  grid.AddColumn("B");
  for (const char* row : {"1\tz", "2\ty", "3\tx"}) grid.AddItem(row);
  grid.SetColumnOrder({1, 0});
  grid.Sort(0, 1);
  grid.Sort(-1, 2);
  EXPECT_EQ(column(0), (Texts{"1", "2", "3"}));
  EXPECT_EQ(grid.SortPrimary(), 0);
}

TEST_F(Sorting, HeaderClicksSortTheClickedColumnWhenColumnsAreReordered) {
  grid.AddColumn("A");
  grid.AddColumn("B");
  for (const char* row : {"1\tz", "2\ty", "3\tx"}) grid.AddItem(row);
  grid.SetColumnOrder({1, 0});
  grid.SetAllowColumnSort(true);
  grid.HeaderClick(0, false);  // column B is shown first
  EXPECT_EQ(column(1), (Texts{"x", "y", "z"}));
  EXPECT_EQ(grid.Col(), 1);
  EXPECT_EQ(grid.SortPrimary(), 1);
}

TEST_F(Sorting, CtrlClickAddsASecondaryWithThePrimaryDirection) {
  grid.AddColumn("P");
  grid.AddColumn("S");
  for (const char* row : {"x\tb", "y\tz", "x\ta", "x\tc"}) grid.AddItem(row);
  grid.SetAllowColumnSort(true);
  grid.HeaderClick(0, false);  // ascending on P
  grid.HeaderClick(0, false);  // descending on P
  grid.HeaderClick(1, true);
  EXPECT_EQ(grid.ColSortState(0), 1);
  EXPECT_EQ(grid.ColSortState(1), 1);
  EXPECT_EQ(column(0), (Texts{"y", "x", "x", "x"}));
  EXPECT_EQ(column(1), (Texts{"z", "c", "b", "a"}));
  grid.HeaderClick(0, false);  // cycle P back to storage order, forgetting both
  EXPECT_EQ(column(0), (Texts{"x", "y", "x", "x"}));
  EXPECT_EQ(grid.SortSecondary(), -1);
}

TEST_F(Sorting, OnlyTheSortColumnsKeepADirection) {
  grid.AddColumn("A");
  grid.AddColumn("B");
  grid.AddColumn("C");
  for (const char* row : {"1\tb\tz", "2\ta\ty", "1\tc\tx"}) grid.AddItem(row);
  grid.SetAllowColumnSort(true);
  auto states = [&] { return std::vector<std::int32_t>{grid.ColSortState(0), grid.ColSortState(1), grid.ColSortState(2)}; };
  grid.HeaderClick(0, false);
  grid.HeaderClick(1, false);  // a new primary: A shows no arrow any more
  EXPECT_EQ(states(), (std::vector<std::int32_t>{0, 2, 0}));
  grid.HeaderClick(0, true);  // Ctrl: A joins as secondary
  EXPECT_EQ(grid.SortSecondary(), 0);
  grid.HeaderClick(2, true);  // another secondary replaces it
  EXPECT_EQ(states(), (std::vector<std::int32_t>{0, 2, 2}));
  EXPECT_EQ(grid.SortSecondary(), 2);
  EXPECT_EQ(grid.Col(), 2);
  grid.HeaderClick(0, false);  // without Ctrl the secondary is dropped too
  EXPECT_EQ(states(), (std::vector<std::int32_t>{2, 0, 0}));
  EXPECT_EQ(grid.SortSecondary(), -1);
  EXPECT_EQ(column(0), (Texts{"1", "1", "2"}));
  grid.Sort(1, 1);  // the same through Sort
  EXPECT_EQ(states(), (std::vector<std::int32_t>{0, 1, 0}));
  grid.HeaderClick(1, false);  // back to storage order: no arrows at all
  EXPECT_EQ(states(), (std::vector<std::int32_t>{0, 0, 0}));
  EXPECT_EQ(column(1), (Texts{"b", "a", "c"}));
}

TEST_F(Sorting, CustomSortAsksTheHostForEveryComparison) {
  fill(datatype::Custom, {"ccc", "a", "bb"});
  std::vector<bool> ascendingArgs;
  host.onCustomSort = [&](bool& ascending, std::int32_t& col, std::string& v1, std::string& v2, bool& swap) {
    EXPECT_EQ(col, 0);
    EXPECT_FALSE(swap);
    ascendingArgs.push_back(ascending);
    swap = ascending ? v1.size() > v2.size() : v1.size() < v2.size();
  };
  grid.Sort(0, 2);
  EXPECT_EQ(column(0), (Texts{"a", "bb", "ccc"}));
  EXPECT_GT(host.customSortCalls, 0);
  EXPECT_TRUE(std::none_of(ascendingArgs.begin(), ascendingArgs.end(), [](bool b) { return b; }));
  ascendingArgs.clear();
  grid.Sort(0, 1);  // the host hears Ascending = True for a descending sort
  EXPECT_EQ(column(0), (Texts{"ccc", "bb", "a"}));
  EXPECT_TRUE(std::all_of(ascendingArgs.begin(), ascendingArgs.end(), [](bool b) { return b; }));
}

TEST_F(Sorting, AnInconsistentCustomSortStillPermutesTheRows) {
  Texts texts;
  for (int i = 0; i < 300; ++i) texts.push_back(std::to_string(i));
  fill(datatype::Custom, texts);
  std::mt19937 rng(7);
  host.onCustomSort = [&](bool&, std::int32_t&, std::string&, std::string&, bool& swap) { swap = rng() & 1; };
  grid.Sort(0, 2);
  Texts after = column(0);
  std::sort(after.begin(), after.end());
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(after, texts);
}

TEST_F(Sorting, ACustomSortHandlerThatRemovesRowsAbandonsTheSort) {
  fill(datatype::Custom, {"c", "a", "b", "d"});
  host.onCustomSort = [&](bool&, std::int32_t&, std::string&, std::string&, bool& swap) {
    if (grid.Rows() == 4) grid.RemoveRow(0);
    swap = true;
  };
  grid.Sort(0, 2);
  EXPECT_EQ(column(0), (Texts{"a", "b", "d"}));
  EXPECT_EQ(host.count("SortComplete"), 0);
}

}  // namespace
}  // namespace qelvaro::grid
