#include "restore_inf.h"

#include <algorithm>
#include <unordered_map>

#include "text_encoding.h"

namespace qelvaro::restore {

namespace {

using Key = IniDocument::Key;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The sections of an INF by lower-cased name, each with the entries of every
// section of that name: Windows' INF parser merges sections that appear more than
// once. Comment lines are left out. Large INFs name thousands of files, so each
// section and key is found through a map rather than a walk.
class Index {
 public:
  // The document hands out its sections as a fresh list; the index keeps that list,
  // which its key pointers point into.
  explicit Index(const IniDocument& doc) : all_(doc.sections()) {
    for (const auto& s : all_) {
      Section& merged = sections_[asciiLowerCopy(s.name)];
      for (const auto& k : s.keys) {
        if (!k.name.empty() && k.name.front() == ';') continue;
        if (k.name.empty() && !k.value) continue;
        merged.keys.push_back(&k);
        merged.first.emplace(asciiLowerCopy(k.name), &k);
      }
    }
  }
  const std::vector<const Key*>& keys(std::string_view name) const {
    static const std::vector<const Key*> none;
    const auto it = sections_.find(asciiLowerCopy(name));
    return it == sections_.end() ? none : it->second.keys;
  }
  bool has(std::string_view name) const { return sections_.count(asciiLowerCopy(name)) != 0; }
  const Key* first(std::string_view name, std::string_view key) const {
    const auto it = sections_.find(asciiLowerCopy(name));
    if (it == sections_.end()) return nullptr;
    const auto k = it->second.first.find(asciiLowerCopy(key));
    return k == it->second.first.end() ? nullptr : k->second;
  }

 private:
  struct Section {
    std::vector<const Key*> keys;
    std::unordered_map<std::string, const Key*> first;  // emplace keeps the first of a name
  };
  std::vector<IniDocument::Section> all_;
  std::unordered_map<std::string, Section> sections_;
};

std::vector<const Key*> sectionKeys(const Index& doc, std::string_view name) { return doc.keys(name); }

bool hasSection(const Index& doc, std::string_view name) { return doc.has(name); }

// The raw value of the first key `key` of the merged sections `name`.
std::optional<std::string> rawValue(const Index& doc, std::string_view name, std::string_view key) {
  const Key* k = doc.first(name, key);
  if (!k) return std::nullopt;
  return k->value.value_or(std::string());
}

std::string resolve(const Index& doc, std::string_view text);

// A line of a section as written, for lines whose fields are split by commas only
// (file lists): "name" or "name=value".
std::string wholeLine(const Key& k) { return k.value ? k.name + "=" + *k.value : k.name; }

std::string decorated(std::string_view base, std::string_view suffix) {
  return std::string(base) + "." + std::string(suffix);
}

// The section suffixes Windows tries for an install section on `arch`, best first.
std::vector<std::string> installDecorations(MachineArch arch) {
  return {"NT" + std::string(ArchDecoration(arch)), "NT", ""};
}

// "NTamd64", "NTamd64.10.0...19041": the architecture part of a target OS decoration,
// lower-cased; "" for plain "NT".
std::string decorationArch(std::string_view decoration) {
  std::string lower = asciiLowerCopy(decoration);
  if (lower.rfind("nt", 0) != 0) return "?";
  lower.erase(0, 2);
  const auto dot = lower.find('.');
  return dot == std::string::npos ? lower : lower.substr(0, dot);
}

// The models section a [Manufacturer] entry names for `arch`, or none. 64-bit
// Windows takes only a decoration for its own architecture; 32-bit Windows also
// takes "NT" and the plain section.
std::optional<std::string> modelsSectionFor(const Index& doc, const std::vector<std::string>& fields,
                                            MachineArch arch) {
  const std::string base = fields.front();
  const std::string want(ArchDecoration(arch));
  std::optional<std::string> chosen;
  for (std::size_t i = 1; i < fields.size() && !chosen; ++i) {
    const std::string a = decorationArch(fields[i]);
    if (a == want || (arch == MachineArch::X86 && a.empty())) {
      if (hasSection(doc, decorated(base, fields[i]))) chosen = decorated(base, fields[i]);
    }
  }
  if (!chosen && arch == MachineArch::X86 && hasSection(doc, base)) chosen = base;
  return chosen;
}

void addOnce(std::vector<std::string>& list, const std::string& value) {
  if (value.empty()) return;
  for (const auto& v : list) {
    if (iequalsAscii(v, value)) return;
  }
  list.push_back(value);
}

// SourceDisksFiles / SourceDisksNames: the architecture's section first, per key.
std::optional<std::vector<std::string>> sourceEntry(const Index& doc, std::string_view section,
                                                    std::string_view key, MachineArch arch) {
  for (const std::string& name : {decorated(section, ArchDecoration(arch)), std::string(section)}) {
    if (auto raw = rawValue(doc, name, key)) return InfFields(*raw);
  }
  return std::nullopt;
}

SourceFile locate(const Index& doc, const std::string& name, MachineArch arch) {
  SourceFile file;
  file.name = name;
  const auto entry = sourceEntry(doc, "SourceDisksFiles", name, arch);
  if (!entry) return file;
  file.listed = true;
  if (entry->size() > 1) file.subdir = resolve(doc, (*entry)[1]);
  const auto disk = sourceEntry(doc, "SourceDisksNames", InfValue(entry->front()), arch);
  if (disk && disk->size() > 3) file.diskPath = resolve(doc, (*disk)[3]);
  return file;
}

// The source names that one CopyFiles value copies.
void copyFilesSources(const Index& doc, const std::string& value, std::vector<std::string>& sources) {
  for (const std::string& field : InfFields(value)) {
    if (field.empty()) continue;
    if (field.front() == '@') {
      addOnce(sources, field.substr(1));
      continue;
    }
    for (const Key* line : sectionKeys(doc, field)) {
      const auto parts = InfFields(wholeLine(*line));
      const std::string& source = parts.size() > 1 && !parts[1].empty() ? parts[1] : parts.front();
      addOnce(sources, resolve(doc, source));
    }
  }
}

// The install section of a model for `arch` as Windows picks it, or "".
std::string installSection(const Index& doc, const std::string& base, MachineArch arch) {
  for (const std::string& d : installDecorations(arch)) {
    const std::string name = d.empty() ? base : decorated(base, d);
    if (hasSection(doc, name)) return name;
  }
  return "";
}

std::optional<std::string> stringValue(const Index& doc, std::string_view key) {
  for (const char* section : {"Strings.0804", "Strings"}) {
    if (auto raw = rawValue(doc, section, key)) {
      // "%%" in a string's text stands for one "%", as in any INF value.
      std::string text = InfStringText(*raw), out;
      for (std::size_t i = 0; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
      }
      return out;
    }
  }
  return std::nullopt;
}

std::string versionValue(const Index& doc, std::string_view key) {
  const auto raw = rawValue(doc, "Version", key);
  return raw ? resolve(doc, InfValue(*raw)) : std::string();
}

}  // namespace

std::string InfStringText(std::string_view raw) {
  std::string text;
  std::size_t keep = 0;
  bool started = false, quoted = false;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (quoted) {
      if (c != '"') text.push_back(c);
      else if (i + 1 < raw.size() && raw[i + 1] == '"') text.push_back(raw[++i]);
      else quoted = false;
      keep = text.size();
      continue;
    }
    if (c == '"') {
      quoted = started = true;
      continue;
    }
    if (c == ';') break;
    if (isBlank(c) && !started) continue;
    started = true;
    text.push_back(c);
    if (!isBlank(c)) keep = text.size();
  }
  text.resize(keep);
  return text;
}

std::string ResolveInfStrings(const IniDocument& doc, std::string_view text) { return resolve(Index(doc), text); }

namespace {
std::string resolve(const Index& doc, std::string_view text) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto open = text.find('%', pos);
    if (open == std::string_view::npos) break;
    const auto close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    const std::string_view key = text.substr(open + 1, close - open - 1);
    if (key.empty()) {
      out.push_back('%');
    } else if (auto value = stringValue(doc, key)) {
      out += *value;
    } else {
      out.append(text.substr(open, close - open + 1));
    }
    pos = close + 1;
  }
  out.append(text.substr(pos));
  return out;
}
}  // namespace

std::string DisplayDriverVersion(std::string_view driverVer) {
  const auto fields = InfFields(driverVer);
  if (fields.size() < 2 || fields[1].empty()) return fields.front();
  if (fields[0].empty()) return fields[1];
  return fields[1] + " (" + fields[0] + ")";
}

InfPackage ReadInfPackage(const IniDocument& document, MachineArch arch) {
  const Index doc(document);
  InfPackage p;
  p.className = versionValue(doc, "Class");
  p.provider = versionValue(doc, "Provider");
  p.driverVer = versionValue(doc, "DriverVer");
  const std::string suffix = "CatalogFile.NT" + std::string(ArchDecoration(arch));
  for (const std::string& key : {suffix, std::string("CatalogFile.NT"), std::string("CatalogFile")}) {
    if (auto raw = rawValue(doc, "Version", key)) {
      p.catalog = resolve(doc, InfValue(*raw));
      break;
    }
  }

  std::vector<std::string> installSections;
  for (const Key* mfg : sectionKeys(doc, "Manufacturer")) {
    std::vector<std::string> fields = mfg->value ? InfFields(*mfg->value) : InfFields(mfg->name);
    if (fields.front().empty()) continue;
    p.hasManufacturers = true;
    const auto models = modelsSectionFor(doc, fields, arch);
    if (!models) continue;
    p.hasModelsForArch = true;
    for (const Key* model : sectionKeys(doc, *models)) {
      if (!model->value) continue;
      const auto parts = InfFields(*model->value);
      addOnce(p.modelDescriptions, resolve(doc, InfValue(model->name)));
      const std::string section = installSection(doc, parts.front(), arch);
      addOnce(installSections, section);
      for (std::size_t i = 1; i < parts.size(); ++i) addOnce(p.deviceIds, parts[i]);
    }
  }
  if (!p.modelDescriptions.empty()) p.description = p.modelDescriptions.front();

  std::vector<std::string> sources;
  for (const std::string& section : installSections) {
    for (const std::string& s : {section, section + ".CoInstallers"}) {
      for (const Key* k : sectionKeys(doc, s)) {
        if (iequalsAscii(k->name, "CopyFiles") && k->value) copyFilesSources(doc, *k->value, sources);
      }
    }
  }
  for (const std::string& name : sources) p.files.push_back(locate(doc, name, arch));

  std::vector<std::string> listed;
  for (const std::string& s : {decorated("SourceDisksFiles", ArchDecoration(arch)), std::string("SourceDisksFiles")}) {
    for (const Key* k : sectionKeys(doc, s)) addOnce(listed, InfValue(k->name));
  }
  for (const std::string& name : listed) p.listedFiles.push_back(locate(doc, name, arch));
  return p;
}

}  // namespace qelvaro::restore
