#include "inf_backup_view.h"

#include <optional>
#include <string_view>
#include <unordered_set>

#include "inf_install_model.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

// One line of a section as the INF parser splits it.
struct InfLine {
  std::optional<std::string> key;  // none for a line without "="
  std::string value;               // the raw text after the "=" (or the whole line)
};

// The profile reader has already split the line at its first "=" and trimmed both
// sides; the INF parser splits at the first "=" outside quotes and before a comment,
// so the line is put back together and split again.
InfLine splitLine(const IniDocument::Key& k) {
  const std::string line = k.value ? k.name + "=" + *k.value : k.name;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == ';') break;
    if (c == '=') return {InfValue(std::string_view(line).substr(0, i)), line.substr(i + 1)};
  }
  return {std::nullopt, line};
}

class InfView {
 public:
  // The document's lines are indexed once here, not on every look-up; [Strings] is
  // made a table on the first %name% met.
  explicit InfView(const IniDocument& doc) : index_(doc) {}

  // Calls `visit` for every line of every section named `section` (in any case), in
  // file order, until it returns false.
  template <typename Visit>
  void forEachLine(std::string_view section, Visit&& visit) const {
    for (const std::uint32_t entry : index_.keys(section)) {
      if (!visit(splitLine(index_.key(entry)))) return;
    }
  }

  // The raw value of the first line keyed `key` in `section`.
  std::optional<std::string> rawValue(std::string_view section, std::string_view key) const {
    std::optional<std::string> found;
    forEachLine(section, [&](const InfLine& line) {
      if (!line.key || !iequalsAscii(*line.key, key)) return true;
      found = line.value;
      return false;
    });
    return found;
  }

  // %name% replaced by its string; "%%" is a "%"; an unknown name stays as written.
  std::string expand(std::string_view text) const {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
      const std::size_t open = text.find('%', pos);
      const std::size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
      if (close == std::string_view::npos) break;
      out.append(text.substr(pos, open - pos));
      const std::string_view name = text.substr(open + 1, close - open - 1);
      const std::optional<std::string> replacement = name.empty() ? std::nullopt : lookup(name);
      if (name.empty()) out.push_back('%');
      else if (replacement) out += *replacement;
      else out.append(text.substr(open, close - open + 1));
      pos = close + 1;
    }
    out.append(text.substr(pos));
    return out;
  }

 private:
  // The first definition of a string counts.
  std::optional<std::string> lookup(std::string_view name) const {
    const auto keyOf = [this](std::uint32_t entry) {
      std::optional<std::string> key = splitLine(index_.key(entry)).key;
      return key && !key->empty() ? key : std::nullopt;
    };
    if (!strings_) strings_.emplace(index_.keys("Strings"), keyOf);
    const auto found = strings_->find(name, keyOf);
    if (!found) return std::nullopt;
    return InfValue(splitLine(index_.key(*found)).value);
  }

  InfIndex index_;
  mutable std::optional<IniKeyTable> strings_;
};

std::string readCatalog(const InfView& inf, MachineArch arch) {
  const std::string decorated = "CatalogFile.NT" + std::string(ArchDecoration(arch));
  for (const std::string_view key : {std::string_view(decorated), std::string_view("CatalogFile.NT"),
                                     std::string_view("CatalogFile")}) {
    if (const auto raw = inf.rawValue("Version", key)) {
      std::string name = inf.expand(InfValue(*raw));
      if (!name.empty()) return name;
    }
  }
  return {};
}

InfDestination readDestination(const InfView& inf) {
  InfDestination dest;
  const auto raw = inf.rawValue("DestinationDirs", "DefaultDestDir");
  if (!raw) return dest;
  const std::vector<std::string> fields = InfFields(*raw);
  dest.dirId = inf.expand(fields[0]);
  if (fields.size() > 1) dest.subdir = inf.expand(fields[1]);
  return dest;
}

// Printer INFs list thousands of files: names already taken are kept lower-cased in
// `seen` rather than compared one by one.
void addSourceFiles(const InfView& inf, std::string_view section, std::vector<std::string>& files,
                    std::unordered_set<std::string>& seen) {
  inf.forEachLine(section, [&](const InfLine& line) {
    std::string name = inf.expand(line.key ? *line.key : InfFields(line.value)[0]);
    if (!name.empty() && seen.insert(asciiLowerCopy(name)).second) files.push_back(std::move(name));
    return true;
  });
}

}  // namespace

InfBackupView ReadInfForBackup(const IniDocument& doc, MachineArch arch) {
  const InfView inf(doc);
  InfBackupView view;
  view.catalog = readCatalog(inf, arch);
  view.destination = readDestination(inf);
  std::unordered_set<std::string> seen;
  addSourceFiles(inf, "SourceDisksFiles." + std::string(ArchDecoration(arch)), view.sourceFiles, seen);
  addSourceFiles(inf, "SourceDisksFiles", view.sourceFiles, seen);
  return view;
}

}  // namespace qelvaro
