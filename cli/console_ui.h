#pragma once
// The Ui port of a command: messages that a window would show go to the error stream,
// prefixed with the command ("qelvaro backup: ..."); there is no window to pump.

#include <ostream>
#include <string>

#include "ui.h"

namespace qelvaro {

class ConsoleUi final : public Ui {
 public:
  ConsoleUi(std::ostream& err, std::string command) : err_(err), command_(std::move(command)) {}
  void showMessage(const std::string& text, const std::string&, MessageIcon) override {
    err_ << "qelvaro " << command_ << ": " << text << "\n";
  }
  void pumpMessages() override {}
  void setBusyCursor(bool) override {}

 private:
  std::ostream& err_;
  std::string command_;
};

}  // namespace qelvaro
