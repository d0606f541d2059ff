#include "inf_values.h"

#include "base/text_encoding.h"

namespace qelvaro {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// One field from `raw` at `pos`; stops at "," or ";" outside quotes, or the end.
// Blanks outside quotes at either end are dropped; blanks inside the field stay.
std::string readField(std::string_view raw, std::size_t& pos, bool& ended) {
  std::string field;
  std::size_t keep = 0;  // the field's length up to its last character that stays
  bool started = false;  // leading blanks are behind us
  bool quoted = false;
  ended = false;
  for (; pos < raw.size(); ++pos) {
    const char c = raw[pos];
    if (quoted) {
      if (c != '"') field.push_back(c);
      else if (pos + 1 < raw.size() && raw[pos + 1] == '"') field.push_back(raw[++pos]);
      else quoted = false;
      keep = field.size();
      continue;
    }
    if (c == '"') {
      quoted = started = true;
      continue;
    }
    if (c == ';') {
      ended = true;
      break;
    }
    if (c == ',') break;
    if (isBlank(c) && !started) continue;
    started = true;
    field.push_back(c);
    if (!isBlank(c)) keep = field.size();
  }
  field.resize(keep);
  return field;
}

}  // namespace

std::string InfValue(std::string_view raw) {
  bool quoted = false;
  std::size_t end = 0;
  for (; end < raw.size(); ++end) {
    if (raw[end] == '"') quoted = !quoted;
    else if (raw[end] == ';' && !quoted) break;
  }
  std::string_view v = raw.substr(0, end);
  while (!v.empty() && isBlank(v.front())) v.remove_prefix(1);
  while (!v.empty() && isBlank(v.back())) v.remove_suffix(1);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

std::vector<std::string> InfFields(std::string_view raw) {
  std::vector<std::string> fields;
  std::size_t pos = 0;
  bool ended = false;
  for (;;) {
    fields.push_back(readField(raw, pos, ended));
    if (ended || pos >= raw.size()) break;
    ++pos;  // the comma
  }
  return fields;
}

std::string_view ArchDecoration(MachineArch arch) {
  switch (arch) {
    case MachineArch::Amd64: return "amd64";
    case MachineArch::Arm64: return "arm64";
    case MachineArch::X86: break;
  }
  return "x86";
}

bool ParseMachineArch(std::string_view name, MachineArch& arch) {
  const std::string lower = asciiLowerCopy(name);
  if (lower == "x86") arch = MachineArch::X86;
  else if (lower == "amd64" || lower == "x64") arch = MachineArch::Amd64;
  else if (lower == "arm64") arch = MachineArch::Arm64;
  else return false;
  return true;
}

}  // namespace qelvaro
