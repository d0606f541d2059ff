#pragma once
// A Ui that records what the routines show, for tests.

#include <string>
#include <vector>

#include "base/ui.h"

namespace qelvaro {

class RecordingUi final : public Ui {
 public:
  struct Message {
    std::string text;
    std::string title;
    MessageIcon icon;
  };
  std::vector<Message> messages;
  int pumps = 0;
  std::vector<bool> cursor;

  void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
    messages.push_back({text, title, icon});
  }
  void pumpMessages() override { ++pumps; }
  void setBusyCursor(bool busy) override { cursor.push_back(busy); }
};

}  // namespace qelvaro
