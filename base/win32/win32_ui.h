#pragma once
// The Ui port over a top-level window: message boxes owned by it, the hourglass
// while it works, and letting queued messages run.

#include <windows.h>

#include "base/ui.h"

namespace qelvaro {

class Win32Ui final : public Ui {
 public:
  explicit Win32Ui(HWND owner = nullptr) : owner_(owner) {}
  void setOwner(HWND owner) { owner_ = owner; }

  void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
  void pumpMessages() override;
  void setBusyCursor(bool busy) override;

  // For the owner's WM_SETCURSOR: true when it showed the hourglass.
  bool applyCursor() const;

 private:
  HWND owner_;
  bool busy_ = false;
};

// The screen's horizontal DPI (96 when it cannot be read).
int ScreenDpi();

// The system's message font at this DPI: the font Windows uses for dialogs in the
// user's language (the default GUI font when the system does not say).
HFONT CreateMessageFont();

// Lets every queued message of this thread run, without waiting for new ones. Dialog
// navigation keys reach `dialog` (may be null) as in the main loop.
void PumpPendingMessages(HWND dialog);

}  // namespace qelvaro
