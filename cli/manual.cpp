#include "manual.h"

#include <vector>

namespace qelvaro {
namespace {

constexpr std::size_t kWidth = 78;

// The text of a line without its font changes and with roff's escapes resolved.
std::string plain(std::string_view line) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '\\' || i + 1 == line.size()) {
      out += line[i];
      continue;
    }
    const char c = line[++i];
    if (c == 'f' && i + 1 < line.size()) ++i;  // \fB \fI \fR \fP
    else if (c == '-') out += '-';
    else if (c == 'e' || c == '\\') out += '\\';
    else if (c != '&') out += c;
  }
  return out;
}

// Filled text: words joined and broken before the width, each line indented.
class Filler {
 public:
  explicit Filler(std::string& out) : out_(out) {}
  void add(const std::string& text, std::size_t indent) {
    indent_ = indent;
    std::size_t i = 0;
    while (i < text.size()) {
      const std::size_t start = text.find_first_not_of(' ', i);
      if (start == std::string::npos) break;
      std::size_t end = text.find(' ', start);
      if (end == std::string::npos) end = text.size();
      word(text.substr(start, end - start));
      i = end;
    }
  }
  void flush() {
    if (!line_.empty()) out_ += std::string(indent_, ' ') + line_ + "\n";
    line_.clear();
  }

 private:
  void word(const std::string& w) {
    if (!line_.empty() && indent_ + line_.size() + 1 + w.size() > kWidth) flush();
    line_ += (line_.empty() ? "" : " ") + w;
  }
  std::string& out_;
  std::string line_;
  std::size_t indent_ = 0;
};

}  // namespace

std::optional<std::string> ManualSection(std::string_view page, std::string_view command) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at <= page.size();) {
    std::size_t end = page.find('\n', at);
    if (end == std::string_view::npos) end = page.size();
    lines.push_back(page.substr(at, end - at));
    at = end + 1;
  }
  std::size_t i = 0;
  while (i < lines.size() && lines[i] != ".SS " + std::string(command)) ++i;
  if (i == lines.size()) return std::nullopt;

  std::string out;
  Filler fill(out);
  bool noFill = false, tag = false;
  std::size_t indent = 2;
  for (++i; i < lines.size(); ++i) {
    const std::string_view l = lines[i];
    if (l.rfind(".SS", 0) == 0 || l.rfind(".SH", 0) == 0) break;
    if (l == ".nf" || l == ".fi") {
      fill.flush();
      noFill = l == ".nf";
    } else if (l == ".PP") {
      fill.flush();
      out += "\n";
      indent = 2;
    } else if (l == ".TP") {
      fill.flush();
      tag = true;
    } else if (tag) {
      out += "  " + plain(l.rfind(".B ", 0) == 0 ? l.substr(3) : l) + "\n";
      tag = false;
      indent = 6;
    } else if (noFill) {
      out += "  " + plain(l) + "\n";
    } else {
      fill.add(plain(l.rfind(".B ", 0) == 0 ? l.substr(3) : l), indent);
    }
  }
  fill.flush();
  return out;
}

}  // namespace qelvaro
