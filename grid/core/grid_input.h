#pragma once
// The grid's mouse and keyboard behaviour, without the window: hit testing through
// the display's geometry, selection, check boxes, column and row sizing, column
// dragging and swapping, header sorting, the cell click events, drag-selection
// auto-scroll, keyboard navigation, incremental search, the in-place editor's
// rules and the hover tooltip.
//
// The window turns its messages into calls here and the InputPort calls back into
// the window for what only it can do: capture, pointer shapes, timers, the edit box
// and the tooltip window. Everything here runs natively against test doubles.

#include <cstdint>
#include <string>
#include <string_view>

#include "cell_grid.h"
#include "grid_display.h"

namespace qelvaro::grid {

namespace pointer {
inline constexpr std::int32_t Default = 0, SizeNS = 7, SizeWE = 9, Hand = 99;
}
namespace mousebutton {
inline constexpr std::int16_t Left = 1, Right = 2, Middle = 4;
}
namespace shiftkey {
inline constexpr std::int16_t Shift = 1, Ctrl = 2, Alt = 4;
}
namespace vk {
inline constexpr std::int16_t Back = 8, Enter = 13, Esc = 27, Space = 32, PageUp = 33, PageDown = 34, End = 35,
                              Home = 36, Left = 37, Up = 38, Right = 39, Down = 40, Insert = 45, Delete = 46,
                              A = 65, C = 67, V = 86, F2 = 113;
}
// Timers the window runs for this layer.
namespace inputtimer {
inline constexpr std::int32_t ToolTip = 1, AutoScroll = 2;
inline constexpr std::uint32_t ToolTipDelay = 1500, AutoScrollStep = 25;
}

// How the edit box looks when it opens over a cell.
struct EditorLook {
  Rect rect;  // client pixels, inside the grid lines
  std::string text;
  Rgb fore = 0, back = 0;
  CanvasFont font;
  std::int32_t alignment = 0;  // 0 left, 1 right, 2 centre (the edit styles)
  std::int32_t letterCase = 0;  // 0 as typed, 1 lower, 2 upper
  bool multiLine = false;
};

class InputPort {
 public:
  virtual ~InputPort() = default;
  virtual void SetCapture(bool on) = 0;
  virtual void SetPointer(std::int32_t shape) = 0;
  virtual std::uint32_t TickCount() = 0;
  virtual void StartTimer(std::int32_t id, std::uint32_t milliseconds) = 0;
  virtual void StopTimer(std::int32_t id) = 0;
  // Asks for a mouse-leave notice for the grid's window.
  virtual void TrackMouseLeave() = 0;
  virtual bool IsAlphaNumeric(std::uint32_t character) = 0;
  // Puts text on the clipboard (Ctrl+C).
  virtual void CopyText(std::string_view text) = 0;

  // The edit box: shown with its whole text selected and the focus; text replaced
  // with the caret after it; caret position and length in characters.
  virtual void ShowEditor(const EditorLook& look) = 0;
  virtual void MoveEditor(const Rect& r) = 0;
  virtual void SetEditorText(std::string_view text) = 0;
  virtual void HideEditor() = 0;
  virtual std::int32_t EditorCaret() = 0;
  virtual std::int32_t EditorLength() = 0;
  // A host control bound to a column, laid over the cell.
  virtual void ShowBoundControl(GridControl& control, const EditorLook& look) = 0;
  virtual void MoveBoundControl(GridControl& control, const Rect& r) = 0;
  virtual void HideBoundControl(GridControl& control) = 0;

  // The tooltip window next to a cell (client pixels of the grid), at least as
  // wide as the cell and as wide as the text needs; the window moves it to the screen.
  virtual void ShowToolTip(const Rect& cell, std::string_view text, const CanvasFont& font, Rgb fore, Rgb back) = 0;
  virtual void HideToolTip() = 0;
};

class GridInput {
 public:
  GridInput(CellGrid& grid, GridDisplay& display, InputPort& port);
  GridInput(const GridInput&) = delete;
  GridInput& operator=(const GridInput&) = delete;

  // ---- mouse (pixels of the client area; Button and Shift as the events carry them) ----
  void MouseDown(std::int16_t button, std::int16_t shift, std::int32_t x, std::int32_t y);
  void MouseMove(std::int16_t button, std::int16_t shift, std::int32_t x, std::int32_t y);
  void MouseUp(std::int16_t button, std::int16_t shift, std::int32_t x, std::int32_t y);
  void Click();
  void DblClick();
  void MouseEnter();
  void MouseLeave();
  // Text dropped on the grid at a client point.
  void DropText(std::int32_t x, std::int32_t y, std::string_view text);
  void Timer(std::int32_t id);

  // ---- keyboard ----
  // Returns true when the key was consumed (an edit box must not act on it).
  bool KeyDown(std::int16_t key, std::int16_t shift);
  bool KeyPress(std::uint32_t character);
  void KeyUp(std::int16_t key, std::int16_t shift);
  // A character typed into the edit box after the grid saw it: returns the
  // character the box should take, 0 when the column's filter refuses it.
  std::uint32_t EditorKeyPress(std::uint32_t character);
  // The edit box's text changed.
  void EditorTextChanged(std::string_view text) { grid_.SetEditText(text); }

  // ---- editing ----
  bool ToggleEdit(bool moveAfter);
  void BeginEdit(std::int32_t row, std::int32_t position);
  void ForceCellEdit(std::int32_t lNewRow, std::int32_t lNewCol, bool bBlankCell);
  void CancelEdit();
  void PlaceEditor();
  // Called by the view when the grid hides the editor (commit or a model change).
  void EditorHidden(GridControl* bound);
  void HideToolTip();

  // ---- state, for the window and tests ----
  std::int32_t Pointer() const { return pointer_; }
  bool Captured() const { return captured_; }
  bool Inside() const { return inside_; }
  std::int32_t AutoScrollDirection() const { return autoScroll_; }
  std::int32_t ResizingColumn() const { return resizeCol_; }
  std::int32_t ResizingRow() const { return resizeRow_; }
  const std::string& SearchText() const { return searchText_; }
  bool ToolTipShown() const { return toolTipShown_; }
  std::int32_t LastKey() const { return display_.LastKey(); }
  void AutoScrollLoopStep();

 private:
  struct Hit {
    std::int32_t row = -1;
    std::int32_t pos = -1;  // display position
  };
  Hit hitTest(std::int32_t x, std::int32_t y) const;
  bool onHeader(std::int32_t y) const;
  std::int32_t rowTop(std::int32_t row) const;
  Rect cellRect(std::int32_t row, std::int32_t pos, std::int32_t part) const;
  std::int32_t colAt(std::int32_t pos) const;
  bool rowLocked(std::int32_t row) const;
  bool commitEdit();
  void setPointer(std::int32_t shape);
  void redrawHeader();
  void repaint();

  bool selectRow(std::int32_t row, bool on);
  bool clearSelection();
  bool selectRange(std::int32_t from, std::int32_t to);
  void makeCurrent(std::int32_t row, std::int32_t pos);
  void toggleCellCheck(std::int32_t row, std::int32_t col);

  std::int32_t lastShownPosition() const;
  std::int32_t surfaceHeight() const;
  void startAutoScroll(std::int32_t direction);
  void stopAutoScroll();
  std::string selectionText() const;
  EditorLook editorLook(std::int32_t row, std::int32_t pos) const;
  Rect editorRect(std::int32_t row, std::int32_t pos) const;
  void startToolTipWait();
  void showToolTip();
  void endResizeMarks();
  void resizeColumnTo(std::int32_t width);

  void keyInsert();
  void keyDelete();
  void keySpace();
  void search(std::uint32_t character);
  std::int32_t prevRow(std::int32_t from) const;
  std::int32_t nextRow(std::int32_t from) const;

  CellGrid& grid_;
  GridDisplay& display_;
  InputPort& port_;

  // mouse
  std::int32_t downRow_ = -1;
  std::int32_t downX_ = 0;
  std::int32_t dragLastRow_ = -1;
  std::int32_t mouseRow_ = -1, mousePos_ = -1;
  std::int32_t pressedHeader_ = -1;
  std::int32_t pressedState_ = 3;
  std::int32_t downSizingCol_ = -1;
  bool pressOnHeader_ = false;
  bool pressOnRow_ = false;
  bool pressIgnored_ = false;
  std::int32_t resizeCol_ = -1, resizeColLeft_ = 0;
  std::int32_t resizeRow_ = -1, resizeRowTop_ = 0;
  bool resized_ = false;
  std::int32_t dragSource_ = -1, swapSource_ = -1, dropTarget_ = -1;
  bool captured_ = false;
  std::int16_t downShift_ = 0;
  std::int32_t autoScroll_ = 0;
  bool inside_ = false;
  std::int32_t pointer_ = pointer::Default;
  std::int32_t hotHeader_ = -1;

  // keyboard
  std::int16_t shift_ = 0;
  bool keyHandled_ = false;
  std::string searchText_;
  std::uint32_t searchTime_ = 0;
  bool searchStarted_ = false;

  // tooltip
  bool toolTipWaiting_ = false;
  bool toolTipCancelled_ = false;
  bool toolTipShown_ = false;

};

}  // namespace qelvaro::grid
