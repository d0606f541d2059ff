#pragma once
// CellGrid as a Win32 control: a registered window class that a dialog or a window
// hosts, drawing through the display layer onto an off-screen bitmap shown once per
// paint, with its scroll-bar, wheel, focus, mouse-leave and theme messages taken by
// subclassing its own window.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "cell_grid.h"
#include "grid_display.h"
#include "grid_input.h"
#include "subclasser.h"
#include "win32_grid_ports.h"
#include "win32_export.h"
#include "win32_input_port.h"

namespace qelvaro::grid {

inline constexpr wchar_t kCellGridClassName[] = L"QelvaroCellGrid";

// Once per process; the class is usable from dialog templates and CreateWindowEx.
bool RegisterCellGridClass(HINSTANCE instance);

// For automation from other processes (UI tests, accessibility tools): sent with
// wParam = row index (-1 for the header) and lParam = display position, the grid
// answers MAKELRESULT(x, y), the client point of that cell's top-left corner, or -1
// when the cell is not on screen.
UINT CellPointMessage();

class CellGridWindow : private SubclassTarget {
 public:
  // Pixels; host may be null. Registers the class with the program's instance when needed.
  static CellGridWindow* Create(HWND parent, int controlId, int x, int y, int width, int height, GridHost* host);
  static CellGridWindow* FromHwnd(HWND hwnd);

  HWND hwnd() const { return hwnd_; }
  CellGrid& grid() { return grid_; }
  GridDisplay& display() { return display_; }
  GridInput& input() { return input_; }
  // The in-place edit box (null until an edit first opens) and the tooltip window.
  HWND EditWindow() const { return inputPort_.EditWindow(); }
  HWND ToolTipWindow() const { return inputPort_.ToolTipWindow(); }
  Subclasser& subclasser() { return subclasser_; }
  void SetHost(GridHost* host);
  // The image list for row, cell and expand images (owned from then on), with the
  // keys of its images in order (see GridImageList::SetKeys). Keys that are refused
  // throw, and the list stays the caller's.
  void SetImageList(HIMAGELIST list, std::vector<std::string> keys = {});
  bool MouseInside() const { return input_.Inside(); }

  // The grid as a CSV file on the desktop, and its column layout in the user's settings.
  void ExportGrid(std::string_view strGridName, bool vbVisibleColsOnly = true, bool vbVisibleRowsOnly = false,
                  bool vbBooleanAsText = true);
  void ColOrderSave(std::string_view UniqueGridName) { grid::ColOrderSave(grid_, settings_, UniqueGridName); }
  void ColOrderLoad(std::string_view UniqueGridName) { grid::ColOrderLoad(grid_, settings_, UniqueGridName); }
  void ColOrderRestore() { grid::ColOrderRestore(grid_); }
  void ColWidthsSave(std::string_view UniqueGridName) { grid::ColWidthsSave(grid_, settings_, UniqueGridName); }
  void ColWidthsLoad(std::string_view UniqueGridName) { grid::ColWidthsLoad(grid_, settings_, UniqueGridName); }

 private:
  friend bool RegisterCellGridClass(HINSTANCE instance);
  explicit CellGridWindow(HWND hwnd);
  ~CellGridWindow() override;
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void initialize();
  void terminate();
  void paint();
  bool mouseMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool keyMessage(UINT message, WPARAM wParam);
  LRESULT cellPoint(std::int32_t row, std::int32_t position) const;
  // The grid's message handler, called after the window's own procedure.
  void onMessage(SubclassCall& call);

  std::size_t SubclassMethodCount() const override { return 1; }
  void SubclassMethod(std::size_t, SubclassCall& call) override { onMessage(call); }

  HWND hwnd_;
  GridHost nullHost_;
  GridHost* host_ = &nullHost_;
  Win32GridPlatform platform_;
  Win32GridSurface surface_;
  Win32ScrollPort scroll_;
  GridDisplay display_;
  CellGrid grid_;
  Win32InputPort inputPort_;
  GridInput input_;
  RegistrySettingsStore settings_;
  Subclasser subclasser_;
  bool englishLocale_ = false;
  bool afterDblClick_ = false;
  int busy_ = 0;
  bool destroyed_ = false;
};

}  // namespace qelvaro::grid
