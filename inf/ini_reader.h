#pragma once
// Our own reader for profile-format files (INF files are one), used on every
// platform so that the offline mode and Windows read a driver's INF identically.
// It follows the way Windows' profile functions read a file: names match without
// regard to ASCII case, the first section and the first key of a name win, blanks
// around names and values go, comment lines (;) are not entries, a comment after a
// value stays part of the value, and one pair of matching quotes around a value is
// removed when the value is read singly.

#include <cstddef>
#include <cstdint>
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

  // For indexes that keep a few bytes a line rather than a string per key: `onHeader`
  // is called at each section header and `onEntry` for each key that sections()
  // would list, with where its line starts in the text.
  struct EntryView {
    std::string_view name;
    std::optional<std::string_view> value;
  };
  void scan(const std::function<void(std::string_view)>& onHeader,
            const std::function<void(std::size_t, const EntryView&)>& onEntry) const;
  // The key whose line starts at `offset` (one that scan gave), read again from the text.
  EntryView entryAt(std::size_t offset) const;
  std::size_t size() const { return text_.size(); }

  // The first line that opens a section header and never closes it ("[Destination"
  // without "]"), with its number from 1. The profile functions take such a line as
  // an entry, and so does this reader; Windows' INF parser refuses the whole file
  // (ERROR_BAD_SECTION_NAME_LINE), so what installs an INF asks here first.
  struct LineAt {
    std::size_t number = 0;
    std::string_view text;
  };
  std::optional<LineAt> unclosedHeader() const;

 private:
  // Where the entries of the first section `name` begin in the text.
  std::optional<std::size_t> findSection(std::string_view name) const;
  std::string text_;
};

// A table of numbered entries by a key each one yields (compared without regard to
// ASCII case; the first entry of a key wins), four to eight bytes an entry: the keys
// are not kept but asked of `keyOf` again, which returns an optional text.
class IniKeyTable {
 public:
  template <typename Entries, typename KeyOf>
  IniKeyTable(const Entries& entries, KeyOf&& keyOf) : slots_(16, 0) {
    for (const std::uint32_t e : entries) {
      const auto key = keyOf(e);
      if (!key) continue;
      std::uint32_t& slot = probe(*key, keyOf);
      if (slot != 0) continue;
      slot = e + 1;
      // Grown as distinct keys come, so a section of one key repeated stays small.
      if (++held_ * 2 > slots_.size()) grow(keyOf);
    }
  }
  template <typename KeyOf>
  std::optional<std::uint32_t> find(std::string_view key, KeyOf&& keyOf) const {
    const std::uint32_t slot = const_cast<IniKeyTable*>(this)->probe(key, keyOf);
    return slot == 0 ? std::nullopt : std::optional<std::uint32_t>(slot - 1);
  }

 private:
  static std::size_t hash(std::string_view key);
  static bool same(std::string_view a, std::string_view b);
  // The slot holding `key`, or the empty one where it would go.
  template <typename KeyOf>
  std::uint32_t& probe(std::string_view key, KeyOf& keyOf) {
    for (std::size_t i = hash(key) & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i] == 0) return slots_[i];
      const auto held = keyOf(slots_[i] - 1);
      if (held && same(*held, key)) return slots_[i];
    }
  }
  template <typename KeyOf>
  void grow(KeyOf& keyOf) {
    std::vector<std::uint32_t> old(slots_.size() * 2, 0);
    old.swap(slots_);
    for (const std::uint32_t s : old) {
      if (s != 0) probe(*keyOf(s - 1), keyOf) = s;
    }
  }
  std::vector<std::uint32_t> slots_;  // entry + 1; 0 for none
  std::size_t held_ = 0;
};

}  // namespace qelvaro
