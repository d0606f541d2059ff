#include "json_writer.h"

#include <algorithm>
#include <cstdio>

#include "base/text_encoding.h"

namespace qelvaro {

void JsonWriter::flush() {
  out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  buffer_.clear();
}

void JsonWriter::put(char c) { put(std::string_view(&c, 1)); }

void JsonWriter::put(std::string_view text) {
  buffer_.append(text);
  if (buffer_.size() >= (std::size_t{1} << 16)) flush();
}

void JsonWriter::newline() {
  // A large INF's listing is tens of megabytes of JSON: whole runs, never a stream
  // operation per character.
  static constexpr char kSpaces[] = "\n                                                                ";
  std::size_t left = stack_.size() * static_cast<std::size_t>(indentWidth_) + 1;
  for (const char* from = kSpaces; left > 0; from = kSpaces + 1) {
    const std::size_t n = std::min(left, sizeof kSpaces - 1 - static_cast<std::size_t>(from - kSpaces));
    put({from, n});
    left -= n;
  }
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!stack_.empty()) {
    if (stack_.back().count++ > 0) put(',');
    newline();
  }
}

void JsonWriter::beginObject() {
  beforeValue();
  put('{');
  stack_.push_back({false, 0});
}

void JsonWriter::beginArray() {
  beforeValue();
  put('[');
  stack_.push_back({true, 0});
}

void JsonWriter::endObject() {
  const bool empty = stack_.back().count == 0;
  stack_.pop_back();
  if (!empty) newline();
  put('}');
  if (stack_.empty()) {
    put('\n');
    flush();
  }
}

void JsonWriter::endArray() {
  const bool empty = stack_.back().count == 0;
  stack_.pop_back();
  if (!empty) newline();
  put(']');
  if (stack_.empty()) {
    put('\n');
    flush();
  }
}

void JsonWriter::key(std::string_view name) {
  beforeValue();
  writeString(name);
  put(": ");
  afterKey_ = true;
}

void JsonWriter::value(std::string_view text) {
  beforeValue();
  writeString(text);
}

void JsonWriter::value(long long number) {
  beforeValue();
  put(std::to_string(number));
}

void JsonWriter::value(bool flag) {
  beforeValue();
  put(flag ? "true" : "false");
}

void JsonWriter::writeString(std::string_view text) {
  put('"');
  // Plain ASCII (nearly every name and path) goes out in runs between the characters
  // that need an escape; anything else is written unit by unit below.
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::size_t run = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      const unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
      if (i < text.size() && c >= 0x20 && c != 0x7F && c != '"' && c != '\\') continue;
      put(text.substr(run, i - run));
      if (i < text.size()) writeUnits(text.substr(i, 1));
      run = i + 1;
    }
    put('"');
    return;
  }
  writeUnits(text);
  put('"');
}

void JsonWriter::writeUnits(std::string_view text) {
  char buf[8];
  for (const char16_t unit : utf8ToUtf16(text)) {
    switch (unit) {
      case u'"': put("\\\""); break;
      case u'\\': put("\\\\"); break;
      case u'\n': put("\\n"); break;
      case u'\r': put("\\r"); break;
      case u'\t': put("\\t"); break;
      default:
        if (unit < 0x20 || unit >= 0x7F) {
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(unit));
          put(buf);
        } else {
          put(static_cast<char>(unit));
        }
    }
  }
}

}  // namespace qelvaro
