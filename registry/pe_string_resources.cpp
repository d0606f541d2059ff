#include "pe_string_resources.h"

#include "base/bytes.h"
#include "base/checked.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

constexpr std::uint32_t kRtString = 6;
constexpr std::uint32_t kSubdirectory = 0x80000000u;
constexpr std::uint32_t kNamedEntry = 0x80000000u;

// Reads little-endian numbers at offsets that are checked against the buffer.
class Bytes {
 public:
  explicit Bytes(std::string_view data) : data_(data) {}
  bool has(std::uint64_t at, std::uint64_t n) const { return base::fitsWithin(at, n, data_.size()); }
  std::uint16_t u16(std::uint64_t at) const { return base::loadLe16(data_, static_cast<std::size_t>(at)); }
  std::uint32_t u32(std::uint64_t at) const { return base::loadLe32(data_, static_cast<std::size_t>(at)); }

 private:
  std::string_view data_;
};

// The resource section: where the resource tree starts in the file, and how its
// offsets (relative to the tree) and data addresses (RVAs) map to file offsets.
struct ResourceTree {
  std::uint64_t fileStart = 0;  // file offset of the tree's root
  std::uint32_t rva = 0;        // RVA of the root
  std::uint64_t length = 0;     // bytes of the tree in the file, from the root
  std::uint32_t sectionRva = 0, sectionRaw = 0, sectionRawSize = 0;
};

std::optional<ResourceTree> findResourceTree(const Bytes& b) {
  if (!b.has(0, 64) || b.u16(0) != 0x5A4D) return std::nullopt;  // "MZ"
  const std::uint64_t pe = b.u32(60);
  if (!b.has(pe, 24) || b.u32(pe) != 0x00004550) return std::nullopt;  // "PE\0\0"
  const std::uint32_t sections = b.u16(pe + 6);
  const std::uint32_t optionalSize = b.u16(pe + 20);
  const std::uint64_t optional = pe + 24;
  if (!b.has(optional, optionalSize) || optionalSize < 2) return std::nullopt;
  const std::uint16_t magic = b.u16(optional);
  const std::uint64_t countAt = magic == 0x10b ? 92 : magic == 0x20b ? 108 : 0;
  if (countAt == 0 || optionalSize < countAt + 4) return std::nullopt;
  const std::uint32_t directories = b.u32(optional + countAt);
  const std::uint64_t resourceEntry = countAt + 4 + 2 * 8;  // the third directory
  if (directories < 3 || optionalSize < resourceEntry + 8) return std::nullopt;
  const std::uint32_t rva = b.u32(optional + resourceEntry);
  if (rva == 0) return std::nullopt;
  const std::uint64_t table = optional + optionalSize;
  for (std::uint32_t i = 0; i < sections; ++i) {
    const std::uint64_t s = table + 40ull * i;
    if (!b.has(s, 40)) return std::nullopt;
    const std::uint32_t va = b.u32(s + 12), rawSize = b.u32(s + 16), raw = b.u32(s + 20);
    if (rva < va || rva - va >= rawSize) continue;
    ResourceTree tree;
    tree.rva = rva;
    tree.fileStart = static_cast<std::uint64_t>(raw) + (rva - va);
    tree.length = rawSize - (rva - va);
    tree.sectionRva = va;
    tree.sectionRaw = raw;
    tree.sectionRawSize = rawSize;
    if (!b.has(tree.fileStart, 0)) return std::nullopt;
    return tree;
  }
  return std::nullopt;
}

// One level of the tree: the entry for `id` (or, with `any`, the preferred one or else
// the first numbered entry); its offset field, or none.
std::optional<std::uint32_t> findEntry(const Bytes& b, const ResourceTree& t, std::uint64_t directory,
                                       std::uint32_t id, bool any) {
  if (directory > t.length || t.length - directory < 16 || !b.has(t.fileStart + directory, 16)) return std::nullopt;
  const std::uint64_t at = t.fileStart + directory;
  const std::uint32_t named = b.u16(at + 12), numbered = b.u16(at + 14);
  const std::uint64_t entries = at + 16;
  std::optional<std::uint32_t> first;
  for (std::uint32_t i = 0; i < named + numbered; ++i) {
    const std::uint64_t e = entries + 8ull * i;
    if (e + 8 > t.fileStart + t.length || !b.has(e, 8)) return first;
    const std::uint32_t name = b.u32(e), offset = b.u32(e + 4);
    if (name & kNamedEntry) continue;
    if (name == id) return offset;
    if (any && !first) first = offset;
  }
  return first;
}

std::optional<std::string_view> stringTableBlock(std::string_view image, const Bytes& b, const ResourceTree& t,
                                                 std::uint32_t block, std::uint16_t language) {
  const auto type = findEntry(b, t, 0, kRtString, false);
  if (!type || !(*type & kSubdirectory)) return std::nullopt;
  const auto name = findEntry(b, t, *type & ~kSubdirectory, block, false);
  if (!name || !(*name & kSubdirectory)) return std::nullopt;
  const auto lang = findEntry(b, t, *name & ~kSubdirectory, language, true);
  if (!lang || (*lang & kSubdirectory)) return std::nullopt;
  const std::uint64_t entry = *lang;
  if (entry > t.length || t.length - entry < 16 || !b.has(t.fileStart + entry, 16)) return std::nullopt;
  const std::uint32_t dataRva = b.u32(t.fileStart + entry), size = b.u32(t.fileStart + entry + 4);
  // The data lies in the resource section; its RVA maps through that section.
  if (dataRva < t.sectionRva || dataRva - t.sectionRva >= t.sectionRawSize) return std::nullopt;
  const std::uint32_t inSection = dataRva - t.sectionRva;
  if (size > t.sectionRawSize - inSection) return std::nullopt;
  const std::uint64_t at = static_cast<std::uint64_t>(t.sectionRaw) + inSection;
  if (!b.has(at, size)) return std::nullopt;
  return image.substr(static_cast<std::size_t>(at), size);
}

}  // namespace

std::optional<std::string> ReadPeString(std::string_view image, std::uint32_t id, std::uint16_t preferredLanguage) {
  const Bytes b(image);
  const auto tree = findResourceTree(b);
  if (!tree) return std::nullopt;
  // Sixteen strings to a block: string id sits in block id/16 + 1, at place id % 16.
  const auto block = stringTableBlock(image, b, *tree, id / 16 + 1, preferredLanguage);
  if (!block) return std::nullopt;
  const Bytes strings(*block);
  std::uint64_t at = 0;
  for (std::uint32_t i = 0; i < 16; ++i) {
    if (!strings.has(at, 2)) return std::nullopt;
    const std::uint32_t units = strings.u16(at);
    at += 2;
    if (!strings.has(at, 2ull * units)) return std::nullopt;
    if (i == id % 16) {
      if (units == 0) return std::nullopt;
      std::u16string text(units, u'\0');
      for (std::uint32_t k = 0; k < units; ++k) text[k] = static_cast<char16_t>(strings.u16(at + 2ull * k));
      return utf16ToUtf8(text);
    }
    at += 2ull * units;
  }
  return std::nullopt;
}

}  // namespace qelvaro
