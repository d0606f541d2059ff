#include "regf_hive.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/bytes.h"
#include "hive_header.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

using base::loadLe16;
using base::loadLe32;

constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
constexpr std::size_t kKeyNodeFixed = 76;    // "nk" up to its name
constexpr std::size_t kValueKeyFixed = 20;   // "vk" up to its name
constexpr std::size_t kBinHeader = 32;
constexpr std::uint32_t kBigDataSegment = 16344;
constexpr std::uint16_t kKeyCompressedName = 0x0020;
constexpr std::uint16_t kValueCompressedName = 0x0001;
constexpr std::uint32_t kDataInline = 0x80000000u;
constexpr std::size_t kMaxKeyName = 255;      // characters; Windows makes none longer
constexpr std::size_t kMaxValueName = 16383;

std::string hex(std::uint64_t value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789abcdef"[value % 16]);
    value /= 16;
  } while (value != 0);
  return "0x" + digits;
}

// The registry compares names by upper-casing UTF-16 code units. This covers Latin-1,
// Latin Extended-A, Greek and Cyrillic; other scripts compare exactly (driver keys
// use ASCII names).
char16_t upcase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0xE0) return c;
  if (c <= 0xFE) return c == 0xF7 ? c : static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x137 && (c & 1)) return static_cast<char16_t>(c - 1);
  if (c >= 0x139 && c <= 0x148 && !(c & 1)) return static_cast<char16_t>(c - 1);
  if (c >= 0x14A && c <= 0x177 && (c & 1)) return static_cast<char16_t>(c - 1);
  if (c >= 0x179 && c <= 0x17E && !(c & 1)) return static_cast<char16_t>(c - 1);
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
  if (c == 0x3C2) return 0x3A3;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
  if (c >= 0x3B1 && c <= 0x3CB) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::u16string upcased(std::u16string text) {
  for (char16_t& c : text) c = upcase(c);
  return text;
}

// A name as stored: one byte per character (Latin-1) when compressed, else UTF-16LE.
std::u16string storedName(std::string_view bytes, bool compressed) {
  std::u16string name;
  if (compressed) {
    name.reserve(bytes.size());
    for (char c : bytes) name.push_back(static_cast<unsigned char>(c));
  } else {
    name.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) name.push_back(static_cast<char16_t>(loadLe16(bytes, i)));
  }
  return name;
}

struct KeyNode {
  std::uint32_t subkeyCount = 0;
  std::uint32_t subkeyList = kNoCell;
  std::uint32_t valueCount = 0;
  std::uint32_t valueList = kNoCell;
  std::u16string name;
};

// The file's bytes and the hive bins within them, shared by the hive and its keys.
class HiveFile {
 public:
  HiveFile(std::string bytes, std::size_t binsSize, std::uint32_t minorVersion)
      : bytes_(std::move(bytes)), bins_(std::string_view(bytes_).substr(kHiveBaseBlockSize, binsSize)),
        minorVersion_(minorVersion), used_(bins_.size() / 4, false) {}

  std::string_view bins() const { return bins_; }

  // Every hive bin in the declared size starts with "hbin" and its size, and its cells
  // fill it exactly: what Windows checks before it loads a hive. The cells in use are
  // noted on the way; only they can be read.
  std::optional<std::string> walkBins() {
    std::size_t at = 0;
    while (at < bins_.size()) {
      if (bins_.size() - at < kBinHeader || bins_.substr(at, 4) != "hbin") {
        return "no hive bin at " + hex(kHiveBaseBlockSize + at);
      }
      const std::uint32_t size = loadLe32(bins_, at + 8);
      if (size < 4096 || size % 4096 != 0 || size > bins_.size() - at) {
        return "the hive bin at " + hex(kHiveBaseBlockSize + at) + " has a bad size";
      }
      for (std::size_t c = at + kBinHeader; c < at + size;) {
        if (at + size - c < 4) return "a cell at " + hex(kHiveBaseBlockSize + c) + " crosses its hive bin";
        const auto raw = static_cast<std::int32_t>(loadLe32(bins_, c));
        const std::int64_t length = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
        if (length <= 4 || length % 4 != 0 || static_cast<std::uint64_t>(length) > at + size - c) {
          return "the cell at " + hex(kHiveBaseBlockSize + c) + " has a bad size";
        }
        if (raw < 0) used_[c / 4] = true;
        c += static_cast<std::size_t>(length);
      }
      at += size;
    }
    return std::nullopt;
  }

  // The data of the cell in use at `offset` (from the start of the hive bins), without
  // its size field; none for anything else (a free cell, the middle of a cell).
  std::optional<std::string_view> cell(std::uint32_t offset) const {
    if (offset == kNoCell || offset % 4 != 0 || offset / 4 >= used_.size() || !used_[offset / 4]) return std::nullopt;
    const std::size_t length = static_cast<std::size_t>(-static_cast<std::int64_t>(
        static_cast<std::int32_t>(loadLe32(bins_, offset))));
    return bins_.substr(offset + 4, length - 4);
  }

  std::optional<KeyNode> keyNode(std::uint32_t offset) const {
    const auto data = cell(offset);
    if (!data || data->size() < kKeyNodeFixed || data->substr(0, 2) != "nk") return std::nullopt;
    const std::uint16_t nameLength = loadLe16(*data, 72);
    const bool compressed = (loadLe16(*data, 2) & kKeyCompressedName) != 0;
    if (nameLength > data->size() - kKeyNodeFixed || nameLength > (compressed ? 1 : 2) * kMaxKeyName) {
      return std::nullopt;
    }
    KeyNode node;
    node.subkeyCount = loadLe32(*data, 20);
    node.subkeyList = loadLe32(*data, 28);
    node.valueCount = loadLe32(*data, 36);
    node.valueList = loadLe32(*data, 40);
    node.name = storedName(data->substr(kKeyNodeFixed, nameLength), compressed);
    return node;
  }

  // The key nodes a subkey list names, in its order (the registry's: sorted by
  // upper-cased name), up to `expected` of them: a list that names more is damaged (an
  // index root (ri) can name one leaf list many times over). An index root holds leaf
  // lists, never other roots.
  long subkeys(std::uint32_t list, std::size_t expected, std::vector<std::uint32_t>& out, bool inRoot = false) const {
    const auto data = cell(list);
    if (!data || data->size() < 4) return kRegInvalidData;
    const std::string_view kind = data->substr(0, 2);
    const std::size_t count = loadLe16(*data, 2);
    const std::size_t stride = (kind == "lf" || kind == "lh") ? 8 : (kind == "li" || kind == "ri") ? 4 : 0;
    if (stride == 0 || (kind == "ri" && inRoot)) return kRegInvalidData;
    if (count > (data->size() - 4) / stride) return kRegInvalidData;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t entry = loadLe32(*data, 4 + i * stride);
      if (kind == "ri") {
        if (const long status = subkeys(entry, expected, out, true); status != kRegSuccess) return status;
      } else {
        if (out.size() == expected) return kRegInvalidData;
        out.push_back(entry);
      }
    }
    return kRegSuccess;
  }

  // The value of `node` named `name` (upper-cased; empty for the default value).
  long value(const KeyNode& node, const std::u16string& name, RegistryData& out) const {
    if (node.valueCount == 0) return kRegFileNotFound;
    const auto list = cell(node.valueList);
    if (!list || node.valueCount > list->size() / 4) return kRegInvalidData;
    for (std::size_t i = 0; i < node.valueCount; ++i) {
      const auto vk = cell(loadLe32(*list, i * 4));
      if (!vk || vk->size() < kValueKeyFixed || vk->substr(0, 2) != "vk") return kRegInvalidData;
      const std::uint16_t nameLength = loadLe16(*vk, 2);
      const bool compressed = (loadLe16(*vk, 16) & kValueCompressedName) != 0;
      if (nameLength > vk->size() - kValueKeyFixed || nameLength > (compressed ? 1 : 2) * kMaxValueName) {
        return kRegInvalidData;
      }
      if (nameLength / (compressed ? 1 : 2) != name.size()) continue;
      if (upcased(storedName(vk->substr(kValueKeyFixed, nameLength), compressed)) != name) continue;
      out.type = static_cast<RegistryType>(loadLe32(*vk, 12));
      return valueData(*vk, out.bytes);
    }
    return kRegFileNotFound;
  }

 private:
  long valueData(std::string_view vk, std::vector<std::uint8_t>& out) const {
    out.clear();
    const std::uint32_t size = loadLe32(vk, 4);
    if (size & kDataInline) {
      // Up to four bytes sit in the offset field itself.
      const std::uint32_t length = size & ~kDataInline;
      if (length > 4) return kRegInvalidData;
      out.resize(length);
      if (length) std::memcpy(out.data(), vk.data() + 8, length);
      return kRegSuccess;
    }
    if (size == 0) return kRegSuccess;
    const auto data = cell(loadLe32(vk, 8));
    if (!data) return kRegInvalidData;
    if (minorVersion_ >= 4 && size > kBigDataSegment && data->size() >= 8 && data->substr(0, 2) == "db") {
      // Big data: a list of segments of up to 16344 bytes each.
      const std::size_t segments = loadLe16(*data, 2);
      const auto list = cell(loadLe32(*data, 4));
      if (!list || segments > list->size() / 4) return kRegInvalidData;
      if (size > segments * kBigDataSegment) return kRegInvalidData;
      // A segment holds up to 16344 bytes but may be a cell of 16: the size is held
      // against what the segments really hold before any memory is reserved for it.
      std::uint64_t held = 0;
      for (std::size_t i = 0; i < segments && held < size; ++i) {
        const auto segment = cell(loadLe32(*list, i * 4));
        if (!segment) return kRegInvalidData;
        held += std::min<std::size_t>(kBigDataSegment, segment->size());
      }
      if (held < size) return kRegInvalidData;
      out.reserve(size);
      for (std::size_t i = 0; i < segments && out.size() < size; ++i) {
        const auto segment = cell(loadLe32(*list, i * 4));
        if (!segment) return kRegInvalidData;
        const std::size_t take = std::min<std::size_t>({size - out.size(), kBigDataSegment, segment->size()});
        out.insert(out.end(), segment->begin(), segment->begin() + static_cast<std::ptrdiff_t>(take));
      }
      return out.size() == size ? kRegSuccess : kRegInvalidData;
    }
    if (size > data->size()) return kRegInvalidData;
    out.assign(data->begin(), data->begin() + size);
    return kRegSuccess;
  }

  std::string bytes_;
  std::string_view bins_;
  std::uint32_t minorVersion_;
  std::vector<bool> used_;  // by offset / 4: a cell in use starts there
};

class RegfKey final : public RegistryKey {
 public:
  RegfKey(std::shared_ptr<const HiveFile> file, KeyNode node) : file_(std::move(file)), node_(std::move(node)) {}

  long enumSubKey(std::uint32_t index, std::string& name) const override {
    if (const long status = loadChildren(); status != kRegSuccess) return status;
    if (index >= children_->size()) return kRegNoMoreItems;
    name = utf16ToUtf8((*children_)[index].name);
    return kRegSuccess;
  }

  long queryValue(const std::string& name, RegistryData& data) const override {
    return file_->value(node_, upcased(utf8ToUtf16(name)), data);
  }

  long openSubKey(const std::string& path, RegistryAccess, std::unique_ptr<RegistryKey>& key) const override {
    key.reset();
    std::vector<std::string_view> names;
    if (!SplitKeyPath(path, names)) return kRegFileNotFound;
    std::unique_ptr<RegfKey> at;
    for (const std::string_view name : names) {
      KeyNode next;
      if (const long status = (at ? *at : *this).child(upcased(utf8ToUtf16(name)), next); status != kRegSuccess) {
        return status;
      }
      at = std::make_unique<RegfKey>(file_, std::move(next));
    }
    key = at ? std::move(at) : std::make_unique<RegfKey>(file_, node_);
    return kRegSuccess;
  }

 private:
  std::shared_ptr<const HiveFile> file_;
  KeyNode node_;
  // Read once, as the inventory walks every index and opens every subkey. The names
  // are looked up in a map of their own: a damaged or hostile hive's lists need not
  // be in the registry's order, so a search that relies on the order would miss keys.
  mutable std::optional<std::vector<KeyNode>> children_;
  mutable std::optional<std::unordered_map<std::u16string, std::size_t>> byName_;

  // The subkey named `name` (upper-cased); the first of two with one name, as a look
  // through the list in its order finds.
  long child(const std::u16string& name, KeyNode& out) const {
    if (const long status = loadChildren(); status != kRegSuccess) return status;
    if (!byName_) {
      byName_.emplace();
      byName_->reserve(children_->size());
      for (std::size_t i = 0; i < children_->size(); ++i) byName_->try_emplace(upcased((*children_)[i].name), i);
    }
    const auto found = byName_->find(name);
    if (found == byName_->end()) return kRegFileNotFound;
    out = (*children_)[found->second];
    return kRegSuccess;
  }

  // The subkeys, all or none: a list that does not hold as many keys as the key
  // says, or that names something other than a key, is damaged.
  long loadChildren() const {
    if (children_) return kRegSuccess;
    std::vector<KeyNode> nodes;
    if (node_.subkeyCount != 0) {
      // Every key takes a cell of at least 80 bytes: a count beyond what the bins hold
      // is damage, not a reason to look.
      if (node_.subkeyCount > file_->bins().size() / 80) return kRegInvalidData;
      std::vector<std::uint32_t> offsets;
      if (const long status = file_->subkeys(node_.subkeyList, node_.subkeyCount, offsets); status != kRegSuccess) {
        return status;
      }
      if (offsets.size() != node_.subkeyCount) return kRegInvalidData;
      nodes.reserve(offsets.size());
      for (const std::uint32_t offset : offsets) {
        auto node = file_->keyNode(offset);
        if (!node) return kRegInvalidData;
        nodes.push_back(std::move(*node));
      }
    }
    children_ = std::move(nodes);
    return kRegSuccess;
  }
};

class RegfHive final : public Hive {
 public:
  RegfHive(std::shared_ptr<const HiveFile> file, KeyNode root) : file_(std::move(file)), root_(std::move(root)) {}

  long open(const std::string& path, std::unique_ptr<RegistryKey>& key) const override {
    return RegfKey(file_, root_).openSubKey(path, RegistryAccess::Read, key);
  }

 private:
  std::shared_ptr<const HiveFile> file_;
  KeyNode root_;
};

}  // namespace

std::unique_ptr<Hive> OpenRegfHive(std::string bytes, std::string& error) {
  const HiveHeader header = CheckHiveHeader(std::string_view(bytes).substr(0, kHiveBaseBlockSize), bytes.size());
  if (header.state != HiveState::Clean && header.state != HiveState::Dirty) {
    error = "it is not a sound hive";
    return nullptr;
  }
  const std::size_t binsSize = static_cast<std::size_t>(header.declaredSize - kHiveBaseBlockSize);
  const std::uint32_t rootOffset = loadLe32(bytes, 0x24);
  auto file = std::make_shared<HiveFile>(std::move(bytes), binsSize, header.minorVersion);
  if (auto problem = file->walkBins()) {
    error = "it is damaged (" + *problem + ")";
    return nullptr;
  }
  auto root = file->keyNode(rootOffset);
  if (!root) {
    error = "it is damaged (no root key at " + hex(std::uint64_t{kHiveBaseBlockSize} + rootOffset) + ")";
    return nullptr;
  }
  return std::make_unique<RegfHive>(std::move(file), std::move(*root));
}

}  // namespace qelvaro
