#pragma once
// What the grid's input layer asks of the window: capture, pointer shapes, timers,
// the clipboard, the borderless edit box laid over a cell, bound host controls,
// the tooltip window that floats above other windows, and dropped text.

#include <windows.h>

#include <memory>

#include "grid_input.h"

namespace qelvaro::grid {

// A host window bound to a column with BindControl.
class Win32BoundControl : public GridControl {
 public:
  explicit Win32BoundControl(HWND hwnd) : hwnd_(hwnd) {}
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_;
};

class Win32InputPort : public InputPort {
 public:
  explicit Win32InputPort(HWND grid);
  ~Win32InputPort() override;
  Win32InputPort(const Win32InputPort&) = delete;
  Win32InputPort& operator=(const Win32InputPort&) = delete;

  // The input layer the edit box and the drop target report to.
  void Attach(GridInput* input) { input_ = input; }
  HWND EditWindow() const { return edit_; }
  HWND ToolTipWindow() const { return tip_; }
  // WM_SETCURSOR over the client area: the shape the input layer chose.
  bool ApplyCursor();
  // WM_CTLCOLOREDIT for the edit box.
  HBRUSH EditColours(HDC dc);
  // Registers the window for dropped text; revoked by Destroy.
  void RegisterDropTarget();
  void Destroy();

  void SetCapture(bool on) override;
  void SetPointer(std::int32_t shape) override;
  std::uint32_t TickCount() override { return GetTickCount(); }
  void StartTimer(std::int32_t id, std::uint32_t milliseconds) override;
  void StopTimer(std::int32_t id) override;
  void TrackMouseLeave() override;
  bool IsAlphaNumeric(std::uint32_t character) override;
  void CopyText(std::string_view text) override;
  void ShowEditor(const EditorLook& look) override;
  void MoveEditor(const Rect& r) override;
  void SetEditorText(std::string_view text) override;
  void HideEditor() override;
  std::int32_t EditorCaret() override;
  std::int32_t EditorLength() override;
  void ShowBoundControl(GridControl& control, const EditorLook& look) override;
  void MoveBoundControl(GridControl& control, const Rect& r) override;
  void HideBoundControl(GridControl& control) override;
  void ShowToolTip(const Rect& cell, std::string_view text, const CanvasFont& font, Rgb fore, Rgb back) override;
  void HideToolTip() override;

 private:
  class DropTarget;
  static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
  static LRESULT CALLBACK TipProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT editMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void ensureEdit();
  void ensureTip();
  HFONT makeFont(const CanvasFont& font);

  HWND grid_;
  GridInput* input_ = nullptr;
  HWND edit_ = nullptr;
  LONG_PTR editStyle_ = 0;
  HWND tip_ = nullptr;
  HFONT editFont_ = nullptr;
  HFONT tipFont_ = nullptr;
  std::wstring tipText_;
  COLORREF editFore_ = 0, editBack_ = 0xFFFFFF;
  HBRUSH editBrush_ = nullptr;
  std::int32_t pointer_ = 0;
  DropTarget* drop_ = nullptr;
  bool oleStarted_ = false;
};

}  // namespace qelvaro::grid
