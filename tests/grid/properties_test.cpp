// Stored properties: defaults, first placement, loading, saving and change notifications.
#include <gtest/gtest.h>

#include "grid_error.h"
#include "grid_test_support.h"

namespace qelvaro::grid {
namespace {

using testing::GridFixture;

struct Properties : GridFixture, ::testing::Test {};

TEST_F(Properties, AnEmptyBagLoadsEveryDefault) {
  grid.SetCacheIncrement(99);
  grid.SetAllowColumnSort(true);
  MemoryPropertyBag bag;
  grid.ReadProperties(bag);
  EXPECT_FALSE(grid.AllowColumnSort());
  EXPECT_EQ(grid.CacheIncrement(), 10);
  EXPECT_EQ(grid.BackColor(), 0x80000005u);
  EXPECT_EQ(grid.BackColorEvenRows(), 15592416u);
  EXPECT_EQ(grid.CellProgressBarColor(), 8421631u);
  EXPECT_EQ(grid.ThemeCustomColorTo(), 0xC0E0FFu);
  EXPECT_EQ(grid.FreezeAtCol(), -1);
  EXPECT_EQ(grid.EditTrigger(), 52);
  EXPECT_EQ(grid.CaptionAlignment(), 5);
  EXPECT_TRUE(grid.ColumnHeaders());
  EXPECT_TRUE(grid.ShowRowNumbersVary());
  EXPECT_FALSE(grid.AllowColumnResizing());
  EXPECT_EQ(grid.ScaleUnits(), 1);
  EXPECT_EQ(grid.Font(), host.ambient);
  EXPECT_EQ(grid.FontHeader(), host.ambient);
  EXPECT_TRUE(grid.InputEnabled());
}

TEST_F(Properties, InitPropertiesHasItsTwoDifferences) {
  grid.SetRedraw(true);
  grid.InitProperties();
  EXPECT_TRUE(grid.AllowColumnResizing());
  EXPECT_FALSE(grid.ShowRowNumbersVary());
  EXPECT_EQ(grid.Font().name, "Tahoma");
  EXPECT_FALSE(grid.Redraw());
  EXPECT_EQ(view.metrics, 1);
  EXPECT_EQ(grid.GridLines(), 1);
}

TEST_F(Properties, DefaultsAreLeftOutExceptTheAlwaysStoredKeys) {
  MemoryPropertyBag bag;
  grid.ReadProperties(MemoryPropertyBag{});
  grid.WriteProperties(bag);
  EXPECT_FALSE(bag.contains("Caption"));
  EXPECT_FALSE(bag.contains("BackColor"));
  for (const char* key : {"ColumnHeaderSmall", "TotalsLineShow", "FocusRowHighlightKeepTextForecolor",
                          "ShowRowNumbers", "ShowRowNumbersVary"})
    EXPECT_TRUE(bag.contains(key)) << key;
  ASSERT_GE(bag.writeOrder().size(), 2u);
  EXPECT_EQ(bag.writeOrder()[0], "Font");
  EXPECT_EQ(bag.writeOrder()[1], "FontHeader");
  EXPECT_EQ(bag.size(), 7u);
  EXPECT_EQ(bag.ReadProperty("TotalsLineShow"), PropertyValue(false));
}

TEST_F(Properties, NonDefaultValuesRoundTrip) {
  grid.InitProperties();
  grid.SetCaption("Drivers");
  grid.SetBackColor(0x123456);
  grid.SetForeColorSel(0x80000001u);
  grid.SetMultiSelect(true);
  grid.SetColumnHeaderLines(3);
  grid.SetFreezeAtCol(2);
  grid.SetAllowEdit(true);
  grid.SetRowCheckBoxes(true);
  grid.SetSearchColumn(4);
  grid.SetGridLines(3);
  GridFont header{"Arial", 12, true};
  grid.SetFontHeader(header);
  MemoryPropertyBag bag;
  grid.WriteProperties(bag);
  EXPECT_EQ(bag.ReadProperty("Caption"), PropertyValue(std::string("Drivers")));
  EXPECT_EQ(bag.ReadProperty("Checkboxes"), PropertyValue(true));
  EXPECT_EQ(bag.ReadProperty("Editable"), PropertyValue(true));
  EXPECT_EQ(bag.ReadProperty("MultiSelect"), PropertyValue(std::int16_t{-1}));
  EXPECT_EQ(bag.ReadProperty("ForeColorSel"), PropertyValue(static_cast<std::int32_t>(0x80000001u)));
  EXPECT_TRUE(bag.contains("AllowColumnResizing"));  // True differs from the table's default

  testing::RecordingHost otherHost;
  CellGrid loaded(FixedLocale::english(), &otherHost);
  loaded.ReadProperties(bag);
  EXPECT_EQ(loaded.Caption(), "Drivers");
  EXPECT_EQ(loaded.BackColor(), 0x123456u);
  EXPECT_EQ(loaded.ForeColorSel(), 0x80000001u);
  EXPECT_TRUE(loaded.MultiSelect());
  EXPECT_EQ(loaded.ColumnHeaderLines(), 3);
  EXPECT_EQ(loaded.FreezeAtCol(), 2);
  EXPECT_TRUE(loaded.AllowEdit());
  EXPECT_TRUE(loaded.RowCheckBoxes());
  EXPECT_EQ(loaded.SearchColumn(), 4);
  EXPECT_EQ(loaded.GridLines(), 3);
  EXPECT_TRUE(loaded.AllowColumnResizing());
  EXPECT_FALSE(loaded.ShowRowNumbersVary());
  EXPECT_EQ(loaded.FontHeader(), header);
  EXPECT_EQ(loaded.Font(), host.ambient);
  EXPECT_TRUE(otherHost.changedProperties.empty());  // loading is not a change
}

TEST_F(Properties, AbsoluteValuesAreReadForGridLinesAndMultiSelect) {
  MemoryPropertyBag bag;
  bag.WriteProperty("GridLines", std::int32_t{-2});
  bag.WriteProperty("MultiSelect", std::int16_t{-1});
  grid.ReadProperties(bag);
  EXPECT_EQ(grid.GridLines(), 2);
  EXPECT_TRUE(grid.MultiSelect());
}

TEST_F(Properties, ABadValueIsATypeMismatchAndChangesNothing) {
  MemoryPropertyBag bag;
  bag.WriteProperty("Caption", std::string("kept?"));
  bag.WriteProperty("ScrollBars", std::string("lots"));
  grid.SetCaption("before");
  try {
    grid.ReadProperties(bag);
    FAIL();
  } catch (const GridError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::TypeMismatch);
  }
  EXPECT_EQ(grid.Caption(), "before");
  EXPECT_EQ(grid.ScrollBars(), 2);

  MemoryPropertyBag overflow;
  overflow.WriteProperty("ColumnHeaderLines", std::int32_t{70000});
  EXPECT_THROW(grid.ReadProperties(overflow), GridError);
  MemoryPropertyBag font;
  font.WriteProperty("Font", std::string("Arial"));
  EXPECT_THROW(grid.ReadProperties(font), GridError);
}

TEST_F(Properties, SettersNotifyUnderTheirKeysOrTheirOwnNames) {
  grid.SetThemeCustomColorFrom(1);
  grid.SetThemeCustomColorTo(2);
  grid.SetRowCheckBoxes(true);
  grid.SetColumnHeaderSmall(true);
  grid.SetAllowColumnSort(true);
  grid.SetColumnHeaders(false);
  grid.SetCellProgressBarColor(3);
  grid.SetFont(GridFont{"Arial"});
  EXPECT_EQ(host.changedProperties, (std::vector<std::string>{"ThemeColorFrom", "ThemeColorTo", "CheckBoxes",
                                                               "ColumnSort", "ShowColumnHeaders",
                                                               "ProgressBarColor", "Font"}));
}

TEST_F(Properties, NothingIsDrawnAfterLoadingUntilRedrawIsOn) {
  MemoryPropertyBag bag;
  grid.ReadProperties(bag);
  grid.AddColumn("A");
  grid.AddItem("x");
  grid.SetBackColor(5);
  grid.SetCaption("c");
  EXPECT_EQ(view.paints + view.refreshes, 0);
  grid.SetRedraw(true);
  EXPECT_EQ(view.refreshes, 1);
  EXPECT_EQ(host.changedProperties.back(), "Redraw");
}

}  // namespace
}  // namespace qelvaro::grid
