#include "base/win32/win32_ui.h"

#include "base/win32/wide_string.h"

namespace qelvaro {

void PumpPendingMessages(HWND dialog) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave it for the main loop, which ends the program.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (dialog && IsDialogMessageW(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Win32Ui::showMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  UINT flags = MB_OK;
  if (icon == MessageIcon::Information) flags |= MB_ICONINFORMATION;
  if (icon == MessageIcon::Critical) flags |= MB_ICONERROR;
  MessageBoxW(owner_, base::widen(text).c_str(), base::widen(title.empty() ? kAppTitle : title).c_str(), flags);
}

void Win32Ui::pumpMessages() { PumpPendingMessages(owner_); }

void Win32Ui::setBusyCursor(bool busy) {
  busy_ = busy;
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

bool Win32Ui::applyCursor() const {
  if (!busy_) return false;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

HFONT CreateMessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

}  // namespace qelvaro
