#pragma once
// The display layer's ports for one grid window: system colours and metrics, the
// visual style, the window's scroll bars (standard or flat) and the off-screen
// surface that painting draws on and WM_PAINT copies to the screen once.

#include <windows.h>

#include "gdi_canvas.h"
#include "grid_ports.h"

namespace qelvaro::grid {

class Win32GridPlatform : public GridPlatform {
 public:
  explicit Win32GridPlatform(HWND hwnd);
  void SetWindow(HWND hwnd) { hwnd_ = hwnd; }
  Rgb SystemColour(std::int32_t index) const override;
  bool StylesAvailable() const override { return xpOrLater_; }
  bool AppThemed() const override;
  std::optional<std::string> ThemeColourName() const override;
  std::int32_t BorderMetric() const override;
  std::int32_t ThumbMetric() const override;
  double TwipsPerPixelX() const override { return 1440.0 / dpiX_; }
  double TwipsPerPixelY() const override { return 1440.0 / dpiY_; }
  void DoEvents() override;
  // Message passes are skipped while set (inside WM_PAINT, during destruction).
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  bool Quiet() const { return quiet_; }

 private:
  HWND hwnd_;
  bool xpOrLater_ = true;
  int dpiX_ = 96, dpiY_ = 96;
  bool quiet_ = false;
};

class Win32ScrollPort : public ScrollBarPort {
 public:
  explicit Win32ScrollPort(HWND hwnd) : hwnd_(hwnd) {}
  void SetWindow(HWND hwnd) { hwnd_ = hwnd; }
  bool Attached() const override { return hwnd_ != nullptr; }
  bool GetInfo(bool flat, std::int32_t bar, ScrollInfo& info, std::uint32_t mask) override;
  void SetInfo(bool flat, std::int32_t bar, const ScrollInfo& info, std::uint32_t mask) override;
  void Show(bool flat, std::int32_t bar, bool show) override;
  bool InitFlat() override;
  void UninitFlat() override;
  void SetFlatProp(std::int32_t property, std::int32_t value) override;

 private:
  HWND hwnd_;
};

class Win32GridSurface : public GridSurface {
 public:
  explicit Win32GridSurface(HWND hwnd);
  ~Win32GridSurface() override;
  Win32GridSurface(const Win32GridSurface&) = delete;
  Win32GridSurface& operator=(const Win32GridSurface&) = delete;

  Size ClientSize() const override;
  Size WindowSize() const override;
  grid::Canvas& DrawingCanvas() override;
  void Show() override;
  void SetFrame(std::int32_t borderStyle, std::int32_t appearance) override;
  void SetEnabled(bool enabled) override;

  // WM_PAINT: copies the off-screen image into the update rectangle.
  void Blit(HDC target, const RECT& area);
  // While set, Show only marks the image ready (WM_PAINT copies it right after).
  void SetInPaint(bool inPaint) { inPaint_ = inPaint; }
  bool HasImage() const { return hasImage_; }
  HDC MemoryDC() const { return memory_; }
  void ThemeChanged() { canvas_.ForgetThemeParts(); }

 private:
  void ensureSize();
  HWND hwnd_;
  HDC memory_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  Size size_{0, 0};
  GdiCanvas canvas_;
  bool inPaint_ = false;
  bool hasImage_ = false;
};

}  // namespace qelvaro::grid
