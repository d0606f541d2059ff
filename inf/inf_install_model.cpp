#include "inf_install_model.h"

#include <new>
#include <unordered_set>

#include "base/text_encoding.h"

namespace qelvaro {

namespace {

using Key = IniDocument::Key;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string decorated(std::string_view base, std::string_view suffix) {
  return std::string(base) + "." + std::string(suffix);
}

// A line of a file list as written: "name" or "name=value" (fields split by commas only).
std::string wholeLine(const Key& k) { return k.value ? k.name + "=" + *k.value : k.name; }

// "NTamd64", "NTamd64.10.0...19041": the architecture part of a target OS decoration,
// lower-cased; "" for plain "NT"; "?" for anything else.
std::string decorationArch(std::string_view decoration) {
  std::string lower = asciiLowerCopy(decoration);
  if (lower.rfind("nt", 0) != 0) return "?";
  lower.erase(0, 2);
  const auto dot = lower.find('.');
  return dot == std::string::npos ? lower : lower.substr(0, dot);
}

// The models section a [Manufacturer] entry names for `arch`, or none.
std::optional<std::string> modelsSectionFor(const InfIndex& doc, const std::vector<std::string>& fields,
                                            MachineArch arch) {
  const std::string& base = fields.front();
  const std::string want(ArchDecoration(arch));
  for (std::size_t i = 1; i < fields.size(); ++i) {
    const std::string a = decorationArch(fields[i]);
    if ((a == want || (arch == MachineArch::X86 && a.empty())) && doc.has(decorated(base, fields[i]))) {
      return decorated(base, fields[i]);
    }
  }
  if (arch == MachineArch::X86 && doc.has(base)) return base;
  return std::nullopt;
}

// The install section of a model for `arch` as Windows picks it, or "".
std::string installSectionFor(const InfIndex& doc, const std::string& base, MachineArch arch) {
  for (const std::string& d : {"NT" + std::string(ArchDecoration(arch)), std::string("NT"), std::string()}) {
    const std::string name = d.empty() ? base : decorated(base, d);
    if (doc.has(name)) return name;
  }
  return "";
}

// Names kept once, compared without regard to case.
class OnceList {
 public:
  explicit OnceList(std::vector<std::string>& list) : list_(list) {
    for (const auto& v : list_) seen_.insert(asciiLowerCopy(v));
  }
  void add(const std::string& value) {
    if (!value.empty() && seen_.insert(asciiLowerCopy(value)).second) list_.push_back(value);
  }

 private:
  std::vector<std::string>& list_;
  std::unordered_set<std::string> seen_;
};

class ModelBuilder {
 public:
  ModelBuilder(const InfIndex& doc, MachineArch arch, InfInstallModel& model)
      : doc_(doc), arch_(arch), model_(model) {}

  void readDefaultDestination() {
    if (auto raw = doc_.rawValue("DestinationDirs", "DefaultDestDir")) {
      defaultDest_ = destination(*raw);
      model_.defaultDestination = {defaultDest_.dirId, defaultDest_.subdir};
    }
  }

  // The CopyFiles of one install section and the sections that go with it.
  void addInstallSection(const std::string& section) {
    std::vector<std::string> pending{section, section + ".CoInstallers"};
    std::unordered_set<std::string> done;
    for (std::size_t next = 0; next < pending.size(); ++next) {
      const std::string s = pending[next];
      if (!done.insert(asciiLowerCopy(s)).second) continue;
      for (const std::uint32_t entry : doc_.keys(s)) {
        const Key k = doc_.key(entry);
        if (!k.value) continue;
        if (iequalsAscii(k.name, "CopyFiles")) addCopyFiles(*k.value);
        if (iequalsAscii(k.name, "Needs")) {
          // Needs usually names sections of system INFs (Include=); those of this INF count.
          for (const std::string& field : InfFields(*k.value)) {
            if (!field.empty() && doc_.has(field)) pending.push_back(field);
          }
        }
      }
    }
  }

  void addListed(const std::string& section) {
    for (const std::uint32_t entry : doc_.keys(section)) {
      const Key k = doc_.key(entry);
      const std::string name = doc_.resolve(InfValue(k.name));
      if (!name.empty()) file(name);
    }
  }

  // Disk, subfolder and listing for every file, once all are known.
  void locateAll() {
    for (InfFile& f : model_.files) {
      const auto entry = sourceEntry("SourceDisksFiles", f.name);
      if (!entry) continue;
      f.listed = true;
      if (entry->size() > 1) f.subdir = doc_.resolve((*entry)[1]);
      const auto disk = sourceEntry("SourceDisksNames", InfValue(entry->front()));
      if (disk && disk->size() > 3) f.diskPath = doc_.resolve((*disk)[3]);
    }
  }

 private:
  struct Destination {
    std::string dirId = "11";
    std::string subdir;
  };

  Destination destination(const std::string& raw) const {
    const auto fields = InfFields(raw);
    Destination d;
    d.dirId = doc_.resolve(fields[0]);
    if (fields.size() > 1) d.subdir = doc_.resolve(fields[1]);
    return d;
  }

  void addCopyFiles(const std::string& value) {
    for (const std::string& field : InfFields(value)) {
      if (field.empty()) continue;
      if (field.front() == '@') {
        const std::string name = doc_.resolve(field.substr(1));
        if (!name.empty()) addCopy(name, {"", defaultDest_.dirId, defaultDest_.subdir, name});
        continue;
      }
      // A list goes to one destination whichever section names it: install sections
      // that share it (thousands in a large printer INF) add nothing after the first.
      if (!listsDone_.insert(asciiLowerCopy(field)).second) continue;
      const auto own = doc_.rawValue("DestinationDirs", field);
      const Destination dest = own ? destination(*own) : defaultDest_;
      for (const std::uint32_t entry : doc_.keys(field)) {
        const Key line = doc_.key(entry);
        const auto parts = InfFields(wholeLine(line));
        const std::string installed = doc_.resolve(parts.front());
        const std::string source = parts.size() > 1 && !parts[1].empty() ? doc_.resolve(parts[1]) : installed;
        if (source.empty() || installed.empty()) continue;
        addCopy(source, {field, dest.dirId, dest.subdir, installed});
      }
    }
  }

  void addCopy(const std::string& source, InfCopy copy) {
    InfFile& f = file(source);
    f.copied = true;
    for (const InfCopy& c : f.copies) {
      if (iequalsAscii(c.dirId, copy.dirId) && iequalsAscii(c.subdir, copy.subdir) &&
          iequalsAscii(c.installedName, copy.installedName)) {
        return;
      }
    }
    f.copies.push_back(std::move(copy));
  }

  InfFile& file(const std::string& name) {
    const auto [it, added] = byName_.try_emplace(asciiLowerCopy(name), model_.files.size());
    if (added) model_.files.push_back(InfFile{name, {}, {}, false, false, {}});
    return model_.files[it->second];
  }

  // SourceDisksFiles / SourceDisksNames: the architecture's section first, per key.
  std::optional<std::vector<std::string>> sourceEntry(std::string_view section, std::string_view key) const {
    for (const std::string& name : {decorated(section, ArchDecoration(arch_)), std::string(section)}) {
      if (auto raw = doc_.rawValue(name, key)) return InfFields(*raw);
    }
    return std::nullopt;
  }

  const InfIndex& doc_;
  MachineArch arch_;
  InfInstallModel& model_;
  Destination defaultDest_;
  std::unordered_map<std::string, std::size_t> byName_;
  std::unordered_set<std::string> listsDone_;  // file-list sections resolved, lower-cased
};

}  // namespace

std::size_t InfIndex::NoCaseHash::operator()(std::string_view s) const {
  std::size_t h = 0;
  for (const char c : s) h = h * 131 + static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return h;
}

bool InfIndex::NoCaseEqual::operator()(std::string_view a, std::string_view b) const { return iequalsAscii(a, b); }

InfIndex::InfIndex(const IniDocument& doc) : doc_(doc) {
  // Offsets are kept in 32 bits: a text of 4 GiB or more is too large to read.
  if (doc.size() > kNone) throw std::bad_alloc();
  std::uint32_t current = 0;
  auto open = [&](std::string_view name) {
    const auto [it, added] = byName_.try_emplace(name, static_cast<std::uint32_t>(sections_.size()));
    if (added) sections_.emplace_back();
    current = it->second;
  };
  open({});  // lines before the first header
  doc.scan(open, [&](std::size_t offset, const IniDocument::EntryView& k) {
    if (!k.name.empty() && k.name.front() == ';') return;
    if (k.name.empty() && !k.value) return;
    const auto line = static_cast<std::uint32_t>(offsets_.size());
    offsets_.push_back(static_cast<std::uint32_t>(offset));
    next_.push_back(kNone);
    Section& s = sections_[current];
    (s.tail == kNone ? s.head : next_[s.tail]) = line;
    s.tail = line;
  });
}

InfIndex::Lines InfIndex::keys(std::string_view section) const {
  const auto it = byName_.find(section);
  return Lines(this, it == byName_.end() ? kNone : sections_[it->second].head);
}

InfIndex::Key InfIndex::key(std::uint32_t entry) const {
  const IniDocument::EntryView k = doc_.entryAt(offsets_[entry]);
  return Key{std::string(k.name), k.value ? std::optional<std::string>(std::string(*k.value)) : std::nullopt};
}

bool InfIndex::has(std::string_view section) const { return byName_.count(section) != 0; }

std::optional<std::string> InfIndex::rawValue(std::string_view section, std::string_view key) const {
  const auto it = byName_.find(section);
  if (it == byName_.end()) return std::nullopt;
  const auto nameOf = [this](std::uint32_t entry) {
    return std::optional<std::string_view>(doc_.entryAt(offsets_[entry]).name);
  };
  auto table = tables_.find(it->second);
  if (table == tables_.end()) table = tables_.try_emplace(it->second, keys(section), nameOf).first;
  const auto found = table->second.find(key, nameOf);
  if (!found) return std::nullopt;
  const auto value = doc_.entryAt(offsets_[*found]).value;
  return std::string(value.value_or(std::string_view()));
}

std::optional<std::string> InfIndex::stringValue(std::string_view key) const {
  for (const char* section : {"Strings.0804", "Strings"}) {
    if (auto raw = rawValue(section, key)) {
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

std::string InfIndex::resolve(std::string_view text) const {
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
    } else if (auto value = stringValue(key)) {
      out += *value;
    } else {
      out.append(text.substr(open, close - open + 1));
    }
    pos = close + 1;
  }
  out.append(text.substr(pos));
  return out;
}

std::string InfIndex::version(std::string_view key) const {
  const auto raw = rawValue("Version", key);
  return raw ? resolve(InfValue(*raw)) : std::string();
}

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

std::size_t InfInstallModel::copiedCount() const {
  std::size_t n = 0;
  for (const auto& f : files) n += f.copied ? 1 : 0;
  return n;
}

InfInstallModel ReadInfInstallModel(const IniDocument& document, MachineArch arch, std::string_view wanted) {
  const InfIndex doc(document);
  InfInstallModel m;
  const std::string decoratedCatalog = "CatalogFile.NT" + std::string(ArchDecoration(arch));
  for (const std::string& key : {decoratedCatalog, std::string("CatalogFile.NT"), std::string("CatalogFile")}) {
    if (auto raw = doc.rawValue("Version", key)) {
      m.catalog = doc.resolve(InfValue(*raw));
      if (!m.catalog.empty()) break;
    }
  }

  std::vector<std::string> modelSections;
  OnceList models(m.modelsSections), descriptions(m.modelDescriptions), ids(m.deviceIds),
      sections(modelSections);
  for (const std::uint32_t entry : doc.keys("Manufacturer")) {
    const Key mfg = doc.key(entry);
    std::vector<std::string> fields = mfg.value ? InfFields(*mfg.value) : InfFields(mfg.name);
    if (fields.front().empty()) continue;
    m.hasManufacturers = true;
    const auto chosen = modelsSectionFor(doc, fields, arch);
    if (!chosen) continue;
    m.hasModelsForArch = true;
    models.add(*chosen);
    for (const std::uint32_t line : doc.keys(*chosen)) {
      const Key model = doc.key(line);
      if (!model.value) continue;
      const auto parts = InfFields(*model.value);
      descriptions.add(doc.resolve(InfValue(model.name)));
      sections.add(installSectionFor(doc, parts.front(), arch));
      for (std::size_t i = 1; i < parts.size(); ++i) ids.add(parts[i]);
      if (parts.size() > 1) {
        // A line may leave its hardware id empty and match on compatible ids alone.
        InfModelLine line{doc.resolve(InfValue(model.name)), parts.front(), parts[1], {}};
        for (std::size_t i = 2; i < parts.size(); ++i) {
          if (!parts[i].empty()) line.compatibleIds.push_back(parts[i]);
        }
        if (!line.hardwareId.empty() || !line.compatibleIds.empty()) m.modelLines.push_back(std::move(line));
      }
    }
  }

  // The section an installed driver names: as written, or decorated as Windows would.
  std::string installed;
  if (!wanted.empty()) {
    if (doc.has(wanted)) installed = std::string(wanted);
    else installed = installSectionFor(doc, std::string(wanted), arch);
  }
  if (!installed.empty()) m.installSections = {installed};
  else m.installSections = modelSections;

  OnceList components(m.componentIds);
  for (const std::string& s : m.installSections) {
    for (const std::uint32_t entry : doc.keys(s + ".Components")) {
      const Key add = doc.key(entry);
      if (!iequalsAscii(add.name, "AddComponent") || !add.value) continue;
      const auto fields = InfFields(*add.value);
      if (fields.size() < 3 || fields[2].empty()) continue;
      if (const auto ids = doc.rawValue(fields[2], "ComponentIDs")) {
        for (const std::string& id : InfFields(*ids)) {
          if (!id.empty()) components.add(doc.resolve(id));
        }
      }
    }
  }

  ModelBuilder builder(doc, arch, m);
  builder.readDefaultDestination();
  for (const std::string& s : m.installSections) builder.addInstallSection(s);
  builder.addListed(decorated("SourceDisksFiles", ArchDecoration(arch)));
  builder.addListed("SourceDisksFiles");
  builder.locateAll();
  return m;
}

}  // namespace qelvaro
