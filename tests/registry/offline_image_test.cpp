// Offline Windows images: the hive checks, the registry over the hives, and whole
// images over the corpus hives (real SYSTEM hives of Windows 7 and Windows 10).

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "code_page_file_system.h"
#include "driver_inventory.h"
#include "driver_store.h"
#include "fake_windows_tree.h"
#include "hive_header.h"
#include "hivex_hive.h"
#include "memory_registry.h"
#include "offline_image.h"
#include "recording_ui.h"

namespace qelvaro {
namespace {

std::string corpusHive(const std::string& name) {
  std::ifstream in(std::string(QELVARO_CORPUS_DIR) + "/registry/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) ADD_FAILURE() << "corpus file missing: " << name;
  return bytes.str();
}

HiveState stateOf(const std::string& bytes) {
  return CheckHiveHeader(std::string_view(bytes).substr(0, kHiveBaseBlockSize), bytes.size()).state;
}

TEST(HiveHeader, TellsTheCorpusHivesApart) {
  EXPECT_EQ(stateOf(corpusHive("hives/regipy__SYSTEM")), HiveState::Clean);
  EXPECT_EQ(stateOf(corpusHive("hives/ctf__recup_dir.12__f3289992.hive")), HiveState::Clean);  // regf 1.3
  EXPECT_EQ(stateOf(corpusHive("hives/regipy__SYSTEM_B")), HiveState::Dirty);
  EXPECT_EQ(stateOf(corpusHive("edge-hives/yarp__NewDirtyHive1__NewDirtyHive")), HiveState::Dirty);
  EXPECT_EQ(stateOf(corpusHive("edge-hives/yarp__TruncatedHive")), HiveState::Truncated);
  EXPECT_EQ(stateOf(corpusHive("edge-hives/yarp__GarbageHive")), HiveState::BadChecksum);
  EXPECT_EQ(stateOf(corpusHive("edge-hives/yarp__BadBaseBlockHive__BadBaseBlockHive")), HiveState::BadChecksum);
  EXPECT_EQ(stateOf(corpusHive("hives/dfwinreg__SYSTEM.DAT")), HiveState::Windows9x);
}

TEST(HiveHeader, RefusesShortAndForeignFiles) {
  EXPECT_EQ(stateOf(""), HiveState::NotRegf);
  EXPECT_EQ(stateOf("MZ\x90"), HiveState::NotRegf);
  EXPECT_EQ(stateOf("regf"), HiveState::Truncated);
  std::string base = corpusHive("hives/regipy__SYSTEM").substr(0, kHiveBaseBlockSize);
  ASSERT_EQ(base.size(), kHiveBaseBlockSize);
  EXPECT_EQ(CheckHiveHeader(base, base.size()).state, HiveState::Truncated);  // the bins are gone
  base[0x14] = 2;  // major version 2: the checksum no longer matches either
  EXPECT_EQ(CheckHiveHeader(base, 1u << 30).state, HiveState::BadChecksum);
}

// A hive over an in-memory registry, below the key "H".
class MemoryHive final : public Hive {
 public:
  explicit MemoryHive(const MemoryRegistry& reg) : reg_(reg) {}
  long open(const std::string& path, std::unique_ptr<RegistryKey>& key) const override {
    return reg_.open(RegistryRoot::LocalMachine, path.empty() ? "H" : "H\\" + path, RegistryAccess::Read, key);
  }

 private:
  const MemoryRegistry& reg_;
};

TEST(OfflineRegistry, MapsTheLiveRegistryPathsOntoTheHives) {
  MemoryRegistry system, drivers;
  const auto lm = RegistryRoot::LocalMachine;
  system.setValue(lm, "H\\Select", "Current", RegDword(2));
  system.setValue(lm, "H\\ControlSet001\\Control\\Class\\{c}", "Class", RegString("Old"));
  system.setValue(lm, "H\\ControlSet002\\Control\\Class\\{c}", "Class", RegString("Current"));
  drivers.setValue(lm, "H\\DriverDatabase\\DriverInfFiles\\oem6.inf", "Active", RegString("cam.inf_amd64_1"));

  const auto name = CurrentControlSetName(MemoryHive(system));
  ASSERT_TRUE(name);
  EXPECT_EQ(*name, "ControlSet002");
  OfflineRegistry reg(std::make_unique<MemoryHive>(system), std::make_unique<MemoryHive>(drivers), *name);

  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(reg.open(lm, "SYSTEM\\CurrentControlSet\\Control\\Class\\{c}", RegistryAccess::Read, key), kRegSuccess);
  RegistryData data;
  ASSERT_EQ(key->queryValue("Class", data), kRegSuccess);
  EXPECT_EQ(RegistryStringText(data.bytes), "Current");
  EXPECT_EQ(reg.open(lm, "system\\controlset001\\Control\\Class\\{c}", RegistryAccess::Read, key), kRegSuccess);
  EXPECT_EQ(reg.open(RegistryRoot::CurrentUser, "SYSTEM\\Select", RegistryAccess::Read, key), kRegFileNotFound);
  EXPECT_EQ(reg.open(lm, "SOFTWARE\\Microsoft", RegistryAccess::Read, key), kRegFileNotFound);

  // The driver-store lookup finds the package in the DRIVERS hive, unchanged.
  const FixedSystemFolders folders("C:\\Windows");
  EXPECT_EQ(RegistryDriverStoreLookup(reg, folders).packageFolder("oem6.inf"),
            "C:\\Windows\\System32\\DriverStore\\FileRepository\\cam.inf_amd64_1");
  OfflineRegistry withoutDrivers(std::make_unique<MemoryHive>(system), nullptr, *name);
  EXPECT_EQ(withoutDrivers.open(lm, "DRIVERS\\DriverDatabase", RegistryAccess::Read, key), kRegFileNotFound);
}

TEST(OfflineRegistry, NoControlSetWithoutAUsableSelectCurrent) {
  MemoryRegistry system;
  const auto lm = RegistryRoot::LocalMachine;
  EXPECT_FALSE(CurrentControlSetName(MemoryHive(system)));
  system.setValue(lm, "H\\Select", "Current", RegString("1"));
  EXPECT_FALSE(CurrentControlSetName(MemoryHive(system)));
  system.setValue(lm, "H\\Select", "Current", RegDword(0));
  EXPECT_FALSE(CurrentControlSetName(MemoryHive(system)));
  system.setValue(lm, "H\\Select", "Current", RegDword(12));
  EXPECT_EQ(CurrentControlSetName(MemoryHive(system)), "ControlSet012");
}

// An image on drive C of a fake tree.
struct OfflineImageTest : ::testing::Test {
  testing::FakeWindowsTree tree;
  OfflineImageOptions options;
  std::string error;

  void putHive(const std::string& name, const std::string& corpusName) {
    tree.put("C:\\Windows\\System32\\config\\" + name, corpusHive(corpusName));
  }
  std::unique_ptr<OfflineImage> open(const std::string& root = "C:\\") {
    const HiveOpener hivex = [](const std::string& bytes, std::string& why) {
      return OpenHivexHiveFromBytes(bytes, why);
    };
    return OpenOfflineImage(tree.fs(), root, hivex, options, error);
  }
};

TEST_F(OfflineImageTest, Windows7ListsItsThirdPartyDrivers) {
  putHive("SYSTEM", "hives/regipy__SYSTEM");
  const auto image = open();
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->controlSet(), "ControlSet001");
  EXPECT_EQ(image->arch(), MachineArch::X86);
  EXPECT_EQ(image->ansiCodePage(), 1252u);
  EXPECT_FALSE(image->hasDriversHive());
  EXPECT_EQ(image->folders().windowsDir(), "C:\\Windows");
  EXPECT_EQ(image->folders().systemDir(), "C:\\Windows\\System32");

  RecordingUi ui;
  const DriverInventory inventory = ScanDrivers(image->registry(), ui, true);
  std::string rows;
  for (const DriverRecord& d : inventory.drivers) {
    rows += d.description + " | " + d.classDisplayName + " | " + d.provider + " | " + d.keyPath + " | " + d.className +
            " | " + d.infName + "\n";
  }
  EXPECT_EQ(rows,
            "VMware SVGA 3D (Microsoft Corporation - WDDM) | Display adapters | VMware, Inc. | "
            "{4D36E968-E325-11CE-BFC1-08002BE10318}\\0000 | Display | oem12.inf\n"
            "VMware Pointing Device | Mice and other pointing devices | VMware, Inc. | "
            "{4D36E96F-E325-11CE-BFC1-08002BE10318}\\0003 | Mouse | oem5.inf\n"
            "LSI Adapter, SAS 3000 series, 8-port with 1068 | Storage controllers | LSI | "
            "{4D36E97B-E325-11CE-BFC1-08002BE10318}\\0000 | SCSIAdapter | lsi_sas.inf\n"
            "VMware VMCI Bus Device | System devices | VMware, Inc. | "
            "{4D36E97D-E325-11CE-BFC1-08002BE10318}\\0133 | System | oem11.inf\n");
  // Microsoft's own drivers are there too, behind the filter.
  EXPECT_GT(ScanDrivers(image->registry(), ui, false).drivers.size(), 100u);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(OfflineImageTest, DirtyHiveIsReadWithItsLogsReplayed) {
  putHive("SYSTEM", "hives/regipy__SYSTEM_B");
  putHive("SYSTEM.LOG1", "hives/regipy__SYSTEM_B.LOG1");
  putHive("SYSTEM.LOG2", "hives/regipy__SYSTEM_B.LOG2");
  const auto image = open();
  ASSERT_TRUE(image) << error;
  ASSERT_EQ(image->warnings().size(), 1u);
  EXPECT_NE(image->warnings()[0].find("24 log entries replayed"), std::string::npos) << image->warnings()[0];
  EXPECT_EQ(image->arch(), MachineArch::Amd64);
  RecordingUi ui;
  bool nvidia = false;
  for (const DriverRecord& d : ScanDrivers(image->registry(), ui, true).drivers) {
    nvidia = nvidia || (d.description == "NVIDIA NVS 5200M" && d.className == "Display" && d.infName == "oem4.inf");
  }
  EXPECT_TRUE(nvidia);
}

TEST_F(OfflineImageTest, DirtyHiveWithoutUsableLogsIsRefusedUnlessAllowed) {
  putHive("SYSTEM", "hives/regipy__SYSTEM_B");
  EXPECT_FALSE(open());
  EXPECT_NE(error.find("C:\\Windows\\System32\\config\\SYSTEM was not closed cleanly"), std::string::npos) << error;
  EXPECT_NE(error.find("no transaction log found beside it"), std::string::npos) << error;
  EXPECT_NE(error.find("--allow-dirty"), std::string::npos) << error;

  tree.put("C:\\Windows\\System32\\config\\system.log1", std::string(8192, '\0'));
  EXPECT_FALSE(open());
  EXPECT_NE(error.find("(C:\\Windows\\System32\\config\\system.log1), which cannot be replayed: "
                       "C:\\Windows\\System32\\config\\system.log1: not a log"),
            std::string::npos)
      << error;

  options.allowDirty = true;
  const auto image = open();
  ASSERT_TRUE(image) << error;
  ASSERT_EQ(image->warnings().size(), 1u);
  EXPECT_NE(image->warnings()[0].find("read as it is (--allow-dirty)"), std::string::npos);
  RecordingUi ui;
  EXPECT_FALSE(ScanDrivers(image->registry(), ui, true).drivers.empty());
}

TEST_F(OfflineImageTest, BadHivesAreRefusedWithTheirReason) {
  const struct {
    const char* corpus;
    const char* reason;
  } cases[] = {
      {"hives/regipy__corrupted_system_hive", "is damaged"},
      {"edge-hives/yarp__TruncatedHive", "is truncated"},
      {"edge-hives/yarp__GarbageHive", "checksum"},
      {"hives/dfwinreg__SYSTEM.DAT", "Windows 95/98/ME"},
      {"edge-hives/ezregistry__SAMBadHBinHeader", "is damaged"},
      {"edge-hives/ezregistry__SECURITYNoRoot", "no current control set"},
  };
  for (const auto& c : cases) {
    putHive("SYSTEM", c.corpus);
    EXPECT_FALSE(open()) << c.corpus;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.corpus << ": " << error;
  }
}

TEST_F(OfflineImageTest, ABadDriversHiveIsRefused) {
  putHive("SYSTEM", "hives/regipy__SYSTEM");
  tree.put("C:\\Windows\\System32\\config\\DRIVERS", "not a hive at all");
  EXPECT_FALSE(open());
  EXPECT_NE(error.find("config\\DRIVERS is not a registry hive"), std::string::npos) << error;
}

// Adds up the bytes of the files the tree hands back.
class CountingFileSystem final : public FileSystem {
 public:
  explicit CountingFileSystem(const FileSystem& inner) : inner_(inner) {}
  bool exists(const std::string& path, AttrMask mask) const override { return inner_.exists(path, mask); }
  std::optional<std::string> readFile(const std::string& path) const override { return counted(inner_.readFile(path)); }
  std::optional<std::string> readFileHead(const std::string& path, std::uint64_t limit, std::uint64_t& size) const override {
    return counted(inner_.readFileHead(path, limit, size));
  }
  DirListing listDir(const std::string& path) const override { return inner_.listDir(path); }
  std::optional<std::string> counted(std::optional<std::string> bytes) const {
    handed += bytes ? bytes->size() : 0;
    return bytes;
  }
  const FileSystem& inner_;
  mutable std::uint64_t handed = 0;
};

// A hive or log costs its base block, and the bins it declares when it is sound: the
// rest of a file (of gigabytes: a sparse one costs nothing to make) is never read.
TEST_F(OfflineImageTest, HivesAndLogsAreReadNoFurtherThanTheirBaseBlocksSay) {
  const std::string config = "C:\\Windows\\System32\\config\\";
  const struct {
    std::string system, log;  // no log: none beside the hive
    const char* refusal;      // none: the image opens
  } cases[] = {{corpusHive("hives/regipy__SYSTEM"), "", nullptr},
               {"not a hive", "", "is not a registry hive"},
               {corpusHive("hives/regipy__SYSTEM_B"), "system.log1", "system.log1: not a log"}};
  for (const auto& c : cases) {
    for (const std::string& name : {std::string("SYSTEM"), c.log}) {
      if (name.empty()) continue;
      tree.put(config + name, name == "SYSTEM" ? c.system : "");
      ASSERT_EQ(::truncate(tree.host(config + name).c_str(), 64 << 20), 0);
    }
    CountingFileSystem fs(tree.fs());
    const HiveOpener hivex = [](const std::string& bytes, std::string& why) { return OpenHivexHiveFromBytes(bytes, why); };
    EXPECT_EQ(OpenOfflineImage(fs, "C:\\", hivex, options, error) != nullptr, !c.refusal) << error;
    EXPECT_NE(error.find(c.refusal ? c.refusal : ""), std::string::npos) << error;
    const HiveHeader header = CheckHiveHeader(std::string_view(c.system).substr(0, kHiveBaseBlockSize), 1 << 30);
    EXPECT_LE(fs.handed, 2 * kHiveBaseBlockSize + header.declaredSize) << c.system.substr(0, 10);
  }
}

TEST_F(OfflineImageTest, NoWindowsFolderOrNoSystemHive) {
  tree.put("D:\\readme.txt", "a data disk");
  EXPECT_FALSE(open("D:\\"));
  EXPECT_NE(error.find("no Windows folder in D:\\"), std::string::npos) << error;
  EXPECT_FALSE(open());
  EXPECT_NE(error.find("config\\SYSTEM cannot be read"), std::string::npos) << error;
}

TEST(AnsiCodePage, DecodesTheImageCodePage) {
  const auto gbk = AnsiDecoderForCodePage(936);
  ASSERT_TRUE(gbk);
  EXPECT_EQ(gbk("\xC9\xE3\xCF\xF1\xCD\xB7.dll"), "摄像头.dll");
  EXPECT_EQ(gbk("a\xFF"), "a\xEF\xBF\xBD");  // a lead byte with nothing after it
  const auto cyrillic = AnsiDecoderForCodePage(1251);
  ASSERT_TRUE(cyrillic);
  EXPECT_EQ(cyrillic("\xC4\xF0\xE0\xE9\xE2\xE5\xF0"), "Драйвер");
  // A backup of a western Windows, read on a machine of another code page.
  const auto western = AnsiDecoderForCodePage(1252);
  ASSERT_TRUE(western);
  EXPECT_EQ(western("\x80 \xE9\x81"), "€ é\xC2\x81");  // 0x81 is undefined: U+0081, as Windows maps it
  EXPECT_FALSE(AnsiDecoderForCodePage(0));
  EXPECT_FALSE(AnsiDecoderForCodePage(4711));
  EXPECT_EQ(MachineArchFromProcessorArchitecture("AMD64"), MachineArch::Amd64);
  EXPECT_EQ(MachineArchFromProcessorArchitecture("x86"), MachineArch::X86);
  EXPECT_EQ(MachineArchFromProcessorArchitecture("ARM64"), MachineArch::Arm64);
  EXPECT_FALSE(MachineArchFromProcessorArchitecture("IA64"));
}

}  // namespace
}  // namespace qelvaro
