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

}  // namespace
}  // namespace qelvaro
