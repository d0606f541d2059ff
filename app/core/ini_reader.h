#pragma once
// Our own reader for profile-format files (INF files are one), used on every
// platform so that the offline mode and Windows read a driver's INF identically.
// It follows the way Windows' profile functions read a file: names match without
// regard to ASCII case, the first section and the first key of a name win, blanks
// around names and values go, comment lines (;) are not entries, a comment after a
// value stays part of the value, and one pair of matching quotes around a value is
// removed when the value is read singly.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelvaro {

// Turns the bytes of a profile file into UTF-8 text. A UTF-16LE, UTF-16BE or UTF-8
// byte-order mark decides the encoding; otherwise well-formed UTF-8 that is not
// plain ASCII is taken as UTF-8, and everything else as the ANSI code page, which
// `decodeAnsi` turns into UTF-8.
using AnsiDecoder = std::function<std::string(std::string_view bytes)>;
std::string decodeProfileText(std::string_view bytes, const AnsiDecoder& decodeAnsi);

class IniDocument {
 public:
  struct Key {
    std::string name;
    std::optional<std::string> value;  // none for a line without "="
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;
  };

  // The document keeps the text once and finds sections and keys in it when asked, so
  // that a huge file costs its own size and not a string per key.
  static IniDocument parse(std::string_view utf8Text);
  static IniDocument parse(std::string&& utf8Text);
  static IniDocument parse(const char* utf8Text) { return parse(std::string_view(utf8Text)); }

  // The value of the first key `key` in the first section `section`; none when
  // there is no such section or key, or when that key's line has no "=".
  // Quotes are removed as the profile functions remove them.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;

  // The entries of the first section `section` as "key=value" (or "key" for a line
  // without "="), in file order, comments left out. None when there is no such section.
  std::optional<std::vector<std::string>> sectionEntries(std::string_view section) const;

  // Every section with its keys, in file order (the nameless one before the first
  // header comes first). Built on request, at the cost of a string per key.
  std::vector<Section> sections() const;

 private:
  // Where the entries of the first section `name` begin in the text.
  std::optional<std::size_t> findSection(std::string_view name) const;
  std::string text_;
};

}  // namespace qelvaro
