#pragma once
// A small streaming JSON writer for the command line's reports. Text is UTF-8;
// everything outside ASCII is written as \u escapes so that the output survives
// any console code page. The text is gathered in a buffer and goes out in large
// pieces: when the outermost value ends, when the buffer is full, and at the latest
// when the writer goes away.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace qelvaro {

class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out, int indentWidth = 2) : out_(out), indentWidth_(indentWidth) {}
  ~JsonWriter() { flush(); }
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  void beginObject();
  void endObject();
  void beginArray();
  void endArray();
  void key(std::string_view name);
  void value(std::string_view text);
  void value(long long number);
  void value(bool flag);

 private:
  void flush();
  void put(std::string_view text);
  void put(char c);
  void beforeValue();
  void newline();
  void writeString(std::string_view text);
  // The text's UTF-16 units, escaped as JSON wants them, without the quotes.
  void writeUnits(std::string_view text);

  struct Level {
    bool array;
    int count;
  };
  std::ostream& out_;
  std::string buffer_;
  int indentWidth_;
  std::vector<Level> stack_;
  bool afterKey_ = false;
};

}  // namespace qelvaro
