#include "json_writer.h"

#include <cstdio>

#include "text_encoding.h"

namespace qelvaro {

void JsonWriter::newline() {
  out_ << '\n';
  for (std::size_t i = 0; i < stack_.size() * static_cast<std::size_t>(indentWidth_); ++i) out_ << ' ';
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
  out_ << '"';
}

}  // namespace qelvaro
