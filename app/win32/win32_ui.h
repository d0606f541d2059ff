#pragma once
// The Ui port over a top-level window: message boxes owned by it, the hourglass
// while it works, and letting queued messages run.

#include <windows.h>

#include "ui.h"

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

// Lets every queued message of this thread run, without waiting for new ones. Dialog
// navigation keys reach `dialog` (may be null) as in the main loop.
void PumpPendingMessages(HWND dialog);

}  // namespace qelvaro
