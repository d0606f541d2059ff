// `qelvaro backup` over an in-memory registry and a fake Windows tree.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "cmd_backup.h"
#include "fake_windows_tree.h"
#include "memory_registry.h"
#include "zip_packaging.h"

namespace qelvaro {
namespace {

const std::string kRoot = "SYSTEM\\CurrentControlSet\\Control\\Class\\";

void addClass(MemoryRegistry& reg, const std::string& guid, const std::string& className) {
  reg.setValue(RegistryRoot::LocalMachine, kRoot + guid, "Class", RegString(className));
}

void addDriver(MemoryRegistry& reg, const std::string& key, const std::string& desc, const std::string& provider,
               const std::string& inf) {
  const auto lm = RegistryRoot::LocalMachine;
  reg.setValue(lm, kRoot + key, "DriverDesc", RegString(desc));
  reg.setValue(lm, kRoot + key, "ProviderName", RegString(provider));
  reg.setValue(lm, kRoot + key, "InfPath", RegString(inf));
}

struct BackupCommand : ::testing::Test {
  testing::FakeWindowsTree tree;
  MemoryRegistry reg;
  std::optional<std::vector<std::string>> present;  // unset: presence unknown

  void SetUp() override {
    addClass(reg, "{display}", "Display");
    addClass(reg, "{net}", "Net");
    addDriver(reg, "{display}\\0000", "Demo GPU: fast/cheap", "Demo Graphics", "oem3.inf");
    addDriver(reg, "{net}\\0000", "Demo NIC", "Demo Networks", "oem4.inf");
    addDriver(reg, "{net}\\0001", "Inbox NIC", "Microsoft", "netinbox.inf");
    tree.put("C:\\Windows\\inf\\oem3.inf",
             "[Version]\r\n[DestinationDirs]\r\nDefaultDestDir=12\r\n[SourceDisksFiles]\r\ndemo.sys=1\r\n");
    tree.put("C:\\Windows\\System32\\drivers\\demo.sys", "driver");
    tree.put("C:\\Windows\\inf\\netinbox.inf", "[Version]\r\n");
    // oem4.inf is missing: that driver cannot be backed up.
    tree.put("D:\\Backups\\readme.txt", "the folder the user chose");
    tree.put("D:\\B\\readme.txt", "another");
  }

  int run(const Args& args, std::string& out, std::string& err) {
    std::ostringstream o, e;
    BackupSystem system{reg, tree.folders(), tree.fs(), nullptr, MachineArch::Amd64,
                        [this](const std::string& p) { return tree.fs().hostPath(p).value_or(p); }};
    if (present) system.presentDevices = [this] { return present; };
    const int code = RunBackupCommand(args, system, o, e);
    out = o.str();
    err = e.str();
    return code;
  }
};

TEST_F(BackupCommand, BacksUpWhatItCanAndSaysWhatItCouldNot) {
  std::string out, err;
  EXPECT_EQ(run({"--to", "D:\\Backups"}, out, err), 1);
  EXPECT_NE(out.find("ok     \"Demo GPU: fast/cheap\" (oem3.inf): 2 files\n"), std::string::npos) << out;
  EXPECT_NE(out.find("FAILED "), std::string::npos);
  EXPECT_NE(out.find("Demo NIC"), std::string::npos);
  EXPECT_NE(out.find("oem4.inf"), std::string::npos);
  EXPECT_EQ(out.find("Inbox NIC"), std::string::npos);  // Microsoft's, filtered
  EXPECT_NE(out.find("1 of 2 drivers backed up, 2 files, into D:\\Backups\\Quorvak; 1 drivers and 0 files skipped"),
            std::string::npos)
      << out;
  EXPECT_EQ(tree.read("D:\\Backups\\Quorvak\\Display\\Demo GPU  fast cheap\\demo.sys"), "driver");
}

TEST_F(BackupCommand, PresentOnlyLeavesOutDriversOfDevicesThatAreGone) {
  std::string out, err;
  EXPECT_EQ(run({"--to", "D:\\", "--present-only"}, out, err), 2);
  EXPECT_NE(err.find("--present-only needs to know which devices are plugged in"), std::string::npos) << err;

  // The GPU's device is plugged in (its Driver value in another case), the NIC's is not.
  const auto lm = RegistryRoot::LocalMachine;
  reg.setValue(lm, "SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_1\\3&1", "Driver", RegString("{DISPLAY}\\0000"));
  reg.setValue(lm, "SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_2\\3&2", "Driver", RegString("{net}\\0000"));
  present = std::vector<std::string>{"pci\\ven_1\\3&1", "ROOT\\OTHER\\0000"};
  EXPECT_EQ(run({"--to", "D:\\", "--present-only", "--all"}, out, err), 0) << out << err;
  EXPECT_NE(out.find("skipped \"Demo NIC\" (oem4.inf): PCI\\VEN_2\\3&2 is not plugged in\n"), std::string::npos) << out;
  EXPECT_NE(out.find("skipped \"Inbox NIC\" (netinbox.inf): no device uses it\n"), std::string::npos) << out;
  EXPECT_NE(out.find("1 of 1 drivers backed up"), std::string::npos) << out;
}

TEST_F(BackupCommand, ClassFilterAllAndArguments) {
  std::string out, err;
  EXPECT_EQ(run({"--to", "D:\\", "--class", "display"}, out, err), 0) << out << err;
  EXPECT_NE(out.find("1 of 1 drivers backed up, 2 files, into D:\\Quorvak\n"), std::string::npos) << out;

  EXPECT_EQ(run({"--to", "D:\\B", "--all", "--class", "Net"}, out, err), 1);
  EXPECT_NE(out.find("Inbox NIC"), std::string::npos);
  EXPECT_NE(out.find("1 of 2 drivers backed up"), std::string::npos) << out;

  EXPECT_EQ(run({"--to", "D:\\B", "--class", "Printer"}, out, err), 1);
  EXPECT_EQ(err, "qelvaro backup: no driver to back up\n");
  EXPECT_EQ(run({}, out, err), 2);
  EXPECT_EQ(run({"--to"}, out, err), 2);
  EXPECT_EQ(run({"--to", "D:\\Nowhere"}, out, err), 2);
  EXPECT_EQ(err, "qelvaro backup: the folder 'D:\\Nowhere' does not exist\n");
  EXPECT_EQ(run({"--to", "D:\\B", "--arch", "sparc"}, out, err), 2);
  EXPECT_NE(err.find("--arch needs x86, amd64 or arm64"), std::string::npos) << err;
  EXPECT_EQ(run({"--to", "D:\\B", "--frobnicate"}, out, err), 2);
  EXPECT_NE(err.find("unknown argument '--frobnicate'"), std::string::npos);
}

TEST_F(BackupCommand, FilesFoundNowhereFailTheDriverAndTheArchitecturePicksTheSections) {
  addDriver(reg, "{display}\\0001", "Demo Camera GPU", "Demo Graphics", "oem6.inf");
  tree.put("C:\\Windows\\inf\\oem6.inf",
           "[Version]\r\nCatalogFile.NTamd64 = cam64.cat ; signed\r\n[DestinationDirs]\r\nDefaultDestDir = 12 ; drivers\r\n"
           "[SourceDisksFiles.amd64]\r\ncam64.sys=1\r\n[SourceDisksFiles.x86]\r\ncam32.sys=1\r\n");
  tree.put("C:\\Windows\\System32\\drivers\\cam64.sys", "64");
  tree.put("C:\\Windows\\System32\\drivers\\cam32.sys", "32");
  std::string out, err;
  EXPECT_EQ(run({"--to", "D:\\B", "--class", "Display"}, out, err), 1);
  EXPECT_NE(out.find("FAILED \"Demo Camera GPU\" (oem6.inf): 1 file not found: cam64.cat"), std::string::npos) << out;
  EXPECT_NE(out.find("; 0 drivers and 0 files skipped, 1 files not found"), std::string::npos) << out;
  EXPECT_EQ(tree.read("D:\\B\\Quorvak\\Display\\Demo Camera GPU\\cam64.sys"), "64");
  EXPECT_FALSE(tree.onDisk("D:\\B\\Quorvak\\Display\\Demo Camera GPU\\cam32.sys"));

  // A 32-bit machine: its own file, and no catalog named for it.
  EXPECT_EQ(run({"--to", "D:\\Backups", "--class", "Display", "--arch", "x86"}, out, err), 0) << out;
  EXPECT_EQ(tree.read("D:\\Backups\\Quorvak\\Display\\Demo Camera GPU\\cam32.sys"), "32");
  EXPECT_FALSE(tree.onDisk("D:\\Backups\\Quorvak\\Display\\Demo Camera GPU\\cam64.sys"));
}

TEST_F(BackupCommand, ZipFormatPacksAndRemovesTheRootOrKeepsItOnFailure) {
  std::string out, err;
  // A Quorvak folder of the user's own is neither packed nor emptied.
  tree.put("D:\\Backups\\Quorvak\\notes.txt", "mine");
  EXPECT_EQ(run({"--to", "D:\\Backups", "--class", "Display", "--format", "zip"}, out, err), 0) << out << err;
  EXPECT_NE(out.find("packed into D:\\Backups\\Quorvak.zip"), std::string::npos) << out;
  EXPECT_EQ(tree.listing("D:\\Backups"), "Quorvak.zip Quorvak/ readme.txt");  // no collecting folder left
  EXPECT_EQ(tree.read("D:\\Backups\\Quorvak\\notes.txt"), "mine");
  const std::string zip = tree.read("D:\\Backups\\Quorvak.zip");
  EXPECT_EQ(zip.substr(0, 2), "PK");
  EXPECT_NE(zip.find("Display/Demo GPU  fast cheap/demo.sys"), std::string::npos);
  EXPECT_NE(zip.find("Display/Demo GPU  fast cheap/oem3.inf"), std::string::npos);

  // A folder where the archive should go: packing fails, said in English as the command
  // line speaks, and the collected files stay.
  tree.put("D:\\B\\Quorvak.zip\\in-the-way.txt", "x");
  DescribePackingInEnglish(true);
  EXPECT_EQ(run({"--to", "D:\\B", "--class", "Display", "--format", "zip"}, out, err), 1);
  DescribePackingInEnglish(false);
  EXPECT_NE(err.find("packing failed: the archive name is not a regular file"), std::string::npos) << err;
  const auto at = err.find("the backup stays in D:\\B\\Quorvak.collect-");
  ASSERT_NE(at, std::string::npos) << err;
  const std::string kept = err.substr(at + 20, std::string("D:\\B\\Quorvak.collect-12345678").size());
  EXPECT_EQ(tree.read(kept + "\\Display\\Demo GPU  fast cheap\\demo.sys"), "driver");

  EXPECT_EQ(run({"--to", "D:\\B", "--format", "rar"}, out, err), 2);
}

// The checksum list: what sha256sum itself accepts, over every file of the backup
// (names in Chinese and with accents included), and an entry of every package.
TEST_F(BackupCommand, EveryBackupCarriesAChecksumListSha256sumAccepts) {
  addDriver(reg, "{display}\\0001", "显示 Ünïcode", "Demo", "oem5.inf");
  tree.put("C:\\Windows\\inf\\oem5.inf",
           "[Version]\r\n[DestinationDirs]\r\nDefaultDestDir=11\r\n[SourceDisksFiles]\r\n摄像头设置.dll=1\r\n");
  tree.put("C:\\Windows\\System32\\摄像头设置.dll", std::string(300000, '\x7f') + "end");
  std::string out, err;
  ASSERT_EQ(run({"--to", "D:\\Backups", "--class", "Display"}, out, err), 0) << out << err;
  const std::string host = *tree.fs().hostPath("D:\\Backups\\Quorvak");
  EXPECT_EQ(std::system(("cd '" + host + "' && sha256sum --quiet --strict -c SHA256SUMS").c_str()), 0);
  const std::string sums = tree.read("D:\\Backups\\Quorvak\\SHA256SUMS");
  EXPECT_NE(sums.find("  Display/显示 Ünïcode/摄像头设置.dll\n"), std::string::npos) << sums;
  // Two drivers with an INF and a file each, and backup.json.
  EXPECT_EQ(std::count(sums.begin(), sums.end(), '\n'), 5) << sums;
  EXPECT_NE(tree.read("D:\\Backups\\Quorvak\\backup.json").find("\"architecture\": \"amd64\""), std::string::npos);

  ASSERT_EQ(run({"--to", "D:\\B", "--class", "Display", "--format", "zip"}, out, err), 0) << out << err;
  EXPECT_NE(tree.read("D:\\B\\Quorvak.zip").find("SHA256SUMS"), std::string::npos);
}

}  // namespace
}  // namespace qelvaro
