// The driver inventory over an in-memory registry filled from .reg fixtures.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "driver_inventory.h"
#include "inventory_expectations.h"
#include "md_registry.h"
#include "memory_registry.h"
#include "recording_ui.h"

namespace qelvaro {
namespace {

namespace fixture = inventory_fixture;

std::string readFixture(const std::string& name) {
  std::ifstream in(std::filesystem::path(QELVARO_FIXTURES_DIR) / "registry" / name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

MemoryRegistry fixtureRegistry() {
  MemoryRegistry reg;
  const auto error = reg.importRegFile(readFixture("inventory.reg"));
  EXPECT_FALSE(error) << *error;
  return reg;
}

TEST(DriverInventory, FixtureScanFilteredAndUnfiltered) {
  const MemoryRegistry reg = fixtureRegistry();
  RecordingUi ui;
  fixture::expectFiltered(ScanDrivers(reg, ui, true, fixture::kRoot));
  fixture::expectUnfiltered(ScanDrivers(reg, ui, false, fixture::kRoot));
  EXPECT_TRUE(ui.messages.empty());
}

TEST(DriverInventory, MicrosoftProviders) {
  EXPECT_TRUE(IsMicrosoftProvider(""));
  EXPECT_TRUE(IsMicrosoftProvider("Microsoft"));
  EXPECT_TRUE(IsMicrosoftProvider("mIcRoSoFt"));
  EXPECT_FALSE(IsMicrosoftProvider("Microsoft Corporation"));
  EXPECT_FALSE(IsMicrosoftProvider(" Microsoft"));
  EXPECT_FALSE(IsMicrosoftProvider("Qelvaro"));
}

TEST(DriverInventory, UnopenableKeysShowOneMessageEach) {
  MemoryRegistry reg = fixtureRegistry();
  RecordingUi ui;
  // No class root at all: one message, no rows.
  const auto none = ScanDrivers(reg, ui, true, "SYSTEM\\Nowhere\\Class");
  EXPECT_TRUE(none.drivers.empty());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "无法打开注册表项");
  EXPECT_EQ(ui.messages[0].title, "Quorvak");
  EXPECT_EQ(ui.messages[0].icon, MessageIcon::None);

  // One class that cannot be listed: its message, and the scan goes on.
  ui.messages.clear();
  reg.denyAccess(RegistryRoot::LocalMachine, std::string(fixture::kRoot) + "\\" + fixture::kNet);
  const auto rest = ScanDrivers(reg, ui, true, fixture::kRoot);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(fixture::descriptions(rest),
            (std::vector<std::string>{"Qelvaro Demo Graphics Adapter", "Driver of a class without names",
                                      "Behind a long subkey name", "After the long name"}));
}

// A registry whose listing of one key breaks after its first subkey, as a damaged
// hive's subkey list does, however that key is reached.
class BrokenListing final : public Registry {
 public:
  BrokenListing(const Registry& inner, std::string broken) : inner_(inner), broken_(std::move(broken)) {}
  long open(RegistryRoot root, const std::string& path, RegistryAccess access,
            std::unique_ptr<RegistryKey>& key) const override {
    const long status = inner_.open(root, path, access, key);
    if (status == kRegSuccess) key = std::make_unique<Broken>(std::move(key), path, broken_);
    return status;
  }

 private:
  struct Broken final : RegistryKey {
    Broken(std::unique_ptr<RegistryKey> k, std::string p, const std::string& b) : inner(std::move(k)), path(std::move(p)), broken(b) {}
    long enumSubKey(std::uint32_t index, std::string& name) const override {
      return index == 0 || path != broken ? inner->enumSubKey(index, name) : kRegInvalidData;
    }
    long queryValue(const std::string& name, RegistryData& data) const override { return inner->queryValue(name, data); }
    long openSubKey(const std::string& sub, RegistryAccess access, std::unique_ptr<RegistryKey>& key) const override {
      const long status = inner->openSubKey(sub, access, key);
      if (status == kRegSuccess) key = std::make_unique<Broken>(std::move(key), path + "\\" + sub, broken);
      return status;
    }
    std::unique_ptr<RegistryKey> inner;
    std::string path;
    const std::string& broken;
  };
  const Registry& inner_;
  std::string broken_;
};

// A registry that opens from its root nothing below the class root: a class with
// thousands of drivers must not be looked through again for each of them.
class OnlyTheClassRootFromTheRoot final : public Registry {
 public:
  explicit OnlyTheClassRootFromTheRoot(const Registry& inner) : inner_(inner) {}
  long open(RegistryRoot root, const std::string& path, RegistryAccess access,
            std::unique_ptr<RegistryKey>& key) const override {
    return path == fixture::kRoot ? inner_.open(root, path, access, key) : kRegAccessDenied;
  }

 private:
  const Registry& inner_;
};

TEST(DriverInventory, KeysAreOpenedBelowTheKeysAlreadyOpen) {
  const MemoryRegistry reg = fixtureRegistry();
  RecordingUi ui;
  fixture::expectUnfiltered(ScanDrivers(OnlyTheClassRootFromTheRoot(reg), ui, false, fixture::kRoot));
  EXPECT_TRUE(ui.messages.empty());
}

TEST(DriverInventory, AKeyThatCannotBeListedIsNamedNotTakenForEmpty) {
  const MemoryRegistry reg = fixtureRegistry();
  const std::string net = std::string(fixture::kRoot) + "\\" + fixture::kNet;
  for (const std::string& broken : {std::string(fixture::kRoot), net}) {
    SCOPED_TRACE(broken);
    RecordingUi ui;
    const DriverInventory inventory = ScanDrivers(BrokenListing(reg, broken), ui, true, fixture::kRoot);
    EXPECT_EQ(inventory.unreadableKeys, std::vector<std::string>{broken});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "无法列出注册表项 " + broken + " 的子项 (错误 13), 其中的驱动程序未列出");
    EXPECT_FALSE(inventory.drivers.empty());  // what could be read is kept
  }
}

class InfFolder final : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  bool exists(const std::string& path, AttrMask) const override { return files.count(path) != 0; }
  std::optional<std::string> readFile(const std::string& path) const override {
    const auto it = files.find(path);
    return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
};

// Windows 10 and 11 write no default value, only ClassDesc.
TEST(DriverInventory, ClassNamesFromIndirectClassDescriptions) {
  InfFolder fs;
  fs.files["C:\\Windows\\inf\\dc1-controller.inf"] =
      "[Strings]\nClassName = \"Xbox Peripherals\"\n[Strings.0804]\nClassName = \"Xbox 外设\"\n";
  const FixedSystemFolders folders("C:\\Windows");
  const InfClassDescriptions infs(fs, folders);
  struct Case {
    const char* defaultValue;
    const char* classDesc;
    const char* expected;
  } cases[] = {
      {"网络适配器", "@net.inf,%Net%;Network adapters", "网络适配器"},  // Windows 7 keeps both
      {"", "@dc1-controller.inf,%ClassName%;Xbox Peripherals", "Xbox 外设"},
      {"", "@missing.inf,%ClassName%;Xbox Peripherals", "Xbox Peripherals"},
      {"", "@%SystemRoot%\\System32\\NetCfgx.dll,-5000", "Net"},
      {"", "", "Net"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassDisplayName(c.defaultValue, "{guid}", c.classDesc, "Net", &infs), c.expected) << c.classDesc;
  }
}

TEST(RegistryValues, TypesStatusesAndText) {
  MemoryRegistry reg;
  const auto lm = RegistryRoot::LocalMachine;
  reg.setValue(lm, "K", "s", RegString("text"));
  reg.setValue(lm, "K", "n", RegDword(0xFFFFFFFEu));
  reg.setValue(lm, "K", "e", RegString("%SystemRoot%", RegistryType::ExpandString));
  reg.setValue(lm, "K", "short", RegistryData{RegistryType::Dword, {1, 2}});
  reg.setValue(lm, "K", "nul", RegistryData{RegistryType::String, {'a', 0, 0, 0, 'b', 0}});
  reg.setValue(lm, "K", "", RegString("default"));
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(reg.open(lm, "K", RegistryAccess::QueryValue, key), kRegSuccess);
  RegistryVariant v;
  EXPECT_EQ(ReadKeyValue(*key, "s", v), 0);
  EXPECT_EQ(VariantText(v), "text");
  EXPECT_EQ(ReadKeyValue(*key, "n", v), 0);
  EXPECT_EQ(std::get<std::int32_t>(v), -2);
  EXPECT_EQ(ReadKeyValue(*key, "e", v), -1);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(v));
  EXPECT_EQ(ReadKeyValue(*key, "missing", v), kRegFileNotFound);
  EXPECT_NE(ReadKeyValue(*key, "short", v), 0);
  EXPECT_EQ(VariantText(v), "");
  EXPECT_EQ(ReadKeyValue(*key, "nul", v), 0);
  EXPECT_EQ(VariantText(v), "a");
  EXPECT_EQ(VariantText(ReadRegistryValue(reg, lm, "K", "")), "default");
  EXPECT_EQ(VariantText(ReadRegistryValue(reg, lm, "Missing\\Key", "s")), "");
}

TEST(RegFile, MalformedTextIsRefusedWithALineNumber) {
  MemoryRegistry reg;
  EXPECT_EQ(reg.importRegFile("hello"), "not a registry file (first line 'hello')");
  EXPECT_EQ(reg.importRegFile("REGEDIT4\n[HKEY_NOWHERE\\X]\n"), "line 2: unknown root key");
  EXPECT_EQ(reg.importRegFile("REGEDIT4\n\"a\"=\"b\"\n"), "line 2: value outside a key");
  EXPECT_EQ(reg.importRegFile("REGEDIT4\n[HKLM\\X]\n\"a\"=dword:xyz\n"), "line 3: cannot read the value of 'a'");
  // Continued hex lines, escapes, deletion.
  EXPECT_FALSE(reg.importRegFile(
      "REGEDIT4\n[HKLM\\X]\n\"q\"=\"say \\\"hi\\\" \\\\ there\"\n\"h\"=hex:01,02,\\\n  03\n"
      "\"gone\"=\"x\"\n\"gone\"=-\n[-HKLM\\Y]\n"));
  EXPECT_EQ(VariantText(ReadRegistryValue(reg, RegistryRoot::LocalMachine, "X", "q")), "say \"hi\" \\ there");
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(reg.open(RegistryRoot::LocalMachine, "x", RegistryAccess::QueryValue, key), kRegSuccess);
  RegistryData data;
  ASSERT_EQ(key->queryValue("h", data), kRegSuccess);
  EXPECT_EQ(data.bytes, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(key->queryValue("gone", data), kRegFileNotFound);
}

}  // namespace
}  // namespace qelvaro
