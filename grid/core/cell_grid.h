#pragma once
// CellGrid, the data side of the owner-drawn grid control: columns, rows and typed
// cells, the current cell, check/selection/lock/visibility state, running totals,
// sorting, find and filter, and the persisted properties. Drawing, geometry and
// input are other layers; they read this model and call the operations here.
//
// Two index spaces. A row index (the Row arguments) is a place in display order;
// the row order map turns it into a stored index, the slot of the row record.
// Records are only ever appended; inserting and sorting rearrange the map, and
// filtering only hides rows. A column index addresses the column store; the column
// order map lists column indexes from left to right.
//
// Drawing: the Redraw property and an effective drawing flag. Long operations clear
// only the effective flag and copy the property back afterwards. While the flag is
// off, work that would refresh is noted as due (MetricsDue, ScrollBarsDue) and done
// when drawing is on again.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "format_table.h"
#include "grid_host.h"
#include "grid_properties.h"
#include "grid_types.h"
#include "grid_locale.h"
#include "property_bag.h"

namespace qelvaro::grid {

// A cell value: empty, Boolean, number or text.
using CellVariant = std::variant<std::monostate, bool, double, std::string>;

class CellGrid {
 public:
  explicit CellGrid(const Locale& locale, GridHost* host = nullptr, GridView* view = nullptr);
  ~CellGrid();
  CellGrid(const CellGrid&) = delete;
  CellGrid& operator=(const CellGrid&) = delete;

  void SetHost(GridHost* host) { host_ = host ? host : &nullHost_; }
  GridHost& Host() const { return *host_; }
  void SetView(GridView* view) { view_ = view ? view : &nullView_; }
  const Locale& locale() const { return *locale_; }

  // ---- columns ----
  std::int32_t AddColumn(std::string_view Caption = {}, float Width = 500, std::int32_t Alignment = 4,
                         std::int32_t DataType = 0, std::string_view Format = {},
                         std::string_view InputFilter = {}, std::int32_t ImageAlignment = 4,
                         bool WordWrap = false, std::int32_t Index = 0, bool bVisible = true,
                         bool bLocked = false);
  std::int32_t Cols() const { return static_cast<std::int32_t>(columns_.size()); }
  const GridColumn& Column(std::int32_t vCol) const { return columns_[checkCol(vCol)]; }

  bool ColVisible(std::int32_t vCol) const { return columns_[checkCol(vCol)].Visible; }
  void SetColVisible(std::int32_t vCol, bool value);
  bool ColLocked(std::int32_t vCol) const;
  void SetColLocked(std::int32_t vCol, bool value);
  std::string ColTag(std::int32_t vCol) const { return columns_[checkCol(vCol)].Tag; }
  void SetColTag(std::int32_t vCol, std::string_view value) { columns_[checkCol(vCol)].Tag = value; }
  std::int32_t ColAlignment(std::int32_t vCol) const { return columns_[checkCol(vCol)].Alignment; }
  void SetColAlignment(std::int32_t vCol, std::int32_t value);
  std::int32_t ColImageAlignment(std::int32_t vCol) const { return columns_[checkCol(vCol)].ImageAlignment; }
  void SetColImageAlignment(std::int32_t vCol, std::int32_t value);
  bool ColWordWrap(std::int32_t vCol) const { return columns_[checkCol(vCol)].Flags & cellflag::WordWrap; }
  void SetColWordWrap(std::int32_t vCol, bool value) { SetFlag(columns_[checkCol(vCol)].Flags, cellflag::WordWrap, value); }
  std::string ColHeading(std::int32_t vCol) const { return columns_[checkCol(vCol)].Caption; }
  void SetColHeading(std::int32_t vCol, std::string_view value);
  std::int16_t ColType(std::int32_t vCol) const { return columns_[checkCol(vCol)].DataType; }
  void SetColType(std::int32_t vCol, std::int16_t value) { columns_[checkCol(vCol)].DataType = value; }
  std::string ColFormat(std::int32_t vCol) const { return columns_[checkCol(vCol)].Format; }
  void SetColFormat(std::int32_t vCol, std::string_view value);
  std::string ColInputFilter(std::int32_t vCol) const { return columns_[checkCol(vCol)].InputFilter; }
  void SetColInputFilter(std::int32_t vCol, std::string_view value) { columns_[checkCol(vCol)].InputFilter = value; }
  std::int32_t ColSortState(std::int32_t vCol) const { return columns_[checkCol(vCol)].SortState; }
  void BindControl(std::int32_t vCol, std::shared_ptr<GridControl> Ctrl, bool MoveControl);

  // Column order map: display position -> column index.
  const std::vector<std::int32_t>& ColumnOrder() const { return colOrder_; }
  std::int32_t ColumnAtPosition(std::int32_t position) const;  // array-bounds error when bad
  std::int32_t PositionOfColumn(std::int32_t vCol) const;      // -1 when not in the map
  // Replaces the order map (dragging and swapping columns, saved layouts); the new
  // order must be a permutation of the column indexes (else error 5, nothing changes).
  void SetColumnOrder(const std::vector<std::int32_t>& order);
  // The internal switch that makes ColLocked report True for every column.
  void SetLockAllColumns(bool on) { lockAllColumns_ = on; }

  // Column width in ScaleUnits (the pixel width follows); row image index into the
  // image list (0 = none). Kept here for the geometry and painting layers.
  float ColWidth(std::int32_t vCol) const { return columns_[checkCol(vCol)].Width; }
  void SetColWidth(std::int32_t vCol, float value);
  std::int32_t RowImage(std::int32_t vRow) const;
  void SetRowImage(std::int32_t vRow, std::int32_t value);

  // ---- rows ----
  std::int32_t AddItem(std::string_view vstrItem = {}, std::int32_t vRow = -1, bool vbRowChecked = false,
                       bool vbMarkAsNew = false, bool vbRowLocked = false, bool vbRowVisible = true,
                       std::int32_t vRowData = 0);
  void RemoveRow(std::int32_t vRow = -1);
  void RemoveItem(std::int32_t vRow) { RemoveRow(vRow); }
  void DeleteSelected();
  void Clear();
  void ClearAll();
  void SelectedClearAll();
  std::int32_t SelectedCount() const { return selectedCount_; }
  std::int32_t CheckedCount() const { return checkedCount_; }
  bool RowAdded(std::int32_t vRow) const { return rowAt(checkRow(vRow)).Flags & rowflag::New; }
  bool RowChanged(std::int32_t vRow) const { return rowAt(checkRow(vRow)).Flags & rowflag::Changed; }
  void RowColSet(std::int32_t vRow = -1, std::int32_t vCol = -1);
  // Moves the current cell (row index, display position) without touching the
  // selection, as the mouse and keyboard do; RowColChanged when it moved.
  void MoveCurrentCell(std::int32_t row, std::int32_t position);
  void Refresh();

  std::int32_t Rows() const { return lastRow_ + 1; }
  std::int32_t ItemCount() const { return lastRow_ + 1; }
  std::int32_t Row() const { return curRow_; }
  void SetRow(std::int32_t value) { RowColSet(value, -1); }
  std::int32_t Col() const;
  void SetCol(std::int32_t value) { RowColSet(-1, value); }
  std::int32_t ColPosition() const { return curColPos_; }
  // The cell under the pointer, kept by the mouse layer and forgotten by Clear:
  // MouseCol is the column index at the mouse's display position (0 without columns).
  std::int32_t MouseRow() const { return mouseRow_; }
  std::int32_t MouseCol() const;
  void SetMouseCell(std::int32_t row, std::int32_t displayPosition) {
    mouseRow_ = row;
    mouseCol_ = displayPosition;
  }

  bool RowChecked(std::int32_t vRow) const;
  void SetRowChecked(std::int32_t vRow, bool value);
  bool RowSelected(std::int32_t vRow) const;
  void SetRowSelected(std::int32_t vRow, bool value);
  bool RowLocked(std::int32_t vRow) const;
  void SetRowLocked(std::int32_t vRow, bool value);
  bool RowVisible(std::int32_t vRow) const;
  // How many rows are hidden (so that drawing can count the shown rows above the
  // window without walking them when none is).
  std::int32_t HiddenRowCount() const { return hiddenCount_; }
  void SetRowVisible(std::int32_t vRow, bool value);
  std::int32_t RowData(std::int32_t vRow) const;
  void SetRowData(std::int32_t vRow, std::int32_t value);
  void SetRowBackColor(std::int32_t vRow, Colour value);
  void SetRowForeColor(std::int32_t vRow, Colour value);
  void SetRowFontBold(std::int32_t vRow, bool value);
  std::string RowTag(std::int32_t vRow) const;
  void SetRowTag(std::int32_t vRow, std::string_view value);
  std::int16_t RowGroupHeader(std::int32_t vRow) const;
  void SetRowGroupHeader(std::int32_t vRow, std::int16_t value);

  // Row records for the drawing and input layers (row index, no correction).
  const GridRow& RowRecord(std::int32_t row) const { return rowAt(checkRow(row)); }
  std::int32_t StoredIndex(std::int32_t row) const { return rowOrder_[checkRow(row)]; }
  void SetRowHeightPixels(std::int32_t row, std::int32_t height) { rowAt(checkRow(row)).Height = height; }
  std::int32_t RowHeightDefault() const { return rowHeightDefault_; }
  void SetRowHeightDefault(std::int32_t pixels) { rowHeightDefault_ = pixels; }
  // Slots of the row store (the CacheIncrement growth policy).
  std::int32_t RowCapacity() const { return rowCapacity_; }

  // Stepping for editing and scrolling: `step` displayed rows after the current
  // row, skipping hidden rows and (unless flags has 512) locked rows; the last row
  // when it runs past the end. The next visible unlocked column after the current
  // display position (from position 0 when startOver), wrapping round.
  std::int32_t NextRow(std::int32_t step = 1, std::int32_t flags = 0) const;
  std::int32_t NextCol(bool startOver = false) const;

  // ---- cells ----
  std::string CellText(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellText(std::int32_t vRow, std::int32_t vCol, std::string_view value);
  CellVariant CellValue(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellValue(std::int32_t vRow, std::int32_t vCol, const CellVariant& value);
  bool CellChecked(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellChecked(std::int32_t vRow, std::int32_t vCol, bool value);
  std::string CellTag(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellTag(std::int32_t vRow, std::int32_t vCol, std::string_view value);
  bool CellChanged(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellChanged(std::int32_t vRow, std::int32_t vCol, bool value);
  bool CellsChanged() const { return cellsChanged_; }

  Colour CellBackColor(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellBackColor(std::int32_t vRow, std::int32_t vCol, Colour value);
  Colour CellForeColor(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellForeColor(std::int32_t vRow, std::int32_t vCol, Colour value);
  std::string CellFontName(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellFontName(std::int32_t vRow, std::int32_t vCol, std::string_view value);
  bool CellHandPointer(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellHandPointer(std::int32_t vRow, std::int32_t vCol, bool value);
  std::int16_t CellImage(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellImage(std::int32_t vRow, std::int32_t vCol, std::int16_t value);

  bool CellFontBold(std::int32_t vRow, std::int32_t vCol) const { return cellFlag(vRow, vCol, cellflag::Bold); }
  void SetCellFontBold(std::int32_t vRow, std::int32_t vCol, bool v) { setCellFlag(vRow, vCol, cellflag::Bold, v); }
  bool CellFontItalic(std::int32_t vRow, std::int32_t vCol) const { return cellFlag(vRow, vCol, cellflag::Italic); }
  void SetCellFontItalic(std::int32_t vRow, std::int32_t vCol, bool v) { setCellFlag(vRow, vCol, cellflag::Italic, v); }
  bool CellFontUnderline(std::int32_t vRow, std::int32_t vCol) const { return cellFlag(vRow, vCol, cellflag::Underline); }
  void SetCellFontUnderline(std::int32_t vRow, std::int32_t vCol, bool v) { setCellFlag(vRow, vCol, cellflag::Underline, v); }
  bool CellWordWrap(std::int32_t vRow, std::int32_t vCol) const { return cellFlag(vRow, vCol, cellflag::WordWrap); }
  void SetCellWordWrap(std::int32_t vRow, std::int32_t vCol, bool v) { setCellFlag(vRow, vCol, cellflag::WordWrap, v); }
  std::int16_t CellProgressValue(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellProgressValue(std::int32_t vRow, std::int32_t vCol, std::int32_t value);
  std::int16_t CellAlignment(std::int32_t vRow, std::int32_t vCol) const;
  void SetCellAlignment(std::int32_t vRow, std::int32_t vCol, std::int16_t value);
  void CellPicture(std::shared_ptr<GridPicture> picture, std::int32_t vRow, std::int32_t vCol);
  std::shared_ptr<GridPicture> CellPictureGet(std::int32_t vRow, std::int32_t vCol) const;
  // The cell's format entry index (-1: grid-wide defaults), for drawing and checks.
  std::int16_t CellFormatIndex(std::int32_t vRow, std::int32_t vCol) const;
  const FormatTable& Formats() const { return formats_; }

  // ---- values ----
  double rVal(std::string_view vString) const;
  void FormatCells(std::int32_t RowFrom = 0, std::int32_t RowTo = -1, std::int32_t ColFrom = 0,
                   std::int32_t ColTo = -1, std::int32_t Mode = 3, std::string_view vNewValue = {});
  void FormatCellsAlignment(std::int32_t RowFrom = 0, std::int32_t RowTo = -1, std::int32_t ColFrom = 0,
                            std::int32_t ColTo = -1, std::int32_t vAlignment = 4);
  double TotalsCol(std::int32_t vCol) const;
  bool TotalsLineColAvg(std::int32_t Index) const;
  void SetTotalsLineColAvg(std::int32_t Index, bool value);
  std::string TotalsLineCaption(std::int32_t Index) const;
  void SetTotalsLineCaption(std::int32_t Index, std::string_view value);
  // The figure the totals line shows for a column: the running total, or with the
  // average switch the total divided by the number of rows; empty when the column
  // is bad or an average is asked of a grid without rows.
  std::optional<double> TotalsLineValue(std::int32_t vCol) const;

  // ---- in-place edit (opened by the keyboard and mouse layers) ----
  void OpenEdit(std::int32_t row, std::int32_t displayPosition, std::string_view text);
  bool EditPending() const { return edit_.pending; }
  // The edited cell follows its record and column when rows or columns move.
  std::int32_t EditRow() const;
  std::int32_t EditCol() const { return edit_.pending ? edit_.col : -1; }
  std::int32_t EditColPosition() const { return edit_.pending ? PositionOfColumn(edit_.col) : -1; }
  const std::string& EditText() const { return edit_.text; }
  void SetEditText(std::string_view text) { edit_.text = text; }
  bool UpdateCell(bool bAllowMove);
  // Closes the editor without storing its text (Esc).
  void CancelEdit();

  // ---- sorting ----
  void Sort(std::int32_t vCol1 = -1, std::int32_t vCol1SortType = -1, std::int32_t vCol2 = -1,
            std::int32_t vCol2SortType = -1);
  // A header click released on the header it went down on (position P). Without
  // Ctrl the clicked column becomes the primary sort column (the secondary is
  // dropped); with Ctrl, and a primary set, it becomes the secondary. Then the
  // clicked column is made current.
  void HeaderClick(std::int32_t position, bool ctrl);
  std::int32_t SortPrimary() const { return sortPrimary_; }
  std::int32_t SortSecondary() const { return sortSecondary_; }

  // ---- find and filter ----
  std::int32_t FindItem(std::string_view SearchText, std::int32_t SearchColumn = -1, std::int32_t SearchMode = 0,
                        bool MatchCase = false, std::int32_t StartingRow = 0) const;
  void FilterOn(std::string_view FilterText, std::int32_t SearchColumn, std::int32_t SearchMode = 0,
                bool MatchCase = false, std::int32_t StartingRow = 0);
  void FilterOff(std::int32_t StartingRow = 0);

  // ---- drawing state ----
  bool Redraw() const { return redraw_; }
  void SetRedraw(bool value);
  bool Drawing() const { return drawing_; }
  bool MetricsDue() const { return metricsDue_; }
  bool ScrollBarsDue() const { return scrollBarsDue_; }
  // Long operations of the other layers bracket their work with these.
  void SuspendDrawing() { drawing_ = false; }
  void RestoreDrawing();

  // ---- persisted properties and lifecycle ----
#define QELVARO_GRID_ACCESSORS(Name, Type, Bag, Key, Default, Effect, Notify, Help) \
  const Type& Name() const { return props_.Name; }                            \
  void Set##Name(Type value);
  QELVARO_GRID_PROPERTIES(QELVARO_GRID_ACCESSORS)
#undef QELVARO_GRID_ACCESSORS
  const GridFont& Font() const { return props_.Font; }
  void SetFont(const GridFont& font);
  const GridFont& FontHeader() const { return props_.FontHeader; }
  void SetFontHeader(const GridFont& font);
  // The grid's own input switch, read from the Enabled key with the enabled state.
  bool InputEnabled() const { return inputEnabled_; }

  void InitProperties();
  // Reads every key (missing ones take their default). A value of the wrong kind
  // throws the type-mismatch error and leaves every property as it was.
  void ReadProperties(const PropertyBag& bag);
  void WriteProperties(PropertyBag& bag) const;
  std::string GetInfo(std::int32_t lInfo) const { return locale_->info(lInfo); }
  // Whether the user's locale language, by its English name, is English (recorded
  // at creation for the window layer).
  bool LocaleIsEnglish() const { return localeIsEnglish_; }
  void Terminate();
  bool Terminating() const { return terminating_; }

 private:
  struct PendingEdit {
    bool pending = false;
    std::int32_t stored = -1;  // the edited row's record
    std::int32_t col = -1;     // column index
    std::string text;
  };
  struct SortKeyPlan;

  std::int32_t checkCol(std::int32_t vCol) const;   // array-bounds error when bad
  std::int32_t checkRow(std::int32_t row) const;    // array-bounds error when bad
  GridRow& rowAt(std::int32_t row) { return rows_[static_cast<std::size_t>(rowOrder_[row])]; }
  const GridRow& rowAt(std::int32_t row) const { return rows_[static_cast<std::size_t>(rowOrder_[row])]; }
  bool fixRow(std::int32_t& row) const;
  bool fixRef(std::int32_t& row, std::int32_t& col) const;
  GridCell* cellRef(std::int32_t row, std::int32_t col);
  const GridCell* cellRef(std::int32_t row, std::int32_t col) const;
  bool cellFlag(std::int32_t vRow, std::int32_t vCol, std::uint16_t bit) const;
  void setCellFlag(std::int32_t vRow, std::int32_t vCol, std::uint16_t bit, bool on);
  void setRowFlag(GridRow& row, std::uint16_t bit, bool on);
  void markCellChanged(GridRow& row, GridCell& cell, bool on);
  RowExtras& extrasOf(GridRow& row);
  const CellExtra* cellExtra(const GridRow& row, std::int32_t col) const;
  CellExtra& cellExtraFor(GridRow& row, std::int32_t col);

  CellFormat defaultFormat() const;
  CellFormat currentFormat(const GridCell& cell) const;
  // The format assignment: mode 1 BackColor, 2 ForeColor, 3 Image, 4 FontName, 8 HandPointer.
  void applyCellFormat(GridCell& cell, int mode, const CellFormat& value);
  void setCellFormatComponent(std::int32_t vRow, std::int32_t vCol, int mode, const CellFormat& value);
  void storeText(GridCell& cell, std::int32_t col, std::string_view text);
  void settleTotals() const;
  void recalcRowHeight(std::int32_t row);

  void growRowsFor(std::int32_t newLast);
  void shrinkRowsIfSpare();
  void ensureCapacity(std::size_t slots);
  void repaint();
  void refreshIfRedraw();
  void afterPropertySet(PropertyEffect effect, const char* notify);
  void metricsFromZero();
  void moveCurrentCell(std::int32_t row, std::int32_t colPos);
  void resetRowState();

  void sortRange(std::int32_t first, std::int32_t last, std::int32_t col, std::int32_t state, std::uint64_t generation);
  bool customSortRange(std::int32_t first, std::int32_t last, std::int32_t col, std::int32_t state,
                       std::uint64_t generation);
  void prefetchRow(std::int32_t row) const;
  bool rowMatches(std::string_view cellText, std::string_view search, std::int32_t mode, bool matchCase,
                  std::string& buffer) const;

  const Locale* locale_;
  GridHost nullHost_;
  GridView nullView_;
  GridHost* host_;
  GridView* view_;

  std::vector<GridColumn> columns_;
  std::vector<std::int32_t> colOrder_;
  // Running totals of every column. Filling a grid does not read its cells as
  // numbers: the records appended since the totals were last brought up to date
  // (from totalsRows_ on, in store order) are added in when the totals are read or
  // before anything else changes them, in the same order as one at a time, so the
  // sums come out the same.
  mutable std::vector<double> totals_;
  mutable std::size_t totalsRows_ = 0;
  std::vector<TotalsOption> totalsOptions_;
  std::vector<GridRow> rows_;
  std::vector<std::int32_t> rowOrder_;
  FormatTable formats_;
  std::int32_t lastRow_ = -1;
  std::int32_t rowCapacity_ = 1;

  std::int32_t curRow_ = -1;
  std::int32_t curColPos_ = -1;
  std::int32_t mouseRow_ = -1;
  std::int32_t mouseCol_ = -1;
  std::int32_t sortPrimary_ = -1;
  std::int32_t sortSecondary_ = -1;
  // Set while the remembered sort columns hold display positions (a header click
  // that has not sorted yet) rather than column indexes.
  bool sortPrimaryIsPosition_ = false;
  bool sortSecondaryIsPosition_ = false;
  std::int32_t checkedCount_ = 0;
  std::int32_t hiddenCount_ = 0;
  std::int32_t selectedCount_ = 0;
  std::int32_t rowHeightDefault_ = 17;
  bool cellsChanged_ = false;
  bool lockAllColumns_ = false;
  bool inputEnabled_ = true;
  bool terminating_ = false;
  bool localeIsEnglish_ = false;
  // Bumped by every change to the set of rows or columns, so loops that raise
  // events can tell that a handler changed the grid under them.
  std::uint64_t generation_ = 0;

  bool redraw_ = false;
  bool drawing_ = false;
  bool metricsDue_ = false;
  bool scrollBarsDue_ = false;

  PendingEdit edit_;
  StoredProperties props_;
};

}  // namespace qelvaro::grid
