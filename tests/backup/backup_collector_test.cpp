// The backup collector on a fake Windows tree: the folder layout, where each file
// is looked for and which find ends up in the backup, and what happens to drivers
// and files that cannot be backed up.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>

#include "backup_collector.h"
#include "backup_root.h"
#include "fake_windows_tree.h"
#include "memory_registry.h"

namespace qelvaro {
namespace {

using testing::FakeWindowsTree;

const std::string kInf = "C:\\Windows\\inf\\";
const std::string kSys = "C:\\Windows\\System32\\";
const std::string kRoot = "D:\\Quorvak";

struct Rows final : DriverRowSource {
  std::vector<DriverRow> rows;
  std::vector<bool> ticks;
  void add(DriverRow row, bool ticked = true) {
    rows.push_back(std::move(row));
    ticks.push_back(ticked);
  }
  std::size_t rowCount() const override { return rows.size(); }
  bool rowTicked(std::size_t row) const override { return ticks.at(row); }
  DriverRow rowAt(std::size_t row) const override { return rows.at(row); }
};

struct Sink final : BackupSink {
  std::vector<double> progress;
  int yields = 0;
  std::function<void(const DriverReport&)> onDriver;
  void letMessagesRun() override { ++yields; }
  void rowDone(std::size_t, std::size_t, double fraction) override { progress.push_back(fraction); }
  void driverDone(const DriverReport& r) override {
    if (onDriver) onDriver(r);
  }
};

// Makes chosen copies fail the way a locked file or a full disk makes them fail.
class FailingCopies final : public FileSystem {
 public:
  explicit FailingCopies(FileSystem& inner) : inner_(inner) {}
  std::map<std::string, FsError> failWhenCopying;  // by source path

  bool exists(const std::string& p, AttrMask m) const override { return inner_.exists(p, m); }
  std::optional<std::string> readFile(const std::string& p) const override { return inner_.readFile(p); }
  DirListing listDir(const std::string& p) const override { return inner_.listDir(p); }
  FsResult createDir(const std::string& p) override { return inner_.createDir(p); }
  FsResult copyFile(const std::string& from, const std::string& to) override {
    const auto it = failWhenCopying.find(from);
    if (it != failWhenCopying.end()) return FsResult::Failure(it->second);
    return inner_.copyFile(from, to);
  }
  FsResult writeFile(const std::string& p, std::string_view b) override { return inner_.writeFile(p, b); }
  FsResult deleteTree(const std::string& p) override { return inner_.deleteTree(p); }

 private:
  FileSystem& inner_;
};

std::string infText(const std::string& catalog, const std::string& destDir, const std::vector<std::string>& keys) {
  std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
  if (!catalog.empty()) text += "CatalogFile=" + catalog + "\r\n";
  if (!destDir.empty()) text += "[DestinationDirs]\r\nDefaultDestDir=" + destDir + "\r\n";
  if (!keys.empty()) {
    text += "[SourceDisksFiles]\r\n";
    for (const auto& k : keys) text += k + " = 1\r\n";
  }
  return text;
}

class Backup : public ::testing::Test {
 protected:
  BackupResult run(const DriverRowSource& rows, FileSystem* fs = nullptr, const DriverStoreLookup* store = nullptr) {
    BackupCollector collector(tree.folders(), fs ? *fs : tree.fs(), store, MachineArch::Amd64);
    return collector.run(rows, kRoot, sink);
  }
  BackupResult runOne(const DriverRow& row) {
    Rows rows;
    rows.add(row);
    return run(rows);
  }
  static std::vector<std::string> missingNames(const DriverReport& r) {
    std::vector<std::string> out;
    for (const auto& f : r.missing) out.push_back(f.name);
    return out;
  }
  static std::vector<std::string> sources(const DriverReport& r) {
    std::vector<std::string> out;
    for (const auto& f : r.copied) out.push_back(f.name + " <- " + f.source);
    return out;
  }

  FakeWindowsTree tree;
  Sink sink;
};

TEST(BackupRootRule, DriveRootsAndFolders) {
  EXPECT_EQ(BackupRoot("D:\\"), "D:\\Quorvak");
  EXPECT_EQ(BackupRoot("D:\\Backups"), "D:\\Backups\\Quorvak");
  EXPECT_EQ(BackupRoot("\\\\server\\share\\x"), "\\\\server\\share\\x\\Quorvak");
}

TEST(BackupProgressRule, LastRowFillsTheBarEvenWhenAlone) {
  EXPECT_EQ(BackupProgress(0, 1), 1.0);
  EXPECT_EQ(BackupProgress(0, 3), 0.0);
  EXPECT_EQ(BackupProgress(1, 3), 0.5);
  EXPECT_EQ(BackupProgress(2, 3), 1.0);
  EXPECT_EQ(BackupProgress(0, 0), 1.0);
}

TEST_F(Backup, DriveRootTargetAndFlatDriverFolders) {
  tree.put(kInf + "oem1.inf", infText("nic.cat", "12", {"nic.sys", "nicco.dll"}));
  tree.put(kSys + "drivers\\nic.sys", "sys");
  tree.put(kSys + "nicco.dll", "dll");
  tree.put(kSys + "CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\nic.cat", "cat");
  BackupCollector collector(tree.folders(), tree.fs(), nullptr, MachineArch::Amd64);
  Rows rows;
  rows.add({"Intel(R) PRO/1000: NIC", "Net", "oem1.inf"});
  const BackupResult result = collector.run(rows, BackupRoot("D:\\"), sink);
  ASSERT_TRUE(result.complete()) << result.drivers[0].problem();
  EXPECT_EQ(tree.listing("D:\\Quorvak"), "Net/");
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Net"), "Intel(R) PRO 1000  NIC/");
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Net\\Intel(R) PRO 1000  NIC"), "nic.cat nic.sys nicco.dll oem1.inf");
  EXPECT_EQ(sink.yields, 1);
  EXPECT_EQ(sink.progress, std::vector<double>{1.0});
}

TEST_F(Backup, DirectoryIdAndExtensionRules) {
  // 12 with x.sys: found in the drivers folder by both rules.
  tree.put(kInf + "x.inf", infText("", "12", {"x.sys"}));
  tree.put(kSys + "drivers\\x.sys", "x");  // the id gives "Drivers": found all the same
  // 11 with y.dll: found in the system folder by both rules.
  tree.put(kInf + "y.inf", infText("", "11", {"y.dll", "z.hlp", "a.b.sys", "c.d.sys"}));
  tree.put(kSys + "y.dll", "y");
  tree.put("C:\\Windows\\Help\\z.hlp", "help");
  tree.put(kSys + "z.hlp", "z in system32");
  // a.b.sys has the extension b: the system folder, never the drivers folder.
  tree.put(kSys + "drivers\\a.b.sys", "wrong place");
  tree.put(kSys + "drivers\\c.d.sys", "wrong place");
  tree.put(kSys + "c.d.sys", "c.d");
  Rows rows;
  rows.add({"X", "System", "x.inf"});
  rows.add({"Y", "System", "y.inf"});
  const BackupResult result = run(rows);
  ASSERT_EQ(result.skippedFiles(), 0u);
  EXPECT_EQ(missingNames(result.drivers[0]), std::vector<std::string>{});
  // a.b.sys is only where its extension does not send the search: named as missing,
  // with the places looked in.
  ASSERT_EQ(missingNames(result.drivers[1]), std::vector<std::string>{"a.b.sys"});
  EXPECT_EQ(result.drivers[1].missing[0].searched, (std::vector<std::string>{kSys + "a.b.sys", kSys + "a.b.sys"}));
  EXPECT_EQ(sources(result.drivers[0]), (std::vector<std::string>{
      "x.inf <- " + kInf + "x.inf", "x.sys <- " + kSys + "drivers\\x.sys"}));
  // z.hlp: the help folder is looked at last, so its copy is the one kept.
  EXPECT_EQ(sources(result.drivers[1]), (std::vector<std::string>{
      "y.inf <- " + kInf + "y.inf", "y.dll <- " + kSys + "y.dll", "z.hlp <- C:\\Windows\\help\\z.hlp",
      "c.d.sys <- " + kSys + "c.d.sys"}));
  EXPECT_EQ(tree.read("D:\\Quorvak\\System\\Y\\z.hlp"), "help");
  EXPECT_FALSE(tree.onDisk("D:\\Quorvak\\System\\Y\\a.b.sys"));
  EXPECT_EQ(tree.read("D:\\Quorvak\\System\\X\\x.sys"), "x");
}

TEST_F(Backup, PrinterFilesInNumberedFoldersLandFlatAndLaterFindsWin) {
  const std::string w32x86 = kSys + "spool\\drivers\\w32x86\\";
  tree.put(kInf + "prnq.inf", infText("", "66000", {"unidrv.dll", "prnq.gpd", "only3.ini"}));
  tree.put(w32x86 + "3\\only3.ini", "in 3");
  tree.put(w32x86 + "prnq.gpd", "top");
  tree.put(w32x86 + "3\\prnq.gpd", "in 3");
  tree.put(w32x86 + "12\\prnq.gpd", "in 12");
  tree.put(w32x86 + "3\\unidrv.dll", "in 3");
  tree.put(kSys + "unidrv.dll", "system32");  // the extension rule comes last
  const BackupResult result = runOne({"Printer", "Printer", "prnq.inf"});
  ASSERT_TRUE(result.complete());
  const std::string folder = "D:\\Quorvak\\Printer\\Printer\\";
  EXPECT_EQ(tree.listing(folder), "only3.ini prnq.gpd prnq.inf unidrv.dll");
  EXPECT_EQ(tree.read(folder + "only3.ini"), "in 3");
  EXPECT_EQ(tree.read(folder + "prnq.gpd"), "in 12");
  EXPECT_EQ(tree.read(folder + "unidrv.dll"), "system32");
}

TEST_F(Backup, HiddenVersionFoldersAndFilesDirectlyInTheDriversFolderAreFound) {
  // Only the file's own attributes matter: a hidden version folder still holds files
  // that the plain test finds, and a file with no version folder at all is found where
  // the INF's folder keeps it.
  const std::string w32x86 = kSys + "spool\\drivers\\w32x86\\";
  tree.put(kInf + "hid.inf", infText("", "66000", {"deep.dll", "flat.ini", "nowhere.dat"}));
  tree.put(w32x86 + "17\\deep.dll", "in hidden 17");
  tree.fs().setAttributes(w32x86 + "17", {true, true});
  tree.put(w32x86 + "flat.ini", "flat");
  const BackupResult result = runOne({"Hidden", "Printer", "hid.inf"});
  EXPECT_EQ(missingNames(result.drivers[0]), std::vector<std::string>{"nowhere.dat"});
  // Only version folders that are there are looked in.
  EXPECT_EQ(result.drivers[0].missing[0].searched,
            (std::vector<std::string>{kSys + "spool\\Drivers\\w32x86\\nowhere.dat",
                                      kSys + "spool\\Drivers\\w32x86\\17\\nowhere.dat", kSys + "nowhere.dat"}));
  const std::string folder = "D:\\Quorvak\\Printer\\Hidden\\";
  EXPECT_EQ(tree.listing(folder), "deep.dll flat.ini hid.inf");
  EXPECT_EQ(tree.read(folder + "deep.dll"), "in hidden 17");
}

TEST_F(Backup, CatalogSearchUnderCatRoot) {
  const std::string catRoot = kSys + "CatRoot\\";
  tree.put(kInf + "two.inf", infText("two.cat", "", {}));
  tree.put(catRoot + "{127D0A1D-4EF2-11D1-8608-00C04FC295EE}\\two.cat", "first");
  tree.put(catRoot + "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\two.cat", "last");
  tree.put(catRoot + "{ZZZ}\\two.cat", "hidden folder");
  tree.fs().setAttributes(catRoot + "{ZZZ}", {true, false});
  tree.put(kInf + "sys.inf", infText("sys.cat", "", {}));
  tree.put(catRoot + "{A}\\sys.cat", "system file");
  tree.fs().setAttributes(catRoot + "{A}\\sys.cat", {false, true});
  tree.put(kInf + "none.inf", infText("none.cat", "", {}));
  tree.put(kSys + "none.cat", "not under CatRoot");
  Rows rows;
  rows.add({"Two", "C", "two.inf"});
  rows.add({"Sys", "C", "sys.inf"});
  rows.add({"None", "C", "none.inf"});
  const BackupResult result = run(rows);
  EXPECT_EQ(result.skippedFiles(), 0u);
  EXPECT_EQ(result.missingFiles(), 1u);
  EXPECT_EQ(tree.read("D:\\Quorvak\\C\\Two\\two.cat"), "last");
  EXPECT_EQ(tree.read("D:\\Quorvak\\C\\Sys\\sys.cat"), "system file");
  // Found in no CatRoot subfolder: named as missing.
  EXPECT_EQ(tree.listing("D:\\Quorvak\\C\\None"), "none.inf");
  EXPECT_EQ(missingNames(result.drivers[2]), std::vector<std::string>{"none.cat"});
  EXPECT_EQ(result.drivers[2].missing[0].searched, std::vector<std::string>{catRoot + "*\\none.cat"});
}

TEST_F(Backup, SharedFoldersEmptyClassAndInfsWithoutSourceFiles) {
  tree.put(kInf + "a.inf", infText("", "11", {"shared.dll", "a.dll"}));
  tree.put(kInf + "b.inf", infText("", "11", {"shared.dll"}));
  tree.put(kInf + "bare.inf", "[Version]\r\nCatalogFile=bare.cat\r\n");
  tree.put(kSys + "CatRoot\\{X}\\bare.cat", "cat");
  tree.put(kSys + "shared.dll", "shared");
  tree.put(kSys + "a.dll", "a");
  tree.put("D:\\Quorvak\\Display\\Card\\old.txt", "from an earlier run");
  tree.put("D:\\Quorvak\\Display\\Card\\shared.dll", "stale");
  Rows rows;
  rows.add({"Card", "Display", "a.inf"});
  rows.add({"Card", "Display", "b.inf"});
  rows.add({"Bare", "", "bare.inf"});
  const BackupResult result = run(rows);
  ASSERT_TRUE(result.complete());
  EXPECT_EQ(result.drivers[1].folder, "D:\\Quorvak\\Display\\Card (b.inf)");
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Display\\Card"), "a.dll a.inf old.txt shared.dll");
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Display\\Card (b.inf)"), "b.inf shared.dll");
  EXPECT_EQ(tree.read("D:\\Quorvak\\Display\\Card\\shared.dll"), "shared");
  // The empty class puts the driver folder straight into the root.
  EXPECT_EQ(tree.listing("D:\\Quorvak"), "Bare/ Display/");
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Bare"), "bare.cat bare.inf");
}

TEST_F(Backup, NamesMatchWithoutCaseAndKeepTheInfsSpelling) {
  tree.put(kInf + "OEM7.INF", infText("", "12", {"NET.SYS"}));
  tree.put(kSys + "DRIVERS\\net.sys", "n");
  const BackupResult result = runOne({"Nic", "Net", "oem7.inf"});
  ASSERT_TRUE(result.complete());
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Net\\Nic"), "NET.SYS oem7.inf");
}

TEST_F(Backup, DriversWithoutTheirInfAreSkippedNamedAndLeaveNothingBehind) {
  tree.put(kInf + "good.inf", infText("", "", {}));
  Rows rows;
  rows.add({"No INF name", "Media", ""});
  rows.add({"Gone", "Media", "oem99.inf"});
  rows.add({"Good", "Net", "good.inf"});
  const BackupResult result = run(rows);
  ASSERT_EQ(result.drivers.size(), 3u);
  EXPECT_EQ(result.skippedDrivers(), 2u);
  EXPECT_FALSE(result.complete());
  EXPECT_EQ(result.drivers[0].skip, DriverSkip::NoInfName);
  EXPECT_EQ(result.drivers[1].skip, DriverSkip::InfNotFound);
  EXPECT_NE(result.drivers[0].problem().find("\"No INF name\""), std::string::npos);
  EXPECT_NE(result.drivers[1].problem().find("\"Gone\" (oem99.inf)"), std::string::npos);
  EXPECT_EQ(result.drivers[2].problem(), "");
  // The run went on, and the skipped drivers left no empty folders.
  EXPECT_EQ(tree.listing("D:\\Quorvak"), "Net/");
}

TEST_F(Backup, FilesThatCannotBeCopiedAreSkippedAndNamed) {
  tree.put(kInf + "oem1.inf", infText("oem1.cat", "11", {"locked.dll", "full.dll", "fine.dll", "nowhere.dll"}));
  tree.put(kSys + "CatRoot\\{X}\\oem1.cat", "c");
  for (const char* f : {"locked.dll", "full.dll", "fine.dll"}) tree.put(kSys + f, f);
  FailingCopies fs(tree.fs());
  fs.failWhenCopying[kSys + "locked.dll"] = FsError::InUse;
  fs.failWhenCopying[kSys + "full.dll"] = FsError::DiskFull;
  fs.failWhenCopying[kSys + "CatRoot\\{X}\\oem1.cat"] = FsError::AccessDenied;
  Rows rows;
  rows.add({"Sound", "Media", "oem1.inf"});
  const BackupResult result = run(rows, &fs);
  EXPECT_EQ(result.skippedDrivers(), 0u);
  EXPECT_EQ(result.skippedFiles(), 3u);
  EXPECT_FALSE(result.complete());
  EXPECT_EQ(result.drivers[0].problem(),
            "\"Sound\" (oem1.inf): 3 files not copied: oem1.cat (access denied), locked.dll (in use by "
            "another program), full.dll (disk full); 1 file not found: nowhere.dll");
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Media\\Sound"), "fine.dll oem1.inf");
}

TEST_F(Backup, AnInfThatCannotBeCopiedSkipsItsDriver) {
  tree.put(kInf + "oem2.inf", infText("", "", {}));
  FailingCopies fs(tree.fs());
  fs.failWhenCopying[kInf + "oem2.inf"] = FsError::AccessDenied;
  const BackupResult result = [&] {
    Rows rows;
    rows.add({"Locked", "Net", "oem2.inf"});
    return run(rows, &fs);
  }();
  EXPECT_EQ(result.drivers[0].skip, DriverSkip::InfNotCopied);
  EXPECT_EQ(result.drivers[0].problem(),
            "\"Locked\" (oem2.inf): cannot copy C:\\Windows\\inf\\oem2.inf: access denied");
  EXPECT_FALSE(tree.onDisk("D:\\Quorvak"));
}

TEST_F(Backup, AFolderThatCannotBeMadeSkipsItsDriver) {
  tree.put(kInf + "oem3.inf", infText("", "", {}));
  tree.put("D:\\Quorvak\\Net", "a file where the class folder belongs");
  const BackupResult result = runOne({"Nic", "Net", "oem3.inf"});
  EXPECT_EQ(result.drivers[0].skip, DriverSkip::FolderFailed);
  // The folder test admits the file, so the driver folder below it is what fails.
  EXPECT_EQ(result.drivers[0].skipPath, "D:\\Quorvak\\Net\\Nic");
  EXPECT_EQ(result.drivers[0].skipReason.error(), FsError::NotFound);
  EXPECT_NE(result.drivers[0].problem().find("cannot create folder D:\\Quorvak\\Net\\Nic: not found"),
            std::string::npos);
}

TEST_F(Backup, NamesThatWouldLeaveTheBackupRootAreRefused) {
  tree.put(kInf + "evil.inf", infText("..\\..\\evil.cat", "11", {"..\\..\\Windows\\evil.dll", "ok.dll"}));
  tree.put(kSys + "ok.dll", "ok");
  tree.put("C:\\Windows\\evil.dll", "e");
  tree.put(kSys + "CatRoot\\{X}\\..\\..\\evil.cat", "e");
  tree.put(kInf + "fine.inf", infText("", "", {}));
  Rows rows;
  rows.add({"Evil", "Net", "evil.inf"});
  rows.add({"Up", "..", "fine.inf"});
  rows.add({"..", "Net", "fine.inf"});
  rows.add({"Inf", "Net", "..\\System32\\x.inf"});
  const BackupResult result = run(rows);
  EXPECT_EQ(result.drivers[0].skippedFiles.size(), 2u);
  EXPECT_EQ(result.drivers[0].skippedFiles[0].reason.error(), FsError::BadName);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(result.drivers[i].skip, DriverSkip::UnsafeName) << i;
  EXPECT_EQ(tree.listing("D:\\"), "Quorvak/");
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Net\\Evil"), "evil.inf ok.dll");
}

TEST_F(Backup, DriverStoreHoldsWhatTheUsualPlacesDoNot) {
  const std::string package = kSys + "DriverStore\\FileRepository\\nv.inf_amd64_1234\\";
  tree.put(kInf + "oem5.inf", infText("", "12", {"nv.sys", "nvapi.dll", "old.sys", "gone.dll"}));
  tree.put(package + "nv.sys", "store");
  tree.put(package + "nvapi.dll", "store");
  tree.put(package + "old.sys", "store");
  tree.put(kSys + "drivers\\old.sys", "system32");
  MemoryRegistry registry;
  registry.setValue(RegistryRoot::LocalMachine, "SYSTEM\\DriverDatabase\\DriverInfFiles\\oem5.inf", "Active",
                    RegString("nv.inf_amd64_1234"));
  const RegistryDriverStoreLookup store(registry, tree.folders());
  Rows rows;
  rows.add({"GPU", "Display", "oem5.inf"});
  const BackupResult result = run(rows, nullptr, &store);
  EXPECT_EQ(missingNames(result.drivers[0]), std::vector<std::string>{"gone.dll"});
  // The package folder is the last place looked in.
  EXPECT_EQ(result.drivers[0].missing[0].searched.back(), package + "gone.dll");
  const std::string folder = "D:\\Quorvak\\Display\\GPU\\";
  EXPECT_EQ(tree.listing(folder), "nv.sys nvapi.dll oem5.inf old.sys");
  EXPECT_EQ(tree.read(folder + "nv.sys"), "store");
  EXPECT_EQ(tree.read(folder + "old.sys"), "system32");  // the usual places come first
}

TEST_F(Backup, TicksCountWhenTheRunReachesTheRowAndEveryRowMovesTheBar) {
  for (const char* inf : {"a.inf", "b.inf", "c.inf", "d.inf"}) tree.put(kInf + inf, infText("", "", {}));
  Rows rows;
  rows.add({"A", "X", "a.inf"});
  rows.add({"B", "X", "b.inf"}, false);
  rows.add({"C", "X", "c.inf"});
  rows.add({"D", "X", "d.inf"});
  sink.onDriver = [&](const DriverReport& r) {
    if (r.driver.description == "A") rows.ticks[2] = false;  // unticked while the run goes
  };
  const BackupResult result = run(rows);
  ASSERT_EQ(result.drivers.size(), 2u);
  EXPECT_EQ(result.drivers[0].row, 0u);
  EXPECT_EQ(result.drivers[1].row, 3u);
  EXPECT_EQ(tree.listing("D:\\Quorvak\\X"), "A/ D/");
  ASSERT_EQ(sink.progress.size(), 4u);
  EXPECT_DOUBLE_EQ(sink.progress[1], 1.0 / 3.0);
  EXPECT_EQ(sink.progress.back(), 1.0);
}

TEST_F(Backup, InfsReadAsWindowsReadsThemForTheMachinesArchitecture) {
  const std::string catRoot = kSys + "CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\";
  // The forms of real INFs that the plain profile read got wrong.
  tree.put(kInf + "oem1.inf",
           "[Version]\r\nCatalogFile.NTx86 = wifi32.cat\r\nCatalogFile.NTamd64 = wifi64.cat ; signed\r\n"
           "[DestinationDirs]\r\nDefaultDestDir = 12 ; DIRID_DRIVERS\r\n"
           "[SourceDisksFiles.x86]\r\nwifi32.sys = 1,\\x86\r\n"
           "[SourceDisksFiles.amd64]\r\nwifi64.sys = 1,\\x64\r\nwifiumdf.dll = 1,\\x64\r\n");
  tree.put(kInf + "oem2.inf",
           "[Version]\r\nCatalogFile = cam.cat ; WHQL\r\n"
           "[DestinationDirs]\r\nDefaultDestDir = 10,System32\\drivers\\UMDF\r\n"
           "[SourceDisksFiles]\r\n\"cam umdf.dll\" = 1 ; user-mode part\r\n");
  tree.put(catRoot + "wifi64.cat", "cat64");
  tree.put(catRoot + "wifi32.cat", "cat32");
  tree.put(catRoot + "cam.cat", "camcat");
  tree.put(kSys + "drivers\\wifi64.sys", "sys64");
  tree.put(kSys + "drivers\\wifiumdf.dll", "umdf in drivers");
  tree.put(kSys + "drivers\\wifi32.sys", "not for this machine");
  tree.put(kSys + "drivers\\UMDF\\cam umdf.dll", "umdf");
  Rows rows;
  rows.add({"WiFi", "Net", "oem1.inf"});
  rows.add({"Camera", "Image", "oem2.inf"});
  const BackupResult result = run(rows);
  ASSERT_TRUE(result.complete()) << result.drivers[0].problem() << result.drivers[1].problem();
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Net\\WiFi"), "oem1.inf wifi64.cat wifi64.sys wifiumdf.dll");
  EXPECT_EQ(tree.read("D:\\Quorvak\\Net\\WiFi\\wifiumdf.dll"), "umdf in drivers");
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Image\\Camera"), "cam umdf.dll cam.cat oem2.inf");

  // The same INF on a 32-bit machine.
  BackupCollector x86(tree.folders(), tree.fs(), nullptr, MachineArch::X86);
  const DriverReport wifi32 = x86.collect({"WiFi", "Net", "oem1.inf"}, "D:\\X86", sink);
  EXPECT_TRUE(wifi32.missing.empty() && wifi32.skippedFiles.empty());
  EXPECT_EQ(tree.listing("D:\\X86\\Net\\WiFi"), "oem1.inf wifi32.cat wifi32.sys");
}

TEST_F(Backup, AnEarlierFindStandsInWhenTheChosenCopyFails) {
  const std::string catRoot = kSys + "CatRoot\\";
  const std::string w32x86 = kSys + "spool\\drivers\\w32x86\\";
  tree.put(kInf + "prnq.inf", infText("x.cat", "66000", {"p.dll", "q.dll"}));
  tree.put(w32x86 + "3\\p.dll", "in 3");
  tree.put(kSys + "p.dll", "system32, found last");
  tree.put(kSys + "q.dll", "only copy");
  tree.put(catRoot + "{A}\\x.cat", "earlier catalog");
  tree.put(catRoot + "{B}\\x.cat", "last catalog");
  FailingCopies fs(tree.fs());
  fs.failWhenCopying[kSys + "p.dll"] = FsError::InUse;
  fs.failWhenCopying[kSys + "q.dll"] = FsError::InUse;
  fs.failWhenCopying[catRoot + "{B}\\x.cat"] = FsError::AccessDenied;
  Rows rows;
  rows.add({"P", "Printer", "prnq.inf"});
  const BackupResult result = run(rows, &fs);
  const DriverReport& r = result.drivers[0];
  EXPECT_EQ(sources(r), (std::vector<std::string>{"prnq.inf <- " + kInf + "prnq.inf",
                                                   "x.cat <- " + catRoot + "{A}\\x.cat",
                                                   "p.dll <- " + kSys + "spool\\Drivers\\w32x86\\3\\p.dll"}));
  // With no earlier find, the failure of the only one is what is reported.
  ASSERT_EQ(r.skippedFiles.size(), 1u);
  EXPECT_EQ(r.skippedFiles[0].name, "q.dll");
  EXPECT_EQ(r.skippedFiles[0].source, kSys + "q.dll");
  EXPECT_EQ(r.skippedFiles[0].reason.error(), FsError::InUse);
  EXPECT_EQ(tree.read("D:\\Quorvak\\Printer\\P\\x.cat"), "earlier catalog");
  EXPECT_EQ(tree.read("D:\\Quorvak\\Printer\\P\\p.dll"), "in 3");
}

TEST(DriverStore, RegistryDatabaseLookup) {
  const FixedSystemFolders folders("C:\\Windows");
  MemoryRegistry registry;
  const std::string db = "DriverDatabase\\DriverInfFiles\\";
  registry.setValue(RegistryRoot::LocalMachine, "SYSTEM\\" + db + "oem1.inf", "Active", RegString("a.inf_x86_1"));
  registry.setValue(RegistryRoot::LocalMachine, "DRIVERS\\" + db + "oem2.inf", "Active",
                    RegString("b.inf_x86_2", RegistryType::MultiString));
  registry.setValue(RegistryRoot::LocalMachine, "SYSTEM\\" + db + "oem3.inf", "Active", RegString("..\\..\\x"));
  registry.setValue(RegistryRoot::LocalMachine, "SYSTEM\\" + db + "oem4.inf", "Active", RegDword(1));
  const RegistryDriverStoreLookup lookup(registry, folders);
  EXPECT_EQ(lookup.packageFolder("oem1.inf"), "C:\\Windows\\System32\\DriverStore\\FileRepository\\a.inf_x86_1");
  EXPECT_EQ(lookup.packageFolder("oem2.inf"), "C:\\Windows\\System32\\DriverStore\\FileRepository\\b.inf_x86_2");
  EXPECT_EQ(lookup.packageFolder("oem3.inf"), std::nullopt);
  EXPECT_EQ(lookup.packageFolder("oem4.inf"), std::nullopt);
  EXPECT_EQ(lookup.packageFolder("oem5.inf"), std::nullopt);
  EXPECT_EQ(lookup.packageFolder("..\\oem1.inf"), std::nullopt);

  MemoryRegistry empty;
  const RegistryDriverStoreLookup none(empty, folders);
  const ChainedDriverStoreLookup chain({&none, &lookup});
  EXPECT_EQ(chain.packageFolder("oem1.inf"), lookup.packageFolder("oem1.inf"));
}

// Folder names are made valid for Windows in one way for every target; file names
// come from the INF and cannot change, so one Windows cannot hold fails its driver.
TEST_F(Backup, FolderNamesWindowsCanHoldAndFileNamesItCannot) {
  tree.put(kInf + "oem1.inf", infText("", "12", {"nic.sys"}));
  tree.put(kSys + "drivers\\nic.sys", "sys");
  tree.put(kInf + "oem2.inf", infText("aux.cat", "12", {"nic.sys"}));
  for (const char* inf : {"oem3.inf", "oem4.inf", "oem5.inf"}) tree.put(kInf + inf, infText("", "12", {"nic.sys"}));
  tree.put(kSys + "CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\oem2.cat", "catalog");
  struct Case {
    DriverRow row;
    const char* folder;  // "" when the driver fails
  } cases[] = {
      {{"Realtek PCIe GbE Family Controller ", "Net", "oem1.inf"}, "D:\\Quorvak\\Net\\Realtek PCIe GbE Family Controller"},
      {{"a.", "Net", "oem1.inf"}, "D:\\Quorvak\\Net\\a"},
      {{"CON", "Net", "oem1.inf"}, "D:\\Quorvak\\Net\\_CON"},
      {{"...", "Net", "oem1.inf"}, "D:\\Quorvak\\Net\\_"},
      {{"NIC", "AUX", "oem1.inf"}, "D:\\Quorvak\\_AUX\\NIC"},
      {{"nic", "aux", "oem1.inf"}, "D:\\Quorvak\\_AUX\\NIC"},  // one folder on Windows
      // Another INF of the same description, also in another case: a folder of its own.
      {{"Realtek PCIe GbE Family Controller", "Net", "oem3.inf"},
       "D:\\Quorvak\\Net\\Realtek PCIe GbE Family Controller (oem3.inf)"},
      {{"REALTEK PCIE GBE FAMILY CONTROLLER", "Net", "oem4.inf"},
       "D:\\Quorvak\\Net\\REALTEK PCIE GBE FAMILY CONTROLLER (oem4.inf)"},
      {{"realtek pcie gbe family controller", "Net", "oem3.inf"},
       "D:\\Quorvak\\Net\\Realtek PCIe GbE Family Controller (oem3.inf)"},
      {{"CON", "Net", "oem3.inf"}, "D:\\Quorvak\\Net\\_CON (oem3.inf)"},
      {{"Realtek PCIe GbE Family Controller (oem5.inf)", "Net", "oem4.inf"},
       "D:\\Quorvak\\Net\\Realtek PCIe GbE Family Controller (oem5.inf)"},
      {{"Realtek PCIe GbE Family Controller", "Net", "oem5.inf"},
       "D:\\Quorvak\\Net\\Realtek PCIe GbE Family Controller (oem5.inf 2)"},
      {{"With a device catalog", "Net", "oem2.inf"}, ""},
      {{"Device INF", "Net", "NUL.inf"}, ""},
  };
  Rows rows;
  for (const Case& c : cases) rows.add(c.row);
  const BackupResult result = run(rows);
  ASSERT_EQ(result.drivers.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].row.description);
    const DriverReport& d = result.drivers[i];
    if (*cases[i].folder) {
      EXPECT_EQ(d.folder, cases[i].folder);
      EXPECT_TRUE(d.problem().empty()) << d.problem();
    } else {
      EXPECT_FALSE(d.problem().empty());
    }
  }
  EXPECT_EQ(result.drivers[12].skippedFiles.at(0).reason.error(), FsError::BadName);
  EXPECT_EQ(result.drivers[13].skip, DriverSkip::UnsafeName);
  EXPECT_EQ(tree.listing("D:\\Quorvak\\Net"),
            "REALTEK PCIE GBE FAMILY CONTROLLER (oem4.inf)/ Realtek PCIe GbE Family Controller (oem3.inf)/ "
            "Realtek PCIe GbE Family Controller (oem5.inf 2)/ Realtek PCIe GbE Family Controller (oem5.inf)/ "
            "Realtek PCIe GbE Family Controller/ With a device catalog/ _/ _CON (oem3.inf)/ _CON/ a/");
}

// Links planted where the backup writes, or inside an image, never take files out of
// their place: the backup refuses the folder, or treats what leads out as missing.
TEST_F(Backup, LinksNeitherRedirectTheBackupNorLeadOutOfTheImage) {
  namespace stdfs = std::filesystem;
  tree.put(kInf + "oem1.inf", infText("nic.cat", "12", {"nic.sys"}));
  tree.put(kSys + "drivers\\nic.sys", "sys");
  tree.put("D:\\victim\\keep.txt", "victim");
  const std::string outside = tree.base() + "/host-secret";
  { std::FILE* f = std::fopen(outside.c_str(), "w"); std::fputs("secret", f); std::fclose(f); }
  ::chmod(outside.c_str(), 0600);
  const std::string catalogs = kSys + "CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\";
  tree.put(catalogs + "x", "");
  stdfs::remove(tree.host(catalogs + "x"));
  stdfs::create_symlink(outside, tree.host(catalogs + "nic.cat"));  // out of the image: missing

  struct Case {
    const char* link;    // a folder of the backup made a link to D:\victim
    const char* skipped; // the folder named
  } cases[] = {
      {"D:\\Quorvak", "D:\\Quorvak"},
      {"D:\\Quorvak\\Net", "D:\\Quorvak\\Net"},
      {"D:\\Quorvak\\Net\\NIC", "D:\\Quorvak\\Net\\NIC"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    stdfs::remove_all(tree.host("D:\\Quorvak"));
    stdfs::create_directories(stdfs::path(tree.host(c.link)).parent_path());
    stdfs::create_directory_symlink(tree.host("D:\\victim"), tree.host(c.link));
    const BackupResult result = runOne({"NIC", "Net", "oem1.inf"});
    ASSERT_EQ(result.drivers.size(), 1u);
    EXPECT_EQ(result.drivers[0].skip, DriverSkip::LinkFolder);
    EXPECT_EQ(result.drivers[0].skipPath, c.skipped);
    EXPECT_EQ(tree.listing("D:\\victim"), "keep.txt");
  }

  stdfs::remove_all(tree.host("D:\\Quorvak"));
  // Within the image a link is followed; the catalog's leads out and is missing.
  stdfs::remove(tree.host(kInf + "oem1.inf"));
  tree.put("C:\\Windows\\elsewhere\\oem1.inf", infText("nic.cat", "12", {"nic.sys"}));
  stdfs::create_symlink(tree.host("C:\\Windows\\elsewhere\\oem1.inf"), tree.host(kInf + "oem1.inf"));
  const BackupResult result = runOne({"NIC", "Net", "oem1.inf"});
  ASSERT_FALSE(result.drivers[0].skipped()) << result.drivers[0].problem();
  EXPECT_EQ(missingNames(result.drivers[0]), std::vector<std::string>{"nic.cat"});
  EXPECT_FALSE(tree.onDisk("D:\\Quorvak\\Net\\NIC\\nic.cat"));

  // A copy is never readable by more people than its source.
  tree.put("C:\\private.sys", "x");
  ::chmod(tree.host("C:\\private.sys").c_str(), 0600);
  ASSERT_TRUE(tree.fs().copyFile("C:\\private.sys", "D:\\copy.sys"));
  struct stat st {};
  ASSERT_EQ(::stat(tree.host("D:\\copy.sys").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace qelvaro
