// Our own hive reader against hivex on every hive of the corpus: the same hives open
// or are refused, and every key lists the same subkeys in the same order with the
// same values.

#include <gtest/gtest.h>
#include <hivex.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "hive_header.h"
#include "hivex_hive.h"
#include "regf_hive.h"

namespace qelvaro {
namespace {

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct Free {
  void operator()(void* p) const { std::free(p); }
};

struct Walk {
  hive_h* h;
  const Hive& ours;
  std::string hive;
  std::size_t keys = 0;
  std::size_t values = 0;

  void visit(hive_node_h node, const std::string& path) {
    ++keys;
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(ours.open(path, key), kRegSuccess) << hive << ": " << path;
    std::unique_ptr<hive_node_h, Free> children(hivex_node_children(h, node));
    std::string name;
    if (!children) {  // a damaged subkey list
      EXPECT_EQ(key->enumSubKey(0, name), kRegInvalidData) << hive << ": " << path;
      return;
    }
    // hivex ends a name at an embedded NUL, which Windows keeps ("zero\0key").
    std::vector<std::pair<hive_node_h, std::string>> subkeys;
    std::uint32_t index = 0;
    for (hive_node_h* c = children.get(); *c; ++c, ++index) {
      std::unique_ptr<char, Free> theirs(hivex_node_name(h, *c));
      ASSERT_EQ(key->enumSubKey(index, name), kRegSuccess) << hive << ": " << path << " #" << index;
      ASSERT_EQ(name.substr(0, name.find('\0')), theirs.get()) << hive << ": " << path;
      subkeys.emplace_back(*c, name);
    }
    EXPECT_EQ(key->enumSubKey(index, name), kRegNoMoreItems) << hive << ": " << path;

    std::unique_ptr<hive_value_h, Free> list(hivex_node_values(h, node));
    ASSERT_TRUE(list) << hive << ": " << path;
    for (hive_value_h* v = list.get(); *v; ++v) {
      ++values;
      std::unique_ptr<char, Free> theirs(hivex_value_key(h, *v));
      const std::string name(theirs.get(), hivex_value_key_len(h, *v));
      // By name, so both sides take the first of two same-named values (hivex cannot
      // look up a name with a NUL in it).
      const hive_value_h first = name.size() == std::strlen(theirs.get()) ? hivex_node_get_value(h, node, name.c_str()) : *v;
      hive_type type{};
      std::size_t length = 0;
      std::unique_ptr<char, Free> data(hivex_value_value(h, first, &type, &length));
      RegistryData ourData;
      const long status = key->queryValue(name, ourData);
      if (!data) {
        // hivex refuses an empty value without a data cell; Windows reads it as empty.
        EXPECT_TRUE(status != kRegSuccess || ourData.bytes.empty()) << hive << ": " << path << " value " << name;
        continue;
      }
      ASSERT_EQ(status, kRegSuccess) << hive << ": " << path << " value " << name;
      std::uint32_t rawType = 0;  // hivex hands back any number as its enum type
      std::memcpy(&rawType, &type, sizeof rawType);
      EXPECT_EQ(static_cast<std::uint32_t>(ourData.type), rawType) << hive << ": " << path;
      EXPECT_EQ(std::string(ourData.bytes.begin(), ourData.bytes.end()), std::string(data.get(), length))
          << hive << ": " << path << " value " << name;
    }
    for (const auto& [child, childName] : subkeys) {
      visit(child, path.empty() ? childName : path + "\\" + childName);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
};

TEST(RegfHive, ReadsEveryCorpusHiveAsHivexDoes) {
  std::size_t compared = 0;
  for (const char* folder : {"hives", "edge-hives"}) {
    for (const auto& entry : std::filesystem::directory_iterator(std::string(QELVARO_CORPUS_DIR) + "/registry/" + folder)) {
      const std::string file = entry.path().filename().string();
      const std::string bytes = readAll(entry.path());
      const HiveState state = CheckHiveHeader(std::string_view(bytes).substr(0, kHiveBaseBlockSize), bytes.size()).state;
      if (state != HiveState::Clean && state != HiveState::Dirty) continue;  // refused before any reader
      std::string why;
      const std::unique_ptr<Hive> ours = OpenRegfHive(bytes, why);
      hive_h* h = hivex_open(entry.path().c_str(), 0);
      EXPECT_EQ(ours != nullptr, h != nullptr) << file << ": " << why;
      if (ours && h) {
        Walk walk{h, *ours, file};
        walk.visit(hivex_root(h), "");
        compared += walk.keys;
        RecordProperty(file, std::to_string(walk.keys) + " keys, " + std::to_string(walk.values) + " values");
      } else if (!ours) {
        EXPECT_EQ(why.rfind("it is damaged (", 0), 0u) << file << ": " << why;
      }
      if (h) hivex_close(h);
    }
  }
  EXPECT_GT(compared, 50000u);
}

TEST(RegfHive, NamesAndValuesMatchWithoutRegardToCase) {
  const std::string bytes = readAll(std::string(QELVARO_CORPUS_DIR) + "/registry/hives/regipy__SYSTEM");
  std::string why;
  const auto hive = OpenRegfHive(bytes, why);
  ASSERT_TRUE(hive) << why;
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(hive->open("select\\", key), kRegSuccess);
  RegistryData data;
  ASSERT_EQ(key->queryValue("cURRENT", data), kRegSuccess);
  EXPECT_EQ(data.type, RegistryType::Dword);
  EXPECT_EQ(data.bytes, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(key->queryValue("NoSuchValue", data), kRegFileNotFound);
  EXPECT_EQ(hive->open("Select\\\\Current", key), kRegFileNotFound);
  EXPECT_EQ(hive->open("ControlSet001\\NoSuchKey", key), kRegFileNotFound);
}

// A hive laid out by hand: cells appended one after another in one hive bin, then a
// free cell to its end; the base block made right around them.
struct HandMadeHive {
  std::string bins = std::string("hbin", 4) + std::string(28, '\0');

  static std::string le(std::uint32_t v, int bytes = 4) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
  }
  std::uint32_t add(std::string data, bool inUse = true) {
    const auto offset = static_cast<std::uint32_t>(bins.size());
    const std::uint32_t size = (static_cast<std::uint32_t>(data.size()) + 4 + 7) / 8 * 8;
    data.resize(size - 4, '\0');
    bins += le(inUse ? 0u - size : size) + data;
    return offset;
  }
  std::uint32_t key(const std::string& name, std::uint32_t subkeys = 0, std::uint32_t list = 0xFFFFFFFFu,
                    std::uint32_t values = 0, std::uint32_t valueList = 0xFFFFFFFFu) {
    std::string nk = std::string("nk") + le(0x20, 2) + std::string(16, '\0') + le(subkeys) + le(0) + le(list) +
                     le(0xFFFFFFFFu) + le(values) + le(valueList) + std::string(28, '\0') + le(name.size(), 2) +
                     le(0, 2) + name;
    return add(nk);
  }
  std::string file(std::uint32_t root) const {
    std::string b = bins;
    const std::uint32_t size = (static_cast<std::uint32_t>(b.size()) + 8 + 4095) / 4096 * 4096;
    const auto rest = static_cast<std::uint32_t>(size - b.size());
    b += le(rest) + std::string(rest - 4, '\0');
    b.replace(8, 4, le(size));
    std::string base = std::string("regf") + le(1) + le(1) + std::string(8, '\0') + le(1) + le(5) + le(0) + le(1) +
                       le(root) + le(size) + le(1);
    base.resize(4096, '\0');
    base.replace(0x1FC, 4, le(HiveBaseBlockChecksum(base)));
    return base + b;
  }
};

// Damage that costs nothing to write must cost nothing to read: lists that name far
// more keys than their key has, a huge value in one short segment or in many tiny ones,
// an over-long name, a list in a free cell. Each is invalid data (13), without memory or
// time spent on it.
TEST(RegfHive, HostileListsAndSizesAreDamagedNotExhausting) {
  HandMadeHive h;
  const std::uint32_t child = h.key("Child");
  std::string lf = std::string("lf") + HandMadeHive::le(65535, 2);
  for (int i = 0; i < 65535; ++i) lf += HandMadeHive::le(child) + "Chil";
  const std::uint32_t leaf = h.add(lf);
  std::string ri = std::string("ri") + HandMadeHive::le(65535, 2);
  for (int i = 0; i < 65535; ++i) ri += HandMadeHive::le(leaf);
  const std::uint32_t many = h.key("Many", 1000, h.add(ri));  // 65535 x 65535 names for 1000 keys
  const std::uint32_t longName = h.key("Long", 1, h.add(std::string("li") + HandMadeHive::le(1, 2) +
                                                         HandMadeHive::le(h.key(std::string(300, 'x')))));
  const std::uint32_t freeList = h.key("Free", 1, h.add(std::string("li") + HandMadeHive::le(1, 2) +
                                                         HandMadeHive::le(child), false));
  const std::uint32_t segmentList = h.add(HandMadeHive::le(h.add(std::string(16344, 'd'))));
  const std::uint32_t big = h.add(std::string("db") + HandMadeHive::le(1, 2) + HandMadeHive::le(segmentList));
  const std::uint32_t vk = h.add(std::string("vk") + HandMadeHive::le(3, 2) + HandMadeHive::le(0x7FFFFFF0u) +
                                 HandMadeHive::le(big) + HandMadeHive::le(3) + HandMadeHive::le(1, 2) +
                                 HandMadeHive::le(0, 2) + "Big");
  // A gigabyte said to be in 65535 segments, each of them one 16-byte cell.
  std::string tiny;
  for (int i = 0, cell = h.add(std::string(12, 't')); i < 65535; ++i) tiny += HandMadeHive::le(cell);
  const std::uint32_t wide = h.add(std::string("db") + HandMadeHive::le(65535, 2) + HandMadeHive::le(h.add(tiny)));
  const std::uint32_t wideVk = h.add(std::string("vk") + HandMadeHive::le(4, 2) + HandMadeHive::le(1000000000u) +
                                     HandMadeHive::le(wide) + HandMadeHive::le(3) + HandMadeHive::le(1, 2) +
                                     HandMadeHive::le(0, 2) + "Wide");
  std::string list;
  for (std::uint32_t k : {child, freeList, longName, many}) list += HandMadeHive::le(k) + "xxxx";
  const std::uint32_t root = h.key("ROOT", 4, h.add(std::string("lf") + HandMadeHive::le(4, 2) + list), 2,
                                   h.add(HandMadeHive::le(vk) + HandMadeHive::le(wideVk)));

  std::string why;
  const auto hive = OpenRegfHive(h.file(root), why);
  ASSERT_TRUE(hive) << why;
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(hive->open("", key), kRegSuccess);
  std::string name;
  ASSERT_EQ(key->enumSubKey(3, name), kRegSuccess);
  EXPECT_EQ(name, "Many");
  RegistryData data;
  EXPECT_EQ(key->queryValue("big", data), kRegInvalidData);
  EXPECT_EQ(key->queryValue("wide", data), kRegInvalidData);
  EXPECT_LT(data.bytes.capacity(), 1u << 20);  // nothing reserved for the gigabyte
  for (const char* path : {"Many", "Long", "Free"}) {
    ASSERT_EQ(hive->open(path, key), kRegSuccess) << path;
    EXPECT_EQ(key->enumSubKey(0, name), kRegInvalidData) << path;
  }
}

// Thousands of sibling keys listed out of the registry's order, as a damaged or
// hostile hive may list them: each is found by its name in any case, from the hive's
// root and below an opened key, by both readers.
TEST(RegfHive, ManySubkeysInAnyOrderAreFoundByNameInAnyCase) {
  constexpr std::uint32_t kKeys = 3000;
  HandMadeHive h;
  std::vector<std::uint32_t> order(kKeys);
  for (std::uint32_t i = 0; i < kKeys; ++i) order[i] = (i * 1237) % kKeys;  // a fixed shuffle
  std::string lf = std::string("lf") + HandMadeHive::le(kKeys, 2);
  for (const std::uint32_t i : order) {
    const std::uint32_t vk = h.add(std::string("vk") + HandMadeHive::le(1, 2) + HandMadeHive::le(0x80000004u) +
                                   HandMadeHive::le(i) + HandMadeHive::le(4) + HandMadeHive::le(1, 2) +
                                   HandMadeHive::le(0, 2) + "N");
    lf += HandMadeHive::le(h.key("Key" + std::to_string(i), 0, 0xFFFFFFFFu, 1, h.add(HandMadeHive::le(vk)))) + "Key0";
  }
  const std::uint32_t parent = h.key("Parent", kKeys, h.add(lf));
  const std::string file = h.file(h.key("ROOT", 1, h.add(std::string("li") + HandMadeHive::le(1, 2) + HandMadeHive::le(parent))));
  std::string why;
  const std::pair<const char*, std::unique_ptr<Hive>> readers[] = {{"ours", OpenRegfHive(file, why)},
                                                                   {"hivex", OpenHivexHiveFromBytes(file, why)}};
  for (const auto& [reader, hive] : readers) {
    SCOPED_TRACE(reader);
    ASSERT_TRUE(hive) << why;
    std::unique_ptr<RegistryKey> opened, key;
    ASSERT_EQ(hive->open("parent", opened), kRegSuccess);
    for (std::uint32_t i = 0; i < kKeys; ++i) {
      const std::string name = (i % 2 ? "KEY" : "key") + std::to_string(i);
      RegistryData data;
      ASSERT_EQ(opened->openSubKey(name, RegistryAccess::QueryValue, key), kRegSuccess) << name;
      ASSERT_EQ(key->queryValue("N", data), kRegSuccess);
      EXPECT_EQ(data.bytes, (std::vector<std::uint8_t>{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8), 0, 0}));
      if (i % 500 == 0) EXPECT_EQ(hive->open("PARENT\\" + name, key), kRegSuccess) << name;
    }
    EXPECT_EQ(opened->openSubKey("Key" + std::to_string(kKeys), RegistryAccess::Read, key), kRegFileNotFound);
  }
}

// A damaged hive may give a value any 32-bit type: hivex hands it back as its number.
TEST(HivexHive, AValueTypeOfAnyNumberIsThatNumber) {
  HandMadeHive h;
  const std::uint32_t vk = h.add(std::string("vk") + HandMadeHive::le(3, 2) + HandMadeHive::le(0x80000004u) + "data" +
                                 HandMadeHive::le(0x12345678u) + HandMadeHive::le(1, 2) + HandMadeHive::le(0, 2) + "Odd");
  std::string why;
  const auto hive = OpenHivexHiveFromBytes(h.file(h.key("ROOT", 0, 0xFFFFFFFFu, 1, h.add(HandMadeHive::le(vk)))), why);
  std::unique_ptr<RegistryKey> key;
  ASSERT_TRUE(hive && hive->open("", key) == kRegSuccess) << why;
  RegistryData data;
  ASSERT_EQ(key->queryValue("Odd", data), kRegSuccess);
  EXPECT_EQ(static_cast<std::uint32_t>(data.type), 0x12345678u);
}

}  // namespace
}  // namespace qelvaro
