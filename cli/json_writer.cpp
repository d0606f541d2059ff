#include "json_writer.h"

#include <algorithm>
#include <cstdio>

#include "text_encoding.h"

namespace qelvaro {

void JsonWriter::newline() {
  // A large INF's listing is tens of megabytes of JSON: whole runs, never a stream
  // operation per character.
  static constexpr char kSpaces[] = "\n                                                                ";
  std::size_t left = stack_.size() * static_cast<std::size_t>(indentWidth_) + 1;
  for (const char* from = kSpaces; left > 0; from = kSpaces + 1) {
    const std::size_t n = std::min(left, sizeof kSpaces - 1 - static_cast<std::size_t>(from - kSpaces));
    out_.write(from, static_cast<std::streamsize>(n));
    left -= n;
  }
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!stack_.empty()) {
    if (stack_.back().count++ > 0) out_ << ',';
    newline();
  }
}

void JsonWriter::beginObject() {
  beforeValue();
  out_ << '{';
  stack_.push_back({false, 0});
}

void JsonWriter::beginArray() {
  beforeValue();
  out_ << '[';
  stack_.push_back({true, 0});
}

void JsonWriter::endObject() {
  const bool empty = stack_.back().count == 0;
  stack_.pop_back();
  if (!empty) newline();
  out_ << '}';
  if (stack_.empty()) out_ << '\n';
}

void JsonWriter::endArray() {
  const bool empty = stack_.back().count == 0;
  stack_.pop_back();
  if (!empty) newline();
  out_ << ']';
  if (stack_.empty()) out_ << '\n';
}

void JsonWriter::key(std::string_view name) {
  beforeValue();
  writeString(name);
  out_ << ": ";
  afterKey_ = true;
}

void JsonWriter::value(std::string_view text) {
  beforeValue();
  writeString(text);
}

void JsonWriter::value(long long number) {
  beforeValue();
  out_ << number;
}

void JsonWriter::value(bool flag) {
  beforeValue();
  out_ << (flag ? "true" : "false");
}

void JsonWriter::writeString(std::string_view text) {
  out_ << '"';
  // Plain ASCII (nearly every name and path) goes out in runs between the characters
  // that need an escape; anything else is written unit by unit below.
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::size_t run = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      const unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
      if (i < text.size() && c >= 0x20 && c != 0x7F && c != '"' && c != '\\') continue;
      out_.write(text.data() + run, static_cast<std::streamsize>(i - run));
      if (i < text.size()) writeUnits(text.substr(i, 1));
      run = i + 1;
    }
    out_ << '"';
    return;
  }
  writeUnits(text);
  out_ << '"';
}

void JsonWriter::writeUnits(std::string_view text) {
  char buf[8];
  for (const char16_t unit : utf8ToUtf16(text)) {
    switch (unit) {
      case u'"': out_ << "\\\""; break;
      case u'\\': out_ << "\\\\"; break;
      case u'\n': out_ << "\\n"; break;
      case u'\r': out_ << "\\r"; break;
      case u'\t': out_ << "\\t"; break;
      default:
        if (unit < 0x20 || unit >= 0x7F) {
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(unit));
          out_ << buf;
        } else {
          out_ << static_cast<char>(unit);
        }
    }
  }
}

}  // namespace qelvaro
