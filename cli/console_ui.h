#pragma once
// The Ui port of a command: messages that a window would show go to the error stream,
// prefixed with the command ("qelvaro backup: ..."); there is no window to pump.

#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

#include "base/ui.h"

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

// The length of the longest start of `text` that ends between two UTF-8 characters:
// a character is never cut in two.
inline std::size_t WholeUtf8Prefix(std::string_view text) {
  for (std::size_t back = 1; back <= 4 && back <= text.size(); ++back) {
    const auto c = static_cast<unsigned char>(text[text.size() - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return length > back ? text.size() - back : text.size();
  }
  return text.size();  // not UTF-8 there: handed on as it is
}

// The output of the commands (UTF-8) for a console window, which takes UTF-16 text
// (WriteConsoleW) whatever its code page: the bytes are handed to `write` in whole
// characters, at each flush and every few kilobytes.
class ConsoleTextBuf final : public std::streambuf {
 public:
  using Write = std::function<bool(std::string_view wholeCharacters)>;
  explicit ConsoleTextBuf(Write write) : write_(std::move(write)) {}
  ~ConsoleTextBuf() override {
    if (!pending_.empty()) write_(pending_);
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? 0 : c;
    pending_.push_back(traits_type::to_char_type(c));
    return pending_.size() < kChunk || handOn() ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<std::size_t>(n));
    return pending_.size() < kChunk || handOn() ? n : 0;
  }
  int sync() override { return handOn() ? 0 : -1; }

 private:
  static constexpr std::size_t kChunk = 4096;
  bool handOn() {
    const std::size_t whole = WholeUtf8Prefix(pending_);
    if (whole == 0) return true;
    const bool ok = write_(std::string_view(pending_).substr(0, whole));
    pending_.erase(0, whole);
    return ok;
  }
  Write write_;
  std::string pending_;
};

}  // namespace qelvaro
