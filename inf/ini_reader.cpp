#include "ini_reader.h"

#include <algorithm>

#include "base/text_encoding.h"

namespace qelvaro {
namespace {

// The profile reader's notion of a blank: the Unicode spaces, plus Ctrl-Z, the DOS
// end-of-file mark that old INF files still carry.
bool isProfileSpace(std::string_view text, std::size_t pos, std::size_t& width) {
  const auto b = static_cast<unsigned char>(text[pos]);
  width = 1;
  if (b == ' ' || (b >= 0x09 && b <= 0x0D) || b == 0x1A) return true;
  if (b < 0x80) return false;
  // Multi-byte blanks: U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029,
  // U+202F, U+205F, U+3000.
  auto at = [&](std::size_t k) {
    return pos + k < text.size() ? static_cast<unsigned char>(text[pos + k]) : 0;
  };
  if (b == 0xC2 && (at(1) == 0x85 || at(1) == 0xA0)) {
    width = 2;
    return true;
  }
  if (b == 0xE1 && at(1) == 0x9A && at(2) == 0x80) {
    width = 3;
    return true;
  }
  if (b == 0xE2 && at(1) == 0x80 &&
      ((at(2) >= 0x80 && at(2) <= 0x8A) || at(2) == 0xA8 || at(2) == 0xA9 || at(2) == 0xAF)) {
    width = 3;
    return true;
  }
  if (b == 0xE2 && at(1) == 0x81 && at(2) == 0x9F) {
    width = 3;
    return true;
  }
  if (b == 0xE3 && at(1) == 0x80 && at(2) == 0x80) {
    width = 3;
    return true;
  }
  return false;
}

std::string_view trimLeft(std::string_view s) {
  std::size_t width = 1;
  std::size_t i = 0;
  while (i < s.size() && isProfileSpace(s, i, width)) i += width;
  return s.substr(i);
}

// Trailing blanks: walk forward remembering where the last non-blank ended, so that
// multi-byte blanks are recognised without decoding backwards.
std::string_view trimRight(std::string_view s) {
  std::size_t end = 0;
  std::size_t i = 0;
  std::size_t width = 1;
  while (i < s.size()) {
    if (isProfileSpace(s, i, width)) {
      i += width;
    } else {
      // Skip the whole character so a continuation byte is never mistaken for a start.
      const auto b = static_cast<unsigned char>(s[i]);
      std::size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
      i = std::min(s.size(), i + len);
      end = i;
    }
  }
  return s.substr(0, end);
}

std::string_view trim(std::string_view s) { return trimRight(trimLeft(s)); }

bool startsWithBom(std::string_view bytes, std::string_view bom) {
  return bytes.size() >= bom.size() && bytes.substr(0, bom.size()) == bom;
}

std::string decodeUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(bytes[i + (bigEndian ? 1 : 0)]);
    const auto hi = static_cast<unsigned char>(bytes[i + (bigEndian ? 0 : 1)]);
    units += static_cast<char16_t>(lo | (hi << 8));
  }
  return utf16ToUtf8(units);
}

bool isAscii(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string decodeProfileText(std::string_view bytes, const AnsiDecoder& decodeAnsi) {
  if (startsWithBom(bytes, "\xEF\xBB\xBF")) return std::string(bytes.substr(3));
  if (startsWithBom(bytes, "\xFF\xFE")) return decodeUtf16(bytes.substr(2), false);
  if (startsWithBom(bytes, "\xFE\xFF")) return decodeUtf16(bytes.substr(2), true);
  if (isAscii(bytes)) return std::string(bytes);
  if (isValidUtf8(bytes)) return std::string(bytes);
  return decodeAnsi(bytes);
}

namespace {

// One non-blank line of the text: a section header, or an entry (a line without "="
// has no value). The views point into the document's text.
struct ProfileLine {
  bool header = false;
  std::string_view rawName;  // before an embedded NUL is taken into account
  std::string_view name;
  bool hasValue = false;
  std::string_view value;
};

// The profile functions hand names and values on as C strings: an embedded NUL
// (binary junk in a file) ends them.
std::string_view cStringView(std::string_view s) {
  const auto nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

// Reads the line at `pos` and moves `pos` past it; false at the end of the text.
bool nextLine(std::string_view text, std::size_t& pos, ProfileLine& out) {
  while (pos < text.size()) {
    // A line ends at CR or LF; a run of them ends it once (blank lines vanish anyway).
    std::size_t end = pos;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    std::size_t next = end;
    while (next < text.size() && (text[next] == '\n' || text[next] == '\r')) ++next;
    const std::string_view line = trim(text.substr(pos, end - pos));
    pos = next;
    if (line.empty()) continue;

    out = ProfileLine{};
    if (line.front() == '[') {
      // The header runs to the last "]" of the line; text after it is ignored.
      const auto close = line.rfind(']');
      if (close != std::string_view::npos && close > 0) {
        out.header = true;
        out.name = cStringView(line.substr(1, close - 1));
        return true;
      }
      // A "[" without "]" is an ordinary line.
    }
    out.rawName = line;
    const auto eq = line.find('=');
    if (eq != std::string_view::npos) {
      out.rawName = trimRight(line.substr(0, eq));
      out.hasValue = true;
      out.value = cStringView(trimLeft(line.substr(eq + 1)));
    }
    out.name = cStringView(out.rawName);
    return true;
  }
  return false;
}

// Calls `f(line)` for each key of the section whose entries begin at `pos`, until the
// next header or until `f` returns true.
template <typename F>
void forEachKey(std::string_view text, std::size_t pos, F&& f) {
  bool any = false;
  bool lastNameEmpty = false;
  ProfileLine line;
  while (nextLine(text, pos, line) && !line.header) {
    // Consecutive lines with an empty name collapse into the first of them, as in
    // the platform's reader.
    if (!line.rawName.empty() || !any || !lastNameEmpty) {
      any = true;
      lastNameEmpty = line.name.empty();
      if (f(line)) return;
    }
  }
}

}  // namespace

IniDocument IniDocument::parse(std::string_view text) { return parse(std::string(text)); }

IniDocument IniDocument::parse(std::string&& text) {
  IniDocument doc;
  doc.text_ = std::move(text);
  return doc;
}

std::optional<std::size_t> IniDocument::findSection(std::string_view name) const {
  const std::string_view wanted = trim(name);
  // Lines before the first header belong to a section without a name, which comes first.
  if (wanted.empty()) return 0;
  std::size_t pos = 0;
  ProfileLine line;
  while (nextLine(text_, pos, line)) {
    if (line.header && iequalsAscii(line.name, wanted)) return pos;
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const {
  const auto start = findSection(section);
  if (!start) return std::nullopt;
  const std::string_view wanted = trim(key);
  std::optional<std::string> result;
  forEachKey(text_, *start, [&](const ProfileLine& k) {
    if (!iequalsAscii(k.name, wanted)) return false;
    if (k.hasValue) {
      std::string_view v = k.value;
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
      }
      result.emplace(v);
    }
    return true;
  });
  return result;
}

std::optional<std::vector<std::string>> IniDocument::sectionEntries(std::string_view section) const {
  const auto start = findSection(section);
  if (!start) return std::nullopt;
  std::vector<std::string> entries;
  forEachKey(text_, *start, [&](const ProfileLine& k) {
    if (k.name.empty() && !k.hasValue) return false;
    if (!k.name.empty() && k.name.front() == ';') return false;
    std::string entry(k.name);
    if (k.hasValue) {
      entry += '=';
      entry += k.value;
    }
    entries.push_back(std::move(entry));
    return false;
  });
  return entries;
}

std::vector<IniDocument::Section> IniDocument::sections() const {
  std::vector<Section> out;
  out.push_back(Section{});
  std::size_t pos = 0;
  ProfileLine line;
  forEachKey(text_, 0, [&](const ProfileLine& k) {
    out.back().keys.push_back(
        Key{std::string(k.name), k.hasValue ? std::optional<std::string>(std::string(k.value)) : std::nullopt});
    return false;
  });
  while (nextLine(text_, pos, line)) {
    if (!line.header) continue;
    out.push_back(Section{std::string(line.name), {}});
    forEachKey(text_, pos, [&](const ProfileLine& k) {
      out.back().keys.push_back(
          Key{std::string(k.name), k.hasValue ? std::optional<std::string>(std::string(k.value)) : std::nullopt});
      return false;
    });
  }
  return out;
}

void IniDocument::scan(const std::function<void(std::string_view)>& onHeader,
                       const std::function<void(std::size_t, const EntryView&)>& onEntry) const {
  std::size_t pos = 0;
  bool any = false, lastNameEmpty = false;
  ProfileLine line;
  for (std::size_t at = pos; nextLine(text_, pos, line); at = pos) {
    if (line.header) {
      onHeader(line.name);
      any = lastNameEmpty = false;
      continue;
    }
    // As forEachKey: consecutive lines with an empty name are one.
    if (line.rawName.empty() && any && lastNameEmpty) continue;
    any = true;
    lastNameEmpty = line.name.empty();
    onEntry(at, EntryView{line.name, line.hasValue ? std::optional<std::string_view>(line.value) : std::nullopt});
  }
}

std::optional<IniDocument::LineAt> IniDocument::unclosedHeader() const {
  std::size_t number = 1;
  for (std::size_t pos = 0; pos < text_.size();) {
    std::size_t end = pos;
    while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
    const std::string_view line = trim(std::string_view(text_).substr(pos, end - pos));
    if (!line.empty() && line.front() == '[' && line.find(']') == std::string_view::npos) {
      return LineAt{number, line};
    }
    // CR LF ends one line; a lone CR or LF ends one too.
    pos = end + (end + 1 < text_.size() && text_[end] == '\r' && text_[end + 1] == '\n' ? 2 : 1);
    ++number;
  }
  return std::nullopt;
}

IniDocument::EntryView IniDocument::entryAt(std::size_t offset) const {
  ProfileLine line;
  if (!nextLine(text_, offset, line) || line.header) return {};
  return EntryView{line.name, line.hasValue ? std::optional<std::string_view>(line.value) : std::nullopt};
}

std::size_t IniKeyTable::hash(std::string_view key) {
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : key) h = (h ^ static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c)) * 1099511628211ull;
  return static_cast<std::size_t>(h ^ (h >> 32));
}

bool IniKeyTable::same(std::string_view a, std::string_view b) { return iequalsAscii(a, b); }

}  // namespace qelvaro
