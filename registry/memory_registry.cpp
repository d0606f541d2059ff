#include "memory_registry.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <sstream>

#include "base/text_encoding.h"

namespace qelvaro {

namespace {

// Windows orders subkeys by their upper-cased names.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return asciiLowerCopy(a) < asciiLowerCopy(b);
  }
};

}  // namespace

struct MemoryRegistry::Node {
  std::map<std::string, std::shared_ptr<Node>, CaseInsensitiveLess> children;
  std::map<std::string, RegistryData, CaseInsensitiveLess> values;
  bool denied = false;
};

namespace {

std::vector<std::string> splitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

class MemoryKey final : public RegistryKey {
 public:
  explicit MemoryKey(std::shared_ptr<MemoryRegistry::Node> node) : node_(std::move(node)) {}

  long enumSubKey(std::uint32_t index, std::string& name) const override {
    if (index >= node_->children.size()) return kRegNoMoreItems;
    auto it = node_->children.begin();
    std::advance(it, index);
    name = it->first;
    return kRegSuccess;
  }

  long queryValue(const std::string& name, RegistryData& data) const override {
    const auto it = node_->values.find(name);
    if (it == node_->values.end()) return kRegFileNotFound;
    data = it->second;
    return kRegSuccess;
  }

  long openSubKey(const std::string& path, RegistryAccess, std::unique_ptr<RegistryKey>& key) const override {
    key.reset();
    std::shared_ptr<MemoryRegistry::Node> node = node_;
    for (const auto& part : splitPath(path)) {
      const auto child = node->children.find(part);
      if (child == node->children.end()) return kRegFileNotFound;
      node = child->second;
    }
    if (node->denied) return kRegAccessDenied;
    key = std::make_unique<MemoryKey>(node);
    return kRegSuccess;
  }

 private:
  std::shared_ptr<MemoryRegistry::Node> node_;
};

std::vector<std::uint8_t> utf16leBytes(const std::string& utf8, bool terminate) {
  std::vector<std::uint8_t> bytes;
  for (const char16_t u : utf8ToUtf16(utf8)) {
    bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  if (terminate) {
    bytes.push_back(0);
    bytes.push_back(0);
  }
  return bytes;
}

std::optional<RegistryRoot> parseRoot(const std::string& name) {
  const std::string n = asciiLowerCopy(name);
  if (n == "hkey_local_machine" || n == "hklm") return RegistryRoot::LocalMachine;
  if (n == "hkey_current_user" || n == "hkcu") return RegistryRoot::CurrentUser;
  return std::nullopt;
}

// Reads a "quoted" string with \\ and \" escapes starting at text[pos] == '"'.
std::optional<std::string> readQuoted(std::string_view text, std::size_t& pos) {
  std::string out;
  ++pos;
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c == '"') return out;
    if (c == '\\' && pos < text.size()) {
      out += text[pos++];
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  std::string digit;
  for (const char c : text) {
    if (c == ',' || c == ' ' || c == '\t') {
      if (!digit.empty()) {
        bytes.push_back(static_cast<std::uint8_t>(std::strtoul(digit.c_str(), nullptr, 16)));
        digit.clear();
      }
    } else if (std::isxdigit(static_cast<unsigned char>(c))) {
      digit += c;
      if (digit.size() > 2) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (!digit.empty()) bytes.push_back(static_cast<std::uint8_t>(std::strtoul(digit.c_str(), nullptr, 16)));
  return bytes;
}

// The value part after "=": a string, dword:, hex:, hex(N):, or "-" (delete).
std::optional<std::optional<RegistryData>> parseData(std::string_view text) {
  if (text == "-") return std::optional<RegistryData>{};
  if (!text.empty() && text.front() == '"') {
    std::size_t pos = 0;
    const auto s = readQuoted(text, pos);
    if (!s) return std::nullopt;
    return std::optional<RegistryData>{RegString(*s)};
  }
  const std::string lower = asciiLowerCopy(text.substr(0, std::min<std::size_t>(text.size(), 8)));
  if (lower.rfind("dword:", 0) == 0) {
    const std::string digits(text.substr(6));
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return std::nullopt;
    return std::optional<RegistryData>{RegDword(static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16)))};
  }
  if (lower.rfind("hex", 0) == 0) {
    std::uint32_t type = static_cast<std::uint32_t>(RegistryType::Binary);
    std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view head = text.substr(3, colon - 3);
    if (!head.empty()) {
      if (head.size() < 3 || head.front() != '(' || head.back() != ')') return std::nullopt;
      type = static_cast<std::uint32_t>(std::strtoul(std::string(head.substr(1, head.size() - 2)).c_str(), nullptr, 16));
    }
    const auto bytes = parseHexBytes(text.substr(colon + 1));
    if (!bytes) return std::nullopt;
    return std::optional<RegistryData>{RegistryData{static_cast<RegistryType>(type), *bytes}};
  }
  return std::nullopt;
}

std::string decodeRegText(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::u16string units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return utf16ToUtf8(units);
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
  if (isValidUtf8(bytes)) return std::string(bytes);
  return windows1252ToUtf8(bytes);
}

std::string trimmed(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

}  // namespace

RegistryData RegString(const std::string& utf8, RegistryType type) {
  return RegistryData{type, utf16leBytes(utf8, true)};
}

RegistryData RegDword(std::uint32_t value) {
  return RegistryData{RegistryType::Dword,
                      {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                       static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
}

MemoryRegistry::Node* MemoryRegistry::find(RegistryRoot root, const std::string& path) const {
  const auto it = roots_.find(root);
  if (it == roots_.end()) return nullptr;
  Node* node = it->second.get();
  for (const auto& part : splitPath(path)) {
    const auto child = node->children.find(part);
    if (child == node->children.end()) return nullptr;
    node = child->second.get();
  }
  return node;
}

MemoryRegistry::Node& MemoryRegistry::create(RegistryRoot root, const std::string& path) {
  auto& top = roots_[root];
  if (!top) top = std::make_shared<Node>();
  Node* node = top.get();
  for (const auto& part : splitPath(path)) {
    auto& child = node->children[part];
    if (!child) child = std::make_shared<Node>();
    node = child.get();
  }
  return *node;
}

void MemoryRegistry::createKey(RegistryRoot root, const std::string& path) { create(root, path); }

void MemoryRegistry::setValue(RegistryRoot root, const std::string& path, const std::string& name,
                              RegistryData data) {
  create(root, path).values[name] = std::move(data);
}

void MemoryRegistry::deleteKey(RegistryRoot root, const std::string& path) {
  auto parts = splitPath(path);
  if (parts.empty()) return;
  const std::string last = parts.back();
  parts.pop_back();
  std::string parentPath;
  for (const auto& p : parts) parentPath += p + "\\";
  if (Node* parent = find(root, parentPath)) parent->children.erase(last);
}

void MemoryRegistry::denyAccess(RegistryRoot root, const std::string& path) { create(root, path).denied = true; }

long MemoryRegistry::open(RegistryRoot root, const std::string& path, RegistryAccess,
                          std::unique_ptr<RegistryKey>& key) const {
  key.reset();
  const auto it = roots_.find(root);
  if (it == roots_.end()) return kRegFileNotFound;
  return MemoryKey(it->second).openSubKey(path, RegistryAccess::Read, key);
}

std::optional<std::string> MemoryRegistry::importRegFile(std::string_view bytes) {
  const std::string text = decodeRegText(bytes);
  std::istringstream in(text);
  std::string line;
  std::string header;
  while (header.empty() && std::getline(in, line)) header = trimmed(line);
  if (header != "Windows Registry Editor Version 5.00" && header != "REGEDIT4") {
    return "not a registry file (first line '" + header + "')";
  }
  RegistryRoot root = RegistryRoot::LocalMachine;
  bool inKey = false;
  std::string keyPath;
  int lineNo = 1;
  while (std::getline(in, line)) {
    ++lineNo;
    std::string logical = trimmed(line);
    // Long hex values continue on the next line after a trailing backslash.
    while (!logical.empty() && logical.back() == '\\' && logical.find('=') != std::string::npos &&
           logical.front() != '[' && std::getline(in, line)) {
      ++lineNo;
      logical.pop_back();
      logical += trimmed(line);
    }
    if (logical.empty() || logical[0] == ';') continue;
    if (logical.front() == '[') {
      if (logical.back() != ']') return "line " + std::to_string(lineNo) + ": unclosed key name";
      std::string full = logical.substr(1, logical.size() - 2);
      const bool remove = !full.empty() && full[0] == '-';
      if (remove) full.erase(0, 1);
      const auto slash = full.find('\\');
      const auto parsedRoot = parseRoot(full.substr(0, slash));
      if (!parsedRoot) return "line " + std::to_string(lineNo) + ": unknown root key";
      root = *parsedRoot;
      keyPath = slash == std::string::npos ? std::string() : full.substr(slash + 1);
      inKey = !remove;
      if (remove) {
        deleteKey(root, keyPath);
      } else {
        create(root, keyPath);
      }
      continue;
    }
    if (!inKey) return "line " + std::to_string(lineNo) + ": value outside a key";
    std::string name;
    std::size_t pos = 0;
    if (logical[0] == '@') {
      pos = 1;
    } else if (logical[0] == '"') {
      const auto n = readQuoted(logical, pos);
      if (!n) return "line " + std::to_string(lineNo) + ": unclosed value name";
      name = *n;
    } else {
      return "line " + std::to_string(lineNo) + ": cannot read '" + logical + "'";
    }
    while (pos < logical.size() && (logical[pos] == ' ' || logical[pos] == '\t')) ++pos;
    if (pos >= logical.size() || logical[pos] != '=') return "line " + std::to_string(lineNo) + ": missing '='";
    const auto data = parseData(trimmed(std::string_view(logical).substr(pos + 1)));
    if (!data) return "line " + std::to_string(lineNo) + ": cannot read the value of '" + name + "'";
    if (*data) {
      setValue(root, keyPath, name, **data);
    } else if (Node* node = find(root, keyPath)) {
      node->values.erase(name);
    }
  }
  return std::nullopt;
}

}  // namespace qelvaro
