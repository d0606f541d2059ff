// The grid's mouse and keyboard rules on the display doubles: what a click, a drag
// or a key does to selection, ticks, columns, sorting, the editor and the tooltip.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

#include "display_test_support.h"
#include "grid_input.h"

namespace qelvaro::grid::testing {
namespace {

class FakeInputPort : public InputPort {
 public:
  bool captured = false;
  std::int32_t pointerShape = 0;
  std::uint32_t now = 10000;
  std::map<std::int32_t, std::uint32_t> timers;
  bool editorShown = false;
  EditorLook editor;
  std::int32_t caret = 0;
  std::string toolTip;
  bool toolTipShown = false;
  std::string clipboard;

  void SetCapture(bool on) override { captured = on; }
  void SetPointer(std::int32_t shape) override { pointerShape = shape; }
  std::uint32_t TickCount() override { return now; }
  void StartTimer(std::int32_t id, std::uint32_t ms) override { timers[id] = ms; }
  void StopTimer(std::int32_t id) override { timers.erase(id); }
  void TrackMouseLeave() override {}
  bool IsAlphaNumeric(std::uint32_t c) override { return std::isalnum(static_cast<int>(c & 0x7F)) && c < 128; }
  void CopyText(std::string_view text) override { clipboard = text; }
  void ShowEditor(const EditorLook& look) override {
    editorShown = true;
    editor = look;
    caret = static_cast<std::int32_t>(look.text.size());
  }
  void MoveEditor(const Rect& r) override { editor.rect = r; }
  void SetEditorText(std::string_view text) override {
    editor.text = text;
    caret = static_cast<std::int32_t>(text.size());
  }
  void HideEditor() override { editorShown = false; }
  std::int32_t EditorCaret() override { return caret; }
  std::int32_t EditorLength() override { return static_cast<std::int32_t>(editor.text.size()); }
  void ShowBoundControl(GridControl&, const EditorLook& look) override { editor = look; }
  void MoveBoundControl(GridControl&, const Rect&) override {}
  void HideBoundControl(GridControl&) override {}
  void ShowToolTip(const Rect&, std::string_view text, const CanvasFont&, Rgb, Rgb) override {
    toolTip = text;
    toolTipShown = true;
  }
  void HideToolTip() override { toolTipShown = false; }
};

class InputHost : public EventHost {
 public:
  std::vector<std::int32_t> columnClicks;
  bool cancelBeforeEdit = false;
  bool cancelBeforeDelete = false, cancelBeforeInsert = false;
  void BeforeDelete(std::int32_t, bool& cancel) override { cancel = cancelBeforeDelete; }
  void BeforeInsert(std::int32_t, bool& cancel) override { cancel = cancelBeforeInsert; }
  void ColumnClick(std::int32_t col) override { columnClicks.push_back(col); }
  void DblClick() override { events.push_back("DblClick"); }
  void Click() override { events.push_back("Click"); }
  void ColumnSizeChanged(std::int32_t, std::int32_t) override { events.push_back("ColumnSizeChanged"); }
  void BeforeEdit(std::int32_t, std::int32_t, bool& cancel) override {
    events.push_back("BeforeEdit");
    cancel = cancelBeforeEdit;
  }
  void EditKeyPress(std::int32_t, std::int16_t& key) override { events.push_back("EditKeyPress:" + std::to_string(key)); }
  void CellButtonClick(std::int32_t row, std::int32_t col) override { events.push_back(cell("CellButtonClick", row, col)); }
  void CellImageClick(std::int32_t row, std::int32_t col) override { events.push_back(cell("CellImageClick", row, col)); }
  void CellHandClick(std::int32_t row, std::int32_t col, std::int16_t&) override {
    events.push_back(cell("CellHandClick", row, col));
  }
  void AfterInsert(std::int32_t row) override { events.push_back("AfterInsert " + std::to_string(row)); }
  void AfterDelete() override { events.push_back("AfterDelete"); }
  // How many events of that name were raised, whatever their arguments.
  int named(const std::string& name) const {
    int n = 0;
    for (const std::string& e : events) n += e == name || e.rfind(name + " ", 0) == 0;
    return n;
  }

 private:
  static std::string cell(const char* name, std::int32_t row, std::int32_t col) {
    return std::string(name) + " " + std::to_string(row) + " " + std::to_string(col);
  }
};

struct InputFixture : DisplayFixture {
  InputHost inputHost;
  FakeInputPort port;
  GridInput input{grid, display, port};

  InputFixture() {
    grid.SetHost(&inputHost);
    display.Bind(grid, &inputHost);
  }
  void setUp(int rows, std::vector<float> widths = {100, 100, 100}) {
    fill(widths, rows);
    grid.SetRedraw(true);
    paint();
  }
  std::int32_t xIn(std::int32_t pos, std::int32_t dx = 40) {
    return display.Metrics().RowNumberWidth + display.ColumnLeft(pos) + dx;
  }
  std::int32_t yOf(std::int32_t row) { return display.RowTop(row) + 5; }
  std::int32_t headerY() { return display.Metrics().HeaderHeight - 5; }
  void click(std::int32_t x, std::int32_t y, std::int16_t shift = 0) {
    input.MouseMove(0, shift, x, y);
    input.MouseDown(mousebutton::Left, shift, x, y);
    input.MouseUp(mousebutton::Left, shift, x, y);
    input.Click();
  }
  void drag(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
    input.MouseMove(0, 0, x0, y0);
    input.MouseDown(mousebutton::Left, 0, x0, y0);
    input.MouseMove(mousebutton::Left, 0, (x0 + x1) / 2, (y0 + y1) / 2);
    input.MouseMove(mousebutton::Left, 0, x1, y1);
    input.MouseUp(mousebutton::Left, 0, x1, y1);
  }
  std::vector<std::int32_t> selected() {
    std::vector<std::int32_t> rows;
    for (std::int32_t r = 0; r < grid.Rows(); ++r)
      if (grid.RowSelected(r)) rows.push_back(r);
    return rows;
  }
};

TEST(GridInput, RowCheckBoxStripTicksAndTheRestSelects) {
  InputFixture f;
  f.grid.SetRowCheckBoxes(true);
  f.setUp(5);
  const std::int32_t strip = f.display.Metrics().RowNumberWidth + 6;
  f.click(strip, f.yOf(2));
  EXPECT_TRUE(f.grid.RowChecked(2));
  EXPECT_EQ(f.grid.CheckedCount(), 1);
  EXPECT_EQ(f.inputHost.count("RowCheckChanged"), 1);
  f.click(strip, f.yOf(2));
  EXPECT_FALSE(f.grid.RowChecked(2));
  // Beyond the strip the click selects and moves the current cell, ticks nothing.
  f.click(f.xIn(1), f.yOf(3));
  EXPECT_EQ(f.grid.Row(), 3);
  EXPECT_EQ(f.grid.ColPosition(), 1);
  EXPECT_EQ(f.selected(), std::vector<std::int32_t>{3});
  EXPECT_EQ(f.grid.CheckedCount(), 0);
  EXPECT_FALSE(f.port.captured);
}

TEST(GridInput, LockedRowPressChangesNothingButClearsSelectionAtRelease) {
  InputFixture f;
  f.setUp(5);
  f.click(f.xIn(0), f.yOf(1));
  f.grid.SetRowLocked(3, true);
  f.input.MouseDown(mousebutton::Left, 0, f.xIn(2), f.yOf(3));
  EXPECT_EQ(f.grid.Row(), 1);
  EXPECT_FALSE(f.port.captured);
  f.input.MouseUp(mousebutton::Left, 0, f.xIn(2), f.yOf(3));
  EXPECT_TRUE(f.selected().empty());
  EXPECT_EQ(f.grid.Row(), 1);
  EXPECT_EQ(f.inputHost.columnClicks, std::vector<std::int32_t>{2});
}

TEST(GridInput, SelectionFollowsEachMultiSelectMode) {
  InputFixture f;
  f.setUp(8);
  f.grid.SetMultiSelect(1);
  f.click(f.xIn(0), f.yOf(2));
  f.click(f.xIn(0), f.yOf(5), shiftkey::Shift);
  EXPECT_EQ(f.selected(), (std::vector<std::int32_t>{2, 3, 4, 5}));
  f.click(f.xIn(0), f.yOf(3), shiftkey::Ctrl);
  EXPECT_EQ(f.selected(), (std::vector<std::int32_t>{2, 4, 5}));
  f.click(f.xIn(0), f.yOf(7));
  EXPECT_EQ(f.selected(), std::vector<std::int32_t>{7});

  f.grid.SetMultiSelect(2);
  f.click(f.xIn(0), f.yOf(1));
  f.click(f.xIn(0), f.yOf(7));
  EXPECT_EQ(f.selected(), std::vector<std::int32_t>{1});

  f.grid.SetMultiSelect(0);
  f.click(f.xIn(0), f.yOf(4));
  f.click(f.xIn(0), f.yOf(4), shiftkey::Ctrl);
  EXPECT_TRUE(f.selected().empty());

  // Dragging with the button held selects the range under MultiSelect.
  f.grid.SetMultiSelect(1);
  f.drag(f.xIn(0), f.yOf(1), f.xIn(0), f.yOf(4));
  EXPECT_EQ(f.selected(), (std::vector<std::int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(f.grid.Row(), 4);
}

TEST(GridInput, CheckBoxCellFlipsOnlyInsideItsBoxAndHonoursBeforeEdit) {
  InputFixture f;
  f.setUp(3);
  f.grid.SetColType(1, datatype::Boolean);
  f.paint();
  const Rect box = f.display.CellRect(1, f.display.RowTop(0), f.grid.RowRecord(0).Height, 1);
  f.click(box.left + 2, box.top + 2);
  EXPECT_TRUE(f.grid.CellChecked(0, 1));
  EXPECT_EQ(f.grid.CellText(0, 1), "True");
  EXPECT_TRUE(f.grid.CellChanged(0, 1));
  f.click(box.right + 8, box.top + 2);
  EXPECT_TRUE(f.grid.CellChecked(0, 1));
  f.inputHost.cancelBeforeEdit = true;
  f.click(box.left + 2, box.top + 2);
  EXPECT_TRUE(f.grid.CellChecked(0, 1));
}

TEST(GridInput, ColumnBorderArmsWithinThreePixelsAndDragsTheWidth) {
  InputFixture f;
  f.grid.SetAllowColumnResizing(true);
  f.setUp(3);
  const std::int32_t edge = f.xIn(0, f.grid.Column(0).PixelWidth);
  f.input.MouseMove(0, 0, edge - 4, f.headerY());
  EXPECT_EQ(f.port.pointerShape, pointer::Default);
  f.input.MouseMove(0, 0, edge + 4, f.headerY());
  EXPECT_EQ(f.port.pointerShape, pointer::Default);
  f.input.MouseMove(0, 0, edge - 3, f.headerY());
  EXPECT_EQ(f.port.pointerShape, pointer::SizeWE);
  const std::int32_t wide = f.grid.Column(0).PixelWidth + 30;
  f.input.MouseDown(mousebutton::Left, 0, edge - 3, f.headerY());
  f.input.MouseMove(mousebutton::Left, 0, edge + 30, f.headerY());
  EXPECT_EQ(f.grid.Column(0).PixelWidth, wide);
  f.input.MouseMove(mousebutton::Left, 0, f.xIn(0, 4), f.headerY());
  EXPECT_EQ(f.grid.Column(0).PixelWidth, wide);  // never narrower than 5 pixels
  f.input.MouseUp(mousebutton::Left, 0, f.xIn(0, 4), f.headerY());
  EXPECT_EQ(f.inputHost.count("ColumnSizeChanged"), 1);
  EXPECT_FLOAT_EQ(f.grid.ColWidth(0), static_cast<float>(wide));  // ScaleUnits pixels

  // A double click on the border fits the column to its text instead of DblClick.
  f.paint();
  const std::int32_t edge2 = f.xIn(0, f.grid.Column(0).PixelWidth);
  f.input.MouseMove(0, 0, edge2 - 1, f.headerY());
  f.input.MouseDown(mousebutton::Left, 0, edge2 - 1, f.headerY());
  f.input.MouseUp(mousebutton::Left, 0, edge2 - 1, f.headerY());
  f.input.DblClick();
  EXPECT_LT(f.grid.Column(0).PixelWidth, wide);
  EXPECT_EQ(f.inputHost.count("DblClick"), 0);
}

TEST(GridInput, RowBottomEdgeDragsTheRowTallerButNeverBelowTheDefault) {
  InputFixture f;
  f.grid.SetAllowRowResizing(true);
  f.setUp(5);
  const std::int32_t normal = f.grid.RowRecord(1).Height;
  const std::int32_t bottom = f.display.RowTop(1) + normal;
  f.input.MouseMove(0, 0, f.xIn(0), bottom - 2);
  EXPECT_EQ(f.port.pointerShape, pointer::SizeNS);
  f.input.MouseDown(mousebutton::Left, 0, f.xIn(0), bottom - 2);
  f.input.MouseMove(mousebutton::Left, 0, f.xIn(0), bottom + 20);
  EXPECT_EQ(f.grid.RowRecord(1).Height, normal + 20);
  f.input.MouseMove(mousebutton::Left, 0, f.xIn(0), f.display.RowTop(1) + 3);
  EXPECT_EQ(f.grid.RowRecord(1).Height, normal + 20);
  f.input.MouseUp(mousebutton::Left, 0, f.xIn(0), f.display.RowTop(1) + 3);
  EXPECT_EQ(f.selected(), std::vector<std::int32_t>{});  // sizing selects nothing
}

TEST(GridInput, HeaderClickSortsOnlyWhenReleasedWhereItWentDown) {
  InputFixture f;
  f.grid.SetAllowColumnSort(true);
  f.setUp(4);
  f.grid.SetCellText(0, 0, "zz");
  f.input.MouseDown(mousebutton::Left, 0, f.xIn(0), f.headerY());
  f.input.MouseUp(mousebutton::Left, 0, f.xIn(1), f.headerY());
  EXPECT_EQ(f.grid.CellText(0, 0), "zz");
  EXPECT_EQ(f.inputHost.columnClicks, std::vector<std::int32_t>{1});
  f.click(f.xIn(0), f.headerY());
  EXPECT_EQ(f.grid.CellText(3, 0), "zz");
  EXPECT_EQ(f.grid.SortPrimary(), 0);
  EXPECT_EQ(f.inputHost.columnClicks.back(), 0);
}

TEST(GridInput, CarriedColumnMovesOrSwapsWhereItIsDropped) {
  InputFixture f;
  f.grid.SetAllowColumnDrag(true);
  f.setUp(2, {80, 80, 80, 80});
  f.drag(f.xIn(0), f.headerY(), f.xIn(2), f.headerY());
  EXPECT_EQ(f.grid.ColumnOrder(), (std::vector<std::int32_t>{1, 2, 0, 3}));
  f.paint();
  f.grid.SetAllowColumnDrag(false);
  f.grid.SetAllowColumnSwap(true);
  f.drag(f.xIn(0), f.headerY(), f.xIn(3), f.headerY());
  EXPECT_EQ(f.grid.ColumnOrder(), (std::vector<std::int32_t>{3, 2, 0, 1}));
}

TEST(GridInput, ArrowsHomeEndAndPagingMoveTheCurrentCell) {
  InputFixture f;
  f.setUp(40);
  f.grid.SetMultiSelect(1);
  f.grid.RowColSet(5, 0);
  f.input.KeyDown(vk::Down, 0);
  EXPECT_EQ(f.grid.Row(), 6);
  EXPECT_EQ(f.selected(), std::vector<std::int32_t>{6});
  f.input.KeyDown(vk::Down, shiftkey::Shift);
  EXPECT_EQ(f.selected(), (std::vector<std::int32_t>{6, 7}));
  f.input.KeyDown(vk::Right, 0);
  EXPECT_EQ(f.grid.ColPosition(), 1);
  f.input.KeyDown(vk::Home, shiftkey::Shift);
  EXPECT_EQ(f.grid.Row(), 0);
  EXPECT_EQ(f.selected().size(), 8u);
  f.input.KeyDown(vk::End, shiftkey::Ctrl);
  EXPECT_EQ(f.grid.Row(), 39);
  f.input.KeyDown(vk::Home, shiftkey::Ctrl);
  const std::int32_t first = f.display.RowFirstVisible();
  f.input.KeyDown(vk::PageDown, 0);
  EXPECT_EQ(f.grid.Row(), 0);  // paging scrolls, the current row stays
  EXPECT_GT(f.display.RowFirstVisible(), first);
}

TEST(GridInput, AnArrowPastTheWindowBringsTheNewRowToTheTop) {
  InputFixture f;
  f.setUp(40);
  f.paint();
  const std::int32_t last = f.display.RowLastVisible();
  ASSERT_GT(last, 3);
  f.grid.RowColSet(last, 0);
  f.input.KeyDown(vk::Down, 0);
  EXPECT_EQ(f.grid.Row(), last + 1);
  EXPECT_EQ(f.display.RowFirstVisible(), last + 1);
  f.input.KeyDown(vk::Down, 0);  // still on screen: no scrolling
  EXPECT_EQ(f.display.RowFirstVisible(), last + 1);
  f.input.KeyDown(vk::Up, 0);
  f.input.KeyDown(vk::Up, 0);
  EXPECT_EQ(f.grid.Row(), last);
  EXPECT_EQ(f.display.RowFirstVisible(), last);
}

TEST(GridInput, CancelledDeleteAndInsertLeaveTheGridAsItWas) {
  struct Case {
    std::int16_t key;
    std::int32_t focusRectMode;
  };
  for (const Case c : {Case{vk::Delete, 1}, Case{vk::Delete, 2}, Case{vk::Insert, 1}}) {
    InputFixture f;
    f.grid.SetAllowDelete(true);
    f.grid.SetAllowInsert(true);
    f.inputHost.cancelBeforeDelete = f.inputHost.cancelBeforeInsert = true;
    f.setUp(3);
    f.grid.SetFocusRectMode(c.focusRectMode);
    f.grid.RowColSet(1, 1);
    f.input.KeyDown(c.key, 0);
    ASSERT_EQ(f.grid.Rows(), 3) << c.key << " " << c.focusRectMode;
    for (std::int32_t r = 0; r < 3; ++r)
      for (std::int32_t col = 0; col < 3; ++col)
        EXPECT_EQ(f.grid.CellText(r, col), "r" + std::to_string(r) + "c" + std::to_string(col)) << c.key;
    EXPECT_EQ(f.grid.Row(), 1);
  }
}

// The events a cell or a row raises through the mouse or the keyboard: each fires
// once, with its cell, and not at all when withheld (the press lands elsewhere, or
// the host cancels the Before event).
TEST(GridInput, CellAndRowEventsFireOnceWithTheirCell) {
  using Step = std::function<void(InputFixture&)>;
  struct Case {
    const char* what;
    Step arrange, act;
    std::string event;
    Step withhold;      // arranged on top, then the same act
    Step elsewhere{};   // or, when given, this act instead
  };
  auto at = [](std::int32_t row, std::int32_t col) {
    return [=](InputFixture& f) { f.click(f.xIn(f.grid.PositionOfColumn(col)), f.yOf(row)); };
  };
  auto key = [](std::int32_t row, std::int32_t col, std::int16_t k) {
    return [=](InputFixture& f) {
      f.grid.RowColSet(row, col);
      f.input.KeyDown(k, 0);
    };
  };
  auto imageBox = [](InputFixture& f) {
    return f.display.CellRect(1, f.display.RowTop(2), f.grid.RowRecord(2).Height, 2);
  };
  const Step buttons = [](InputFixture& f) { f.grid.SetColType(1, datatype::Button); };
  const Step hand = [](InputFixture& f) { f.grid.SetCellHandPointer(2, 1, true); };
  const Step noButtonColumn = [](InputFixture& f) { f.grid.SetColType(1, datatype::Text); };
  const Step noHand = [](InputFixture& f) { f.grid.SetCellHandPointer(2, 1, false); };
  const Case cases[] = {
      {"button click", buttons, at(2, 1), "CellButtonClick 2 1", noButtonColumn},
      {"button Space", buttons, key(2, 1, vk::Space), "CellButtonClick 2 1", noButtonColumn},
      {"hand click", hand, at(2, 1), "CellHandClick 2 1", noHand},
      {"hand Space", hand, key(2, 1, vk::Space), "CellHandClick 2 1", noHand},
      {"image click",
       [](InputFixture& f) {
         f.display.SetImageList(std::make_shared<FakeImageList>(2));
         f.grid.SetCellImage(2, 1, 1);
       },
       [=](InputFixture& f) { f.click(imageBox(f).left + 2, imageBox(f).top + 2); }, "CellImageClick 2 1",
       [](InputFixture&) {}, [=](InputFixture& f) { f.click(imageBox(f).right + 4, imageBox(f).top + 2); }},
      {"insert", [](InputFixture& f) { f.grid.SetAllowInsert(true); }, key(2, 0, vk::Insert), "AfterInsert 3",
       [](InputFixture& f) { f.inputHost.cancelBeforeInsert = true; }},
      {"delete row", [](InputFixture& f) { f.grid.SetAllowDelete(true); }, key(2, 0, vk::Delete), "AfterDelete",
       [](InputFixture& f) { f.inputHost.cancelBeforeDelete = true; }},
      {"delete cell",
       [](InputFixture& f) {
         f.grid.SetAllowDelete(true);
         f.grid.SetFocusRectMode(2);
       },
       key(2, 1, vk::Delete), "AfterDelete", [](InputFixture& f) { f.inputHost.cancelBeforeDelete = true; }},
  };
  for (const Case& c : cases) {
    for (const bool withheld : {false, true}) {
      InputFixture f;
      f.setUp(4);
      c.arrange(f);
      if (withheld) c.withhold(f);
      f.paint();
      (withheld && c.elsewhere ? c.elsewhere : c.act)(f);
      const std::string name = c.event.substr(0, c.event.find(' '));
      EXPECT_EQ(f.inputHost.named(name), withheld ? 0 : 1) << c.what << (withheld ? " withheld" : "");
      if (!withheld) {
        EXPECT_EQ(f.inputHost.count(c.event), 1) << c.what;
      }
    }
  }
}

// ForceCellEdit opens the editor on the given cell even where editing is not
// allowed, leaves that switch alone, and can open it empty.
TEST(GridInput, ForceCellEditOpensTheGivenCellEvenWithoutAllowEdit) {
  InputFixture f;
  f.setUp(4);
  f.input.ForceCellEdit(2, 1, false);
  ASSERT_TRUE(f.grid.EditPending());
  EXPECT_FALSE(f.grid.AllowEdit());
  EXPECT_EQ(f.grid.Row(), 2);
  EXPECT_EQ(f.grid.EditCol(), 1);
  EXPECT_EQ(f.port.editor.text, "r2c1");
  EXPECT_EQ(f.display.LastKey(), vk::F2);

  // The open edit is committed first; blank empties the new one.
  f.input.EditorTextChanged("kept");
  f.input.ForceCellEdit(3, 2, true);
  EXPECT_EQ(f.grid.CellText(2, 1), "kept");
  ASSERT_TRUE(f.grid.EditPending());
  EXPECT_EQ(f.grid.EditRow(), 3);
  EXPECT_EQ(f.port.editor.text, "");
  EXPECT_EQ(f.grid.EditText(), "");

  // A commit the host cancels keeps the editor where it was.
  f.inputHost.onAfterEdit = [](std::int32_t, std::int32_t, std::string&, bool& cancel) { cancel = true; };
  f.input.ForceCellEdit(0, 0, false);
  EXPECT_EQ(f.grid.EditRow(), 3);
  EXPECT_EQ(f.grid.EditCol(), 2);
}

TEST(GridInput, SpaceCtrlACtrlCAndInsert) {
  InputFixture f;
  f.grid.SetRowCheckBoxes(true);
  f.setUp(4);
  f.grid.RowColSet(2, 0);
  f.input.KeyDown(vk::Space, 0);
  f.input.KeyPress(' ');
  f.input.KeyUp(vk::Space, 0);
  EXPECT_TRUE(f.grid.RowChecked(2));
  EXPECT_TRUE(f.input.SearchText().empty());
  f.grid.SetMultiSelect(1);
  f.input.KeyDown(vk::A, shiftkey::Ctrl);
  EXPECT_EQ(f.selected().size(), 1u);  // mode 1 has no select-all
  f.grid.SetMultiSelect(2);
  f.input.KeyDown(vk::A, shiftkey::Ctrl);
  EXPECT_EQ(f.selected().size(), 4u);
  f.input.KeyDown(vk::C, shiftkey::Ctrl);
  EXPECT_EQ(f.port.clipboard.substr(0, 14), "r0c0\tr0c1\tr0c2");

  InputFixture g;
  g.grid.SetAllowInsert(true);
  g.setUp(3);
  g.input.KeyDown(vk::Insert, 0);
  EXPECT_EQ(g.grid.Rows(), 4);
  EXPECT_EQ(g.grid.CellText(0, 0), "");
  EXPECT_EQ(g.grid.CellText(1, 0), "r0c0");
}

TEST(GridInput, TypingSearchesWithinItsTimeWindow) {
  InputFixture f;
  f.setUp(0, {100});
  for (const char* t : {"apple", "banana", "berry", "cherry"}) f.grid.AddItem(t);
  f.paint();
  f.input.KeyPress('b');
  f.port.now += 500;
  f.input.KeyPress('e');
  EXPECT_EQ(f.input.SearchText(), "be");
  EXPECT_EQ(f.grid.Row(), 2);
  f.port.now += 1000;
  f.input.KeyPress('c');
  EXPECT_EQ(f.input.SearchText(), "c");
  EXPECT_EQ(f.grid.Row(), 3);
}

TEST(GridInput, EditorOpensByTriggerFiltersAndCommits) {
  InputFixture f;
  f.grid.SetAllowEdit(true);
  f.setUp(4);
  f.grid.SetColInputFilter(1, "1234567890.-,");
  f.grid.RowColSet(1, 1);
  f.input.KeyPress('7');  // EditTrigger 52: typing opens with the typed text
  ASSERT_TRUE(f.grid.EditPending());
  EXPECT_TRUE(f.port.editorShown);
  EXPECT_EQ(f.port.editor.text, "7");
  EXPECT_EQ(f.input.EditorKeyPress('x'), 0u);
  EXPECT_EQ(f.input.EditorKeyPress('.'), static_cast<std::uint32_t>('.'));
  EXPECT_EQ(f.inputHost.events.back(), "EditKeyPress:46");
  f.input.EditorTextChanged("7.5");

  // A cancelled AfterEdit keeps the editor open; Enter then commits.
  f.inputHost.onAfterEdit = [](std::int32_t, std::int32_t, std::string&, bool& cancel) { cancel = true; };
  f.input.KeyPress(vk::Enter);
  EXPECT_TRUE(f.grid.EditPending());
  f.inputHost.onAfterEdit = nullptr;
  f.grid.SetEditMove(2);
  f.input.KeyPress(vk::Enter);
  EXPECT_FALSE(f.grid.EditPending());
  EXPECT_FALSE(f.port.editorShown);
  EXPECT_EQ(f.grid.CellText(1, 1), "7.5");
  EXPECT_EQ(f.grid.Row(), 2);

  // F2 opens on the cell's text; Esc leaves it unchanged.
  f.input.KeyDown(vk::F2, 0);
  EXPECT_EQ(f.port.editor.text, "r2c1");
  f.input.EditorTextChanged("gone");
  f.input.KeyPress(vk::Esc);
  EXPECT_FALSE(f.grid.EditPending());
  EXPECT_EQ(f.grid.CellText(2, 1), "r2c1");

  // Without bit 8 a click does not edit; with it, it does.
  f.click(f.xIn(0), f.yOf(3));
  EXPECT_FALSE(f.grid.EditPending());
  f.grid.SetEditTrigger(8);
  f.click(f.xIn(0), f.yOf(3));
  EXPECT_TRUE(f.grid.EditPending());
}

TEST(GridInput, ToolTipShowsCutOffTextAfterTheHoverDelay) {
  InputFixture f;
  f.setUp(0, {60, 200});
  f.grid.AddItem("a much longer text than fits\tshort");
  f.paint();
  f.input.MouseMove(0, 0, f.xIn(1, 10), f.yOf(0));
  ASSERT_EQ(f.port.timers.count(inputtimer::ToolTip), 1u);
  f.input.Timer(inputtimer::ToolTip);
  EXPECT_FALSE(f.port.toolTipShown);  // "short" fits
  f.input.MouseMove(0, 0, f.xIn(0, 10), f.yOf(0));
  f.input.Timer(inputtimer::ToolTip);
  EXPECT_TRUE(f.port.toolTipShown);
  EXPECT_EQ(f.port.toolTip, "a much longer text than fits");
  f.input.KeyDown(vk::Down, 0);
  EXPECT_FALSE(f.port.toolTipShown);
  // A press during the wait cancels it.
  f.input.MouseMove(0, 0, f.xIn(1, 10), f.yOf(0));
  f.input.MouseMove(0, 0, f.xIn(0, 10), f.yOf(0));
  f.input.MouseDown(mousebutton::Left, 0, f.xIn(0, 10), f.yOf(0));
  f.input.Timer(inputtimer::ToolTip);
  EXPECT_FALSE(f.port.toolTipShown);
}

TEST(GridInput, DragBelowTheWindowScrollsAndExtendsTheSelection) {
  InputFixture f;
  f.setUp(60);
  f.grid.SetMultiSelect(1);
  f.input.MouseDown(mousebutton::Left, 0, f.xIn(0), f.yOf(2));
  f.input.MouseMove(mousebutton::Left, 0, f.xIn(0), f.surface.client.cy + 10);
  ASSERT_EQ(f.input.AutoScrollDirection(), 2);
  EXPECT_EQ(f.port.timers.count(inputtimer::AutoScroll), 1u);
  const std::int32_t before = f.display.ScrollBars().Value(sb::Vert);
  f.input.Timer(inputtimer::AutoScroll);
  f.input.Timer(inputtimer::AutoScroll);
  EXPECT_EQ(f.display.ScrollBars().Value(sb::Vert), before + 2);
  EXPECT_GT(f.grid.Row(), 10);
  EXPECT_EQ(f.selected().front(), 2);
  EXPECT_EQ(static_cast<std::int32_t>(f.selected().size()), f.grid.Row() - 1);
  f.input.MouseUp(mousebutton::Left, 0, f.xIn(0), f.surface.client.cy + 10);
  EXPECT_EQ(f.input.AutoScrollDirection(), 0);
  EXPECT_EQ(f.port.timers.count(inputtimer::AutoScroll), 0u);
}

// Random input never breaks the grid's bookkeeping.
TEST(GridInput, RandomInputKeepsCountsAndOrderConsistent) {
  InputFixture f;
  f.grid.SetRowCheckBoxes(true);
  f.grid.SetAllowColumnSort(true);
  f.grid.SetAllowColumnDrag(true);
  f.grid.SetAllowColumnResizing(true);
  f.grid.SetAllowEdit(true);
  f.grid.SetAllowInsert(true);
  f.grid.SetAllowDelete(true);
  f.setUp(30, {60, 70, 80, 90});
  std::mt19937 rng(7);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::int16_t keys[] = {vk::Up, vk::Down, vk::Left, vk::Right, vk::Home, vk::End, vk::PageUp,
                               vk::PageDown, vk::Space, vk::Insert, vk::Delete, vk::F2, vk::Enter, vk::Esc};
  for (int step = 0; step < 3000; ++step) {
    const std::int32_t x = pick(420), y = pick(320) - 10;
    const std::int16_t shift = static_cast<std::int16_t>(pick(4));
    switch (pick(7)) {
      case 0: f.input.MouseMove(0, shift, x, y); break;
      case 1: f.input.MouseDown(mousebutton::Left, shift, x, y); break;
      case 2: f.input.MouseMove(mousebutton::Left, shift, x, y); break;
      case 3: f.input.MouseUp(mousebutton::Left, shift, x, y); f.input.Click(); break;
      case 4: f.input.KeyDown(keys[pick(14)], shift); break;
      case 5: f.input.KeyPress(static_cast<std::uint32_t>('a' + pick(26))); break;
      default: f.input.Timer(pick(2) + 1); break;
    }
    if (step % 100 == 0) f.grid.SetMultiSelect(pick(4));
    std::int32_t checked = 0, sel = 0;
    for (std::int32_t r = 0; r < f.grid.Rows(); ++r) {
      checked += f.grid.RowChecked(r);
      sel += f.grid.RowSelected(r);
    }
    ASSERT_EQ(checked, f.grid.CheckedCount()) << step;
    ASSERT_EQ(sel, f.grid.SelectedCount()) << step;
    ASSERT_LT(f.grid.Row(), f.grid.Rows()) << step;
    std::vector<std::int32_t> order = f.grid.ColumnOrder();
    std::sort(order.begin(), order.end());
    ASSERT_EQ(order, (std::vector<std::int32_t>{0, 1, 2, 3})) << step;
    for (std::int32_t c = 0; c < f.grid.Cols(); ++c) ASSERT_GT(f.grid.Column(c).PixelWidth, 4) << step;
  }
}

}  // namespace
}  // namespace qelvaro::grid::testing
