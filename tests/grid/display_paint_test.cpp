// Painting, colour schemes and header looks, checked call by call on the recording canvas.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <variant>

#include "display_test_support.h"
#include "grid_text.h"

namespace qelvaro::grid::testing {
namespace {

bool hasFill(const RecordingCanvas& c, const Rect& r, Rgb colour) {
  for (const CanvasOp& o : c.of(CanvasOp::Fill))
    if (o.rect == r && o.colour == colour) return true;
  return false;
}

TEST(DisplayPaint, EmptyGridDrawsCaptionAndHeadersAndAsksForRows) {
  DisplayFixture f;
  f.grid.SetCaption("Drivers");
  f.grid.AddColumn("Name", 99);
  f.grid.AddColumn("Class", 99);
  f.grid.SetRedraw(true);
  EXPECT_EQ(f.host.rowDataRequests, std::vector<std::int32_t>{-1});
  EXPECT_EQ(f.canvas().texts("Drivers").size(), 1u);
  EXPECT_EQ(f.canvas().texts("Name").size(), 1u);
  EXPECT_TRUE(f.canvas().texts("r0c0").empty());
  EXPECT_GE(f.platform.doEvents, 1);  // messages run at the start of a paint
}

TEST(DisplayPaint, EvenRowColourAlternatesOverVisibleRowsOnly) {
  DisplayFixture f;
  f.fill({100, 100}, 6);
  f.grid.SetRowVisible(2, false);
  f.grid.SetRedraw(true);
  const Rgb even = f.display.Translate(f.grid.BackColorEvenRows());
  const Rgb plain = f.display.Translate(f.grid.BackColor());
  ASSERT_NE(even, plain);
  // Rows 0, 1, 3, 4, 5 shown: odd, even, odd, even, odd.
  const std::vector<Rgb> expected{plain, even, plain, even, plain};
  for (int k = 0; k < 5; ++k) {
    const std::int32_t y = 26 + 19 * k;
    auto fill = f.rowFill(y);
    ASSERT_TRUE(fill) << "row " << k;
    EXPECT_EQ(fill->colour, expected[static_cast<std::size_t>(k)]) << "row " << k;
  }
  // Scrolled to start at row 3, the third row shown: it keeps its colour (the hidden
  // row above it does not count).
  f.display.ScrollBars().WriteValue(1, 3);
  f.paint();
  auto first = f.rowFill(26);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->colour, plain);
  f.display.ScrollBars().WriteValue(1, 4);
  f.paint();
  first = f.rowFill(26);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->colour, even);
}

TEST(DisplayPaint, SelectionSolidAlphaBlendedAndGradient) {
  DisplayFixture f;
  f.fill({100, 100}, 3);
  f.grid.SetRowSelected(1, true);
  f.grid.SetRedraw(true);
  const Rgb sel = f.display.Translate(f.grid.BackColorSel());
  const Rgb back = f.display.Translate(f.grid.BackColor());
  EXPECT_TRUE(hasFill(f.canvas(), Rect{-1, 46, 200, 65}, sel));
  const auto text = f.canvas().texts("r1c0");
  ASSERT_EQ(text.size(), 1u);
  EXPECT_EQ(text[0].textColour, f.display.Translate(f.grid.ForeColorSel()));

  f.grid.SetAlphaBlendSelection(true);
  f.paint();
  const Rgb blended = BlendColor(sel, back, 150);
  EXPECT_TRUE(hasFill(f.canvas(), Rect{-1, 46, 200, 65}, blended));
  // 150/255 of the selection colour and 105/255 of the back colour, per channel.
  EXPECT_EQ(RedOf(blended), static_cast<std::uint32_t>(std::nearbyint((RedOf(sel) * 150.0 + RedOf(back) * 105.0) / 255)));
  // A row whose first cell has its own colour blends that colour instead.
  f.grid.SetCellBackColor(1, 0, MakeRgb(200, 0, 0));
  f.paint();
  EXPECT_TRUE(hasFill(f.canvas(), Rect{-1, 46, 200, 65}, BlendColor(MakeRgb(200, 0, 0), back, 150)));

  f.grid.SetFocusRowHighlightStyle(2);
  f.grid.SetFocusRowHighlightKeepTextForecolor(true);
  f.paint();
  const auto gradients = f.canvas().of(CanvasOp::Gradient);
  bool found = false;
  for (const CanvasOp& g : gradients) found |= g.rect == Rect{-1, 46, 200, 65} && !g.vertical && g.colour2 == back;
  EXPECT_TRUE(found);
  EXPECT_EQ(f.canvas().texts("r1c1")[0].textColour, f.display.Translate(f.grid.ForeColor()));

  // Without full-row highlight and multi-select, a selected row is drawn plain.
  f.grid.SetFocusRowHighlight(false);
  f.paint();
  EXPECT_FALSE(f.rowFill(45)->colour == sel);
}

TEST(DisplayPaint, ProgressCheckBoxesButtonsAndCellColours) {
  DisplayFixture f;
  f.grid.AddColumn("Name", 101);
  f.grid.AddColumn("Done", 101, 4, datatype::Progress);
  f.grid.AddColumn("Tick", 59, 5, datatype::Boolean);
  f.grid.AddColumn("Go", 59, 5, datatype::Button);
  f.grid.AddItem("a\t\t1\tRun", -1, true);
  f.grid.AddItem("b\t\t0\tRun");
  f.grid.SetCellProgressValue(0, 1, 50);
  f.grid.SetCellForeColor(1, 0, MakeRgb(1, 2, 3));
  f.grid.SetCellBackColor(1, 1, MakeRgb(9, 9, 9));
  f.grid.SetRowCheckBoxes(true);
  f.platform.styles = false;
  f.grid.SetRedraw(true);

  // 50 in a 102-pixel column fills from 2 to 50 pixels into the cell.
  const Rgb bar = f.display.Translate(f.grid.CellProgressBarColor());
  EXPECT_TRUE(hasFill(f.canvas(), Rect{102 + 2, 26 + 2, 102 + 50, 26 + 19 - 2}, bar));
  EXPECT_TRUE(hasFill(f.canvas(), Rect{102, 46, 204, 65}, MakeRgb(9, 9, 9)));
  EXPECT_EQ(f.canvas().texts("b")[0].textColour, MakeRgb(1, 2, 3));
  // A check-box column shows its text as well as its box.
  EXPECT_EQ(f.canvas().texts("1").size(), 1u);
  EXPECT_EQ(f.canvas().texts("0").size(), 1u);

  // Check boxes without a visual style: 14-pixel flat frame controls, checked or not.
  std::vector<std::uint32_t> states;
  for (const CanvasOp& o : f.canvas().of(CanvasOp::FrameControl))
    if (o.rect.height() == 14) states.push_back(o.flags);
  EXPECT_EQ(states, (std::vector<std::uint32_t>{0x4400, 0x4400, 0x4000, 0x4000}));
  const auto buttons = f.canvas().texts("Run");
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(buttons[0].textColour, f.display.Translate(syscolour::BtnText));

  // With a visual style: theme parts, state 5 for checked.
  f.platform.styles = true;
  f.canvas().themed = true;
  f.display.SetPressedButtonCell(1, 3);
  f.paint();
  std::vector<std::int32_t> checks, pushes;
  for (const CanvasOp& o : f.canvas().of(CanvasOp::ThemePart)) {
    if (o.text == "Button" && o.part == 3) checks.push_back(static_cast<std::int32_t>(o.flags));
    if (o.text == "Button" && o.part == 1) pushes.push_back(static_cast<std::int32_t>(o.flags));
  }
  EXPECT_EQ(checks, (std::vector<std::int32_t>{5, 5, 1, 1}));
  EXPECT_EQ(pushes, (std::vector<std::int32_t>{1, 3}));
}

TEST(DisplayPaint, ACellShowsItsOwnBackColourWhereItDiffersFromItsRow) {
  DisplayFixture f;
  f.fill({100, 100}, 2);  // row 1 is an even row
  const Rgb even = f.display.Translate(f.grid.BackColorEvenRows());
  const Rgb plain = f.display.Translate(f.grid.BackColor());
  f.grid.SetCellBackColor(0, 0, f.grid.BackColorEvenRows());  // shows on a plain row
  f.grid.SetCellBackColor(1, 0, f.grid.BackColorEvenRows());  // the row's own colour already
  f.grid.SetCellBackColor(1, 1, plain);                       // the plain colour, given to the cell
  f.grid.SetRedraw(true);
  EXPECT_TRUE(hasFill(f.canvas(), Rect{0, 27, 100, 46}, even));
  EXPECT_FALSE(hasFill(f.canvas(), Rect{0, 46, 100, 65}, even));
  EXPECT_TRUE(hasFill(f.canvas(), Rect{100, 46, 200, 65}, plain));
  // Cells that only carry the grid's BackColor leave the stripes alone.
  EXPECT_EQ(f.rowFill(45)->colour, even);
  EXPECT_FALSE(hasFill(f.canvas(), Rect{100, 27, 200, 46}, plain));
}

TEST(DisplayPaint, RowNumbersWidenFromTenRows) {
  DisplayFixture f;
  f.fill({100}, 9);
  f.grid.SetShowRowNumbers(true);
  f.grid.SetRedraw(true);
  EXPECT_EQ(f.display.Metrics().RowNumberWidth, 19);
  f.grid.AddItem("r9c0");
  EXPECT_EQ(f.display.Metrics().RowNumberWidth, 2 * 8 + 5);
  EXPECT_EQ(f.canvas().texts("10").size(), 1u);
  EXPECT_EQ(f.display.ColumnLeft(0), 0);
  f.paint();
  EXPECT_EQ(f.canvas().texts("r0c0")[0].rect.left, 21 + 3 + 3);
}

TEST(DisplayPaint, FocusRectangleOnlyForARowOnScreen) {
  DisplayFixture f;
  f.fill({100, 80}, 60);
  f.grid.SetFocusRectMode(2);
  f.grid.SetRedraw(true);
  f.grid.SetRow(3);
  f.grid.SetCol(1);
  f.paint();
  auto outlines = f.canvas().of(CanvasOp::Outline);
  ASSERT_EQ(outlines.size(), 1u);
  EXPECT_EQ(outlines[0].rect, (Rect{100, 26 + 3 * 19 + 1, 180, 26 + 4 * 19}));
  EXPECT_EQ(outlines[0].width, 3);
  EXPECT_EQ(outlines[0].colour, f.display.Translate(f.grid.FocusRectColor()));
  f.display.OnScroll({sb::Vert, sb::PageDown, 1});
  f.paint();
  EXPECT_TRUE(f.canvas().of(CanvasOp::Outline).empty());
  f.grid.SetFocusRectStyle(0);
  f.grid.SetFocusRectMode(1);
  f.display.OnScroll({sb::Vert, sb::Top, 1});
  f.paint();
  ASSERT_EQ(f.canvas().of(CanvasOp::Focus).size(), 1u);
  EXPECT_EQ(f.canvas().of(CanvasOp::Focus)[0].rect, (Rect{1, 26 + 57 + 1, 180, 26 + 76}));
}

// The main window's set-up: a bold grid font, then editing on with no focus mode.
TEST(DisplayPaint, BoldGridFontAndEditingShowBoldCellsAndTheCurrentCell) {
  DisplayFixture f;
  f.fill({100, 80}, 3);
  GridFont font = f.grid.Font();
  font.bold = true;
  f.grid.SetFont(font);
  f.grid.SetAllowEdit(true);
  EXPECT_EQ(f.grid.FocusRectMode(), 2);
  f.grid.SetRedraw(true);
  f.grid.SetRow(1);
  f.grid.SetCol(1);
  f.paint();
  for (const char* text : {"r0c0", "r1c1", "r2c1"}) {
    const auto drawn = f.canvas().texts(text);
    ASSERT_EQ(drawn.size(), 1u) << text;
    EXPECT_TRUE(drawn[0].font.bold) << text;
  }
  const auto outlines = f.canvas().of(CanvasOp::Outline);
  ASSERT_EQ(outlines.size(), 1u);
  EXPECT_EQ(outlines[0].rect, (Rect{100, 26 + 19 + 1, 180, 26 + 2 * 19}));
  // A mode chosen before editing is turned on is kept.
  f.grid.SetAllowEdit(false);
  f.grid.SetFocusRectMode(1);
  f.grid.SetAllowEdit(true);
  EXPECT_EQ(f.grid.FocusRectMode(), 1);
}

TEST(DisplayPaint, OnlyTheVisibleRowsArePaintedAndRowDataIsAskedAtTheEnd) {
  DisplayFixture f;
  f.fill({100}, 1000);
  f.grid.SetRedraw(true);
  std::size_t rowsDrawn = 0;
  for (const CanvasOp& o : f.canvas().of(CanvasOp::Text)) rowsDrawn += o.text.rfind("r", 0) == 0;
  EXPECT_LE(rowsDrawn, 16u);
  EXPECT_EQ(f.display.RowLastVisible(), 14);
  EXPECT_TRUE(f.host.rowDataRequests.empty());
  f.display.OnScroll({sb::Vert, sb::Bottom, 1});
  EXPECT_EQ(f.display.RowLastVisible(), 999);
  EXPECT_EQ(f.host.rowDataRequests, std::vector<std::int32_t>{999});
}

TEST(DisplayPaint, TotalsLineGridLinesSortArrowAndWrappedHeaders) {
  DisplayFixture f;
  f.grid.AddColumn("Size", 99, 6, datatype::Number, "#,##0.00");
  f.grid.AddColumn("A rather long heading text", 59);
  f.grid.AddItem("1000\tx");
  f.grid.AddItem("234.5\ty");
  f.grid.SetTotalsLineShow(true);
  f.grid.SetTotalsLineCaption(0, "Sum");
  f.grid.SetTotalsLineCaption(1, "n/a");
  f.grid.SetFreezeAtCol(0);
  f.grid.SetColumnHeaderLines(2);
  f.grid.Sort(0, 1);
  f.grid.SetRedraw(true);
  EXPECT_EQ(f.canvas().texts("Sum 1,234.50").size(), 1u);
  EXPECT_EQ(f.canvas().texts("n/a").size(), 1u);
  EXPECT_EQ(f.canvas().texts("1,000.00").size(), 1u);
  // Column lines: the last frozen column's edge is twice as wide.
  std::vector<std::int32_t> widths;
  for (const CanvasOp& o : f.canvas().of(CanvasOp::Line))
    if (o.rect.left == o.rect.right && o.rect.top == f.display.Metrics().HeaderHeight) widths.push_back(o.width);
  EXPECT_EQ(widths, (std::vector<std::int32_t>{2, 1}));
  bool wrapped = false;
  for (const CanvasOp& o : f.canvas().of(CanvasOp::Text))
    wrapped |= o.text.find("\r\n") != std::string::npos && (o.flags & (dt::WordBreak | dt::WordEllipsis)) == 0x40010;
  EXPECT_TRUE(wrapped);
  // Sort arrow: five lines in the dark shadow colour, each two pixels shorter.
  std::vector<std::int32_t> arrow;
  for (const CanvasOp& o : f.canvas().of(CanvasOp::Line))
    if (o.colour == f.display.Translate(syscolour::DkShadow3D)) arrow.push_back(o.rect.right - o.rect.left);
  EXPECT_EQ(arrow, (std::vector<std::int32_t>{9, 7, 5, 3, 1}));
}

TEST(DisplayPaint, ColFormatRedrawsTheColumnsCellsThroughTheNewPattern) {
  DisplayFixture f;
  f.grid.AddColumn("Size", 99, 6, datatype::Number);
  f.grid.AddItem("1234.5");
  f.grid.SetRedraw(true);
  EXPECT_EQ(f.canvas().texts("1234.5").size(), 1u);
  f.canvas().clear();
  f.grid.SetColFormat(0, "#,##0.00");
  EXPECT_EQ(f.grid.ColFormat(0), "#,##0.00");
  EXPECT_EQ(f.canvas().texts("1,234.50").size(), 1u);
  EXPECT_EQ(f.grid.CellText(0, 0), "1234.5");  // the stored text stays
  EXPECT_EQ(errorOf([&] { f.grid.SetColFormat(1, "0"); }), ErrorNumber::SubscriptOutOfRange);
}

// The expand image by index or by its image's key; an unknown key keeps the index,
// and a negative index reads back as the key of the image at its absolute value.
TEST(DisplayPaint, ExpandRowImageTakesAnIndexOrAKey) {
  DisplayFixture f;
  f.grid.SetAllowWordWrap(true);
  f.grid.AddColumn("Notes", 101, 0, datatype::Text, {}, {}, 4, true);
  f.grid.AddItem("wrapped");
  f.grid.SetRedraw(true);
  auto images = std::make_shared<FakeImageList>(3);
  images->SetKeys({"open", "", "fold"});
  f.display.SetImageList(images);

  f.canvas().clear();
  f.display.SetExpandRowImage("fold");
  EXPECT_EQ(f.display.ExpandRowImageIndex(), 3);
  const auto drawn = f.canvas().of(CanvasOp::Image);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].part, 3);

  f.display.SetExpandRowImage(" 2 ");  // a number is an index, not a key
  EXPECT_EQ(f.display.ExpandRowImage(), (std::variant<std::int16_t, std::string>(std::int16_t{2})));
  f.canvas().clear();
  EXPECT_EQ(errorOf([&] { f.display.SetExpandRowImage("shut"); }), ErrorNumber::InvalidProcedureCall);
  EXPECT_EQ(f.display.ExpandRowImageIndex(), 2);
  EXPECT_TRUE(f.canvas().ops.empty());

  f.display.SetExpandRowImage(-1);
  EXPECT_EQ(f.display.ExpandRowImage(), (std::variant<std::int16_t, std::string>(std::string("open"))));
  f.display.SetExpandRowImage(-2);
  EXPECT_EQ(f.display.ExpandRowImage(), (std::variant<std::int16_t, std::string>(std::string())));
  f.display.SetExpandRowImage(-4);
  EXPECT_EQ(errorOf([&] { f.display.ExpandRowImage(); }), ErrorNumber::SubscriptOutOfRange);

  // Keys are refused as a whole when one repeats or they outnumber the images.
  EXPECT_EQ(errorOf([&] { images->SetKeys({"a", "a"}); }), ErrorNumber::InvalidProcedureCall);
  EXPECT_EQ(errorOf([&] { images->SetKeys({"a", "b", "c", "d"}); }), ErrorNumber::InvalidProcedureCall);
  EXPECT_EQ(images->IndexOfKey("fold"), 3);
}

// The stored character set reaches every font the grid draws with; a font stored
// without one draws with none, which the canvas takes as the default set.
TEST(DisplayPaint, TextIsDrawnInTheStoredCharacterSet) {
  for (const std::optional<std::int16_t> charset : {std::optional<std::int16_t>(134), std::optional<std::int16_t>()}) {
    DisplayFixture f;
    GridFont font{"\xE5\xAE\x8B\xE4\xBD\x93", 9.0f};  // 宋体
    font.charset = charset;
    f.grid.SetFont(font);
    f.grid.SetFontHeader(font);
    f.grid.AddColumn("\xE5\x90\x8D\xE7\xA7\xB0", 101);  // 名称
    f.grid.AddItem("\xE9\xA9\xB1\xE5\x8A\xA8");           // 驱动
    f.grid.SetCellFontBold(0, 0, true);
    f.grid.SetRedraw(true);
    const auto texts = f.canvas().of(CanvasOp::Text);
    ASSERT_FALSE(texts.empty());
    for (const CanvasOp& o : texts) EXPECT_EQ(o.font.charset, charset) << o.text;
  }
}

TEST(DisplayTheme, SchemesSetTheirColoursAndDeriveTheGridColour) {
  DisplayFixture f;
  f.grid.SetThemeColor(4);
  EXPECT_EQ(f.grid.BackColorSel(), MakeRgb(142, 116, 55));
  EXPECT_EQ(f.grid.BackColorBkg(), MakeRgb(102, 76, 15));
  EXPECT_EQ(f.grid.ForeColorSel(), MakeRgb(249, 238, 225));
  EXPECT_EQ(f.grid.GridColor(), MakeRgb(185, 159, 98));
  EXPECT_EQ(f.display.GradientTo(), MakeRgb(160, 134, 73));
  EXPECT_EQ(f.grid.BackColor(), 0x80000005u);
  f.grid.SetFocusRowHighlightStyle(1);
  for (int scheme = 0; scheme <= 4; ++scheme) {
    f.display.SetDefaultThemeColor(scheme);
    EXPECT_EQ(f.grid.ForeColorSel(), 0x80000008u) << scheme;
  }
  f.grid.SetGridColor(MakeRgb(1, 1, 1));
  f.display.SetDefaultThemeColor(5);
  EXPECT_EQ(f.grid.GridColor(), MakeRgb(1, 1, 1));
}

TEST(DisplayTheme, TheHighlightStyleAppliesTheSchemeAgain) {
  DisplayFixture f;  // scheme 0: white selected text
  f.grid.SetFocusRowHighlightStyle(1);  // over a light gradient the text is dark
  EXPECT_EQ(f.grid.ForeColorSel(), 0x80000008u);
  f.grid.SetFocusRowHighlightStyle(0);
  EXPECT_EQ(f.grid.ForeColorSel(), MakeRgb(255, 255, 255));
  f.grid.SetForeColorSel(MakeRgb(1, 1, 1));
  f.grid.SetFocusRowHighlightKeepTextForecolor(true);
  EXPECT_EQ(f.grid.ForeColorSel(), MakeRgb(255, 255, 255));
}

TEST(DisplayTheme, FollowingTheWindowsThemeAndCustomColours) {
  DisplayFixture f;
  f.grid.SetBackColorSel(MakeRgb(7, 7, 7));
  f.platform.themed = false;
  f.platform.colourName = "Metallic";
  f.grid.SetThemeColor(6);
  EXPECT_EQ(f.grid.BackColorSel(), MakeRgb(7, 7, 7));  // no visual style: nothing changes
  f.platform.themed = true;
  f.display.OnThemeChanged();
  EXPECT_EQ(f.host.themeChanges, 1);
  EXPECT_EQ(f.grid.BackColorSel(), MakeRgb(178, 180, 191));
  f.platform.colourName.reset();
  f.display.DetectThemeColor();
  EXPECT_EQ(f.display.VisualStyleColourName(), "Classic");
  EXPECT_EQ(f.grid.BackColorSel(), MakeRgb(49, 106, 197));

  f.grid.SetThemeColor(0);
  f.host.changedProperties.clear();
  const Colour before = f.display.GradientFrom();
  f.grid.SetThemeCustomColorFrom(MakeRgb(1, 2, 3));
  EXPECT_EQ(f.display.GradientFrom(), before);
  EXPECT_EQ(f.host.changedProperties, std::vector<std::string>{"ThemeColorFrom"});
  f.grid.SetThemeColor(5);
  EXPECT_EQ(f.display.GradientFrom(), MakeRgb(1, 2, 3));
  f.grid.SetThemeCustomColorTo(0x80000005u);  // translated on the way in
  EXPECT_EQ(f.display.GradientTo(), f.platform.SystemColour(5));

  f.fill({100}, 2);
  f.grid.SetRedraw(true);
  const int shows = f.surface.shows;
  f.host.changedProperties.clear();
  f.grid.SetThemeColor(5);
  EXPECT_EQ(f.surface.shows, shows);
  EXPECT_TRUE(f.host.changedProperties.empty());
}

TEST(DisplayTheme, HeaderLooksByStyleAndState) {
  DisplayFixture f;
  RecordingCanvas& c = f.canvas();
  const Rect r{10, 0, 110, 30};
  const auto drawn = [&](std::int32_t style, std::int32_t state) {
    f.grid.SetThemeStyle(style);
    c.clear();
    f.display.DrawHeaderBackground(c, r, state);
    return c.ops;
  };
  EXPECT_EQ(drawn(0, 1)[0].flags, 0x10u);
  EXPECT_EQ(drawn(0, 2)[0].flags, 0x1010u);
  EXPECT_EQ(drawn(1, 1)[0].flags, 0x4010u);
  EXPECT_EQ(drawn(1, 3)[0].flags, 0x210u);
  c.themed = true;
  auto themed = drawn(2, 2);
  EXPECT_EQ(themed[0].kind, CanvasOp::ThemePart);
  EXPECT_EQ(themed[0].text, "Header");
  c.themed = false;
  EXPECT_EQ(drawn(2, 1)[0].colour, f.display.Translate(syscolour::BtnFace));  // painted look instead
  auto two = drawn(3, 1);
  EXPECT_EQ(two[0].kind, CanvasOp::Gradient);
  EXPECT_EQ(two[0].colour, f.display.GradientFrom());
  auto hot = drawn(3, 2);
  EXPECT_EQ(hot[0].rect.right, 109);  // one pixel less on the right
  EXPECT_EQ(drawn(4, 3)[0].colour, f.display.Translate(syscolour::Light3D));
  EXPECT_EQ(drawn(5, 1)[0].colour, BlendColor(f.display.GradientFrom(), f.display.GradientTo(), 128));
  // Glass: g from the bottom coordinate (30 * 0.12 = 3.6 -> 4).
  auto glass = drawn(6, 1);
  EXPECT_EQ(glass[0].rect, (Rect{10, 0, 110, 4}));
  EXPECT_EQ(glass[2].rect, (Rect{10, 26, 110, 30}));
  auto pressed = drawn(7, 3);
  EXPECT_EQ(pressed[0].colour, MakeRgb(204, 239, 251));
  EXPECT_EQ(pressed.back().kind, CanvasOp::Frame);
  EXPECT_EQ(f.display.HeaderFillColour(), f.display.Translate(syscolour::BtnFace));
  f.grid.SetThemeStyle(6);
  EXPECT_EQ(f.display.HeaderFillColour(), ShadeColor(f.display.GradientTo(), 50));
}

TEST(DisplayText, WrapTextBreaksAfterNonLettersAndLimitsLines) {
  RecordingCanvas c;
  c.charWidth = 10;
  EXPECT_EQ(WrapText(c, "  alpha beta gamma  ", 60, -1), "alpha\r\nbeta\r\ngamma");
  EXPECT_EQ(WrapText(c, "one\r\ntwo", 200, -1), "one two");
  EXPECT_EQ(WrapText(c, "alpha beta gamma delta", 60, 2), "alpha\r\nbeta gamma de...");
  EXPECT_EQ(WrapText(c, "snake_case_word", 50, -1), "snake_case_word");  // no break point
  EXPECT_EQ(WrapText(c, "驱动备份", 20, -1), "驱动\r\n备份");
}

TEST(DisplayText, FormatPatterns) {
  const Locale& en = FixedLocale::english();
  EXPECT_EQ(FormatCellText("1234.567", "#,##0.00", en), "1,234.57");
  EXPECT_EQ(FormatCellText("-5", "0.0;(0.0)", en), "(5.0)");
  EXPECT_EQ(FormatCellText("-5", "0.0", en), "-5.0");
  EXPECT_EQ(FormatCellText("0.25", "Percent", en), "25.00%");
  EXPECT_EQ(FormatCellText("abc", "0.00", en), "abc");
  EXPECT_EQ(FormatCellText("7", "", en), "7");
  EXPECT_EQ(FormatCellText("1", "Yes/No", en), "Yes");
  EXPECT_EQ(FormatCellText("2024-02-29", "dd.mm.yyyy", en), "29.02.2024");
  EXPECT_EQ(FormatCellText("1234,5", "#,##0.00", FixedLocale::german()), "1.234,50");
}

}  // namespace
}  // namespace qelvaro::grid::testing
