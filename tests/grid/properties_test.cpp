// Stored properties: defaults, first placement, loading, saving and change notifications.
#include <gtest/gtest.h>

#include <map>
#include <string_view>
#include <vector>

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

// Every stored key with its default, and the property that key loads into: a bag
// without the key gives the default, a bag with another value gives that value.
TEST_F(Properties, EveryKeyLoadsItsPropertyWithTheDocumentedDefault) {
  enum Kind { Bool, Long, Integer };
  struct Row {
    const char* key;
    std::int64_t (*get)(const CellGrid&);
    Kind kind;
    std::int64_t fallback;
  };
#define P(key, property, kind, fallback) \
  Row { key, [](const CellGrid& g) { return static_cast<std::int64_t>(g.property()); }, kind, fallback }
  const Row rows[] = {
      P("ApplySelectionToImages", ApplySelectionToImages, Bool, 0),
      P("BackColor", BackColor, Long, 0x80000005),
      P("BackColorBkg", BackColorBkg, Long, 0x8000000C),
      P("BackColorEdit", BackColorEdit, Long, 0x80000018),
      P("BackColorSel", BackColorSel, Long, 0x8000000D),
      P("ForeColor", ForeColor, Long, 0x80000008),
      P("ForeColorEdit", ForeColorEdit, Long, 0x80000017),
      P("ForeColorHdr", ForeColorHdr, Long, 0x80000008),
      P("ForeColorSel", ForeColorSel, Long, 0x8000000E),
      P("ShowColumnHeaders", ColumnHeaders, Bool, 1),
      P("CenterRowImage", CenterRowImage, Bool, 1),
      P("ScrollBars", ScrollBars, Long, 2),
      P("MinVerticalOffset", MinVerticalOffset, Long, 2),
      P("BackColorEvenRows", BackColorEvenRows, Long, 15592416),
      P("BackColorEvenRowsEnabled", BackColorEvenRowsEnabled, Bool, 1),
      P("GridColor", GridColor, Long, 12632256),
      P("ProgressBarColor", CellProgressBarColor, Long, 8421631),
      P("AlphaBlendSelection", AlphaBlendSelection, Bool, 0),
      P("BorderStyle", BorderStyle, Long, 1),
      P("DisplayEllipsis", DisplayEllipsis, Bool, 1),
      P("FocusRectColor", FocusRectColor, Long, 0xFFFF),
      P("FocusRectMode", FocusRectMode, Long, 0),
      P("FocusRectStyle", FocusRectStyle, Long, 1),
      P("GridLines", GridLines, Long, 1),
      P("GridLineWidth", GridLineWidth, Long, 1),
      P("ThemeColor", ThemeColor, Long, 6),
      P("ThemeStyle", ThemeStyle, Long, 2),
      P("ColumnHeaderSmall", ColumnHeaderSmall, Bool, 0),
      P("CustomColorFrom", ThemeCustomColorFrom, Long, 0x404080),
      P("CustomColorTo", ThemeCustomColorTo, Long, 0xC0E0FF),
      P("ColumnHeaderLines", ColumnHeaderLines, Integer, 1),
      P("CaptionAlignment", CaptionAlignment, Long, 5),
      P("Appearance", Appearance, Long, 1),
      P("ScrollBarStyle", ScrollBarStyle, Long, 0),
      P("TotalsLineShow", TotalsLineShow, Bool, 0),
      P("FocusRowHighlightKeepTextForecolor", FocusRowHighlightKeepTextForecolor, Bool, 0),
      P("ShowRowNumbers", ShowRowNumbers, Bool, 0),
      P("ShowRowNumbersVary", ShowRowNumbersVary, Bool, 1),
      P("AllowColumnResizing", AllowColumnResizing, Bool, 0),
      P("AllowRowResizing", AllowRowResizing, Bool, 0),
      P("AllowWordWrap", AllowWordWrap, Bool, 0),
      P("Checkboxes", RowCheckBoxes, Bool, 0),
      P("ColumnDrag", AllowColumnDrag, Bool, 0),
      P("ColumnSwap", AllowColumnSwap, Bool, 0),
      P("ColumnSort", AllowColumnSort, Bool, 0),
      P("Editable", AllowEdit, Bool, 0),
      P("AllowDelete", AllowDelete, Bool, 0),
      P("AllowInsert", AllowInsert, Bool, 0),
      P("EditTrigger", EditTrigger, Long, 52),
      P("EditMove", EditMove, Long, 0),
      P("FullRowSelect", FocusRowHighlight, Bool, 1),
      P("FocusRowHighlightStyle", FocusRowHighlightStyle, Long, 0),
      P("HideSelection", FocusRectHide, Bool, 0),
      P("HotHeaderTracking", AllowColumnHover, Bool, 1),
      P("MultiSelect", MultiSelect, Integer, 0),
      P("ScrollTrack", ScrollTrack, Bool, 1),
      P("AutoToolTips", AutoToolTips, Bool, 1),
      P("Enabled", Enabled, Bool, 1),
      P("FreezeAtCol", FreezeAtCol, Integer, -1),
      P("CacheIncrement", CacheIncrement, Long, 10),
      P("MaxLineCount", MaxLineCount, Long, 0),
      P("ScaleUnits", ScaleUnits, Long, 1),
      P("SearchColumn", SearchColumn, Long, 0),
      P("MinRowHeight", MinRowHeight, Long, 0),
  };
#undef P
  ASSERT_EQ(std::size(rows), 64u);
  grid.ReadProperties(MemoryPropertyBag{});
  EXPECT_EQ(grid.Caption(), "");
  for (const Row& row : rows) EXPECT_EQ(row.get(grid), row.fallback) << row.key;
  for (const Row& row : rows) {
    MemoryPropertyBag bag;
    const std::int64_t other = row.kind == Bool ? !row.fallback : row.fallback + 1;
    if (row.kind == Bool) bag.WriteProperty(row.key, other != 0);
    else if (row.kind == Long) bag.WriteProperty(row.key, static_cast<std::int32_t>(static_cast<std::uint32_t>(other)));
    else bag.WriteProperty(row.key, static_cast<std::int16_t>(other));
    grid.ReadProperties(bag);
    EXPECT_EQ(row.get(grid), other) << row.key;
  }
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

// Each property's help text, word for word, read by the property's name as a
// property sheet asks for it; every other property, stored or run-time, has none.
TEST(PropertyHelp, EachPropertyReadsExactlyItsOwnText) {
  const std::map<std::string_view, std::string_view> texts = {
      {"Row", "the selected row"},
      {"Col", "the selected column"},
      {"CellChecked", "if the cell is checked"},
      {"CellChanged", "if the cell's value was changed"},
      {"CellProgressValue", "A value between 0 to 100"},
      {"MultiSelect", "whether multiple row selection is allowed"},
      {"RowCheckBoxes", "whether Row checkboxs are visible"},
      {"CacheIncrement", "Increase arrays by ? - larger number makes it run faster but uses more memory"},
      {"Redraw",
       "Allow grid to update.  Turned this off when data is being added to prevent multiple redraws and increase "
       "speed. (True/False).  This is False by default and must be turned on."},
      {"TotalsLineShow", "Returns/sets a value that determines whether the Total line shows for numeric column types"},
      {"AllowColumnSort", "Returns/sets a value that determines whether the user is allow to sort columns"},
      {"SearchColumn", "Returns/sets a value that determines the default search column used in FindItem"},
      {"MinVerticalOffset",
       "A value of 2 will add 2 pixels above and below the text, therefore increasing the minimum row height by 4 "
       "pixels."},
      {"ImageList", "Returns/sets a value that determines the Name of ImageList control used to add images to grid"},
      {"ExpandRowImage", "Returns/sets the value of the ImageList image number used to expand/shrink row size"},
      {"ThemeColor", "Returns/sets a value that determines the theme color (Blue, Silver, Olive, etc.)"},
      {"ThemeStyle", "Returns/sets a value that determines Header type (3D, Flat, XP, XP Office)"},
      {"EditMove",
       "When editing, pressing the Enter key will do one of the following: Stay on current cell, Move Right, or Move "
       "Down"},
      {"AutoToolTips", "Returns/sets a value that determines whether truncated cells show tooltip"},
  };
  std::vector<std::string_view> names = {
#define QELVARO_TEST_NAME(Name, ...) #Name,
      QELVARO_GRID_PROPERTIES(QELVARO_TEST_NAME) QELVARO_GRID_RUNTIME_HELP(QELVARO_TEST_NAME)
#undef QELVARO_TEST_NAME
  };
  std::size_t withText = 0;
  for (std::string_view name : names) {
    const auto it = texts.find(name);
    EXPECT_EQ(PropertyHelp(name), it == texts.end() ? std::string_view() : it->second) << name;
    withText += it != texts.end();
  }
  EXPECT_EQ(withText, texts.size());  // no text is left out of the table
  EXPECT_EQ(PropertyHelp("Checkboxes"), "");  // a bag key, not a property name
  EXPECT_EQ(PropertyHelp("NoSuchProperty"), "");
}

}  // namespace
}  // namespace qelvaro::grid
