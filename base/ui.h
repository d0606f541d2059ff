#pragma once
// The user-interface port of the backup application: what the portable routines
// need of the window they run in. Win32 implements it over the main window; tests
// record the calls.

#include <string>

namespace qelvaro {

// The application title, which a message box without a title of its own shows.
inline constexpr char kAppTitle[] = "Quorvak";

enum class MessageIcon { None, Information, Critical };

class Ui {
 public:
  virtual ~Ui() = default;
  virtual void showMessage(const std::string& text, const std::string& title, MessageIcon icon) = 0;
  // Lets the window messages that are already queued run (repaint, input), without waiting.
  virtual void pumpMessages() = 0;
  // The hourglass while true, the default pointer when false.
  virtual void setBusyCursor(bool busy) = 0;
};

}  // namespace qelvaro
