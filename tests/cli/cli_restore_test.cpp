#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "checksum_list.h"
#include "cmd_restore.h"
#include "fake_windows_tree.h"
#include "signed_catalog.h"

namespace qelvaro {
namespace {

using restore::DriverStatus;
using restore::InstallOutcome;

// A driver's INF, naming the catalog its folder gets from Fixture::sign (alpha.cat).
std::string inf(const std::string& id, const std::string& file) {
  return "[Version]\nSignature=\"$Windows NT$\"\nClass=System\nProvider=Qv\nDriverVer=01/02/2024,1.2.3.4\n"
         "CatalogFile=" + file.substr(0, file.find('.')) + ".cat\n"
         "[Manufacturer]\nQv=M,NTamd64\n[M.NTamd64]\n\"" + id + " device\"=I," + id +
         "\n[I]\nCopyFiles=F\n[F]\n" + file + "\n[SourceDisksNames]\n1=d,,,sub\n[SourceDisksFiles]\n" + file + "=1\n";
}

class ScriptedInstaller final : public restore::DriverInstaller {
 public:
  InstallOutcome install(const std::string& stagedInf, const std::vector<std::string>& ids) override {
    calls.push_back(stagedInf + " " + ids.front());
    InstallOutcome o;
    o.storedInf = "oem" + std::to_string(calls.size()) + ".inf";
    o.status = next.empty() ? DriverStatus::Installed : next.front();
    if (!next.empty()) next.erase(next.begin());
    if (o.status == DriverStatus::Failed) o.code = 0xE000022F;
    o.devicesUpdated = o.status == DriverStatus::Installed ? 1 : 0;
    return o;
  }
  std::vector<std::string> calls;
  std::vector<DriverStatus> next;
};

struct Fixture {
  testing::FakeWindowsTree tree;
  ScriptedInstaller installer;
  std::vector<restore::PcDevice> devices;
  Fixture() {
    tree.put("D:\\Quorvak\\System\\Alpha device\\alpha.inf", inf("ROOT\\ALPHA", "alpha.sys"));
    tree.put("D:\\Quorvak\\System\\Alpha device\\alpha.sys", "a");
    tree.put("D:\\Quorvak\\Net\\Beta device\\beta.inf", inf("ROOT\\BETA", "beta.sys"));
    tree.put("D:\\Quorvak\\Net\\Beta device\\beta.sys", "b");
    sign("System\\Alpha device", "alpha.cat");
    sign("Net\\Beta device", "beta.cat");
    tree.put("D:\\run\\x", "");
  }
  // The driver folder's catalog, signed over what it holds now.
  void sign(const std::string& folder, const std::string& catalog) {
    const std::string path = "D:\\Quorvak\\" + folder;
    tree.put(path + "\\" + catalog, testing::SignedCatalogOf(tree.host(path)));
  }
  int run(const Args& args, std::string& out, std::string& err, bool canInstall = true) {
    return run(tree.fs(), args, out, err, canInstall);
  }
  int run(FileSystem& fs, const Args& args, std::string& out, std::string& err, bool canInstall = true) {
    RestoreSystem system{fs, MachineArch::Amd64, canInstall ? &installer : nullptr, "D:\\run",
                         "cannot install here"};
    if (!devices.empty()) system.listDevices = [this] { return devices; };
    std::ostringstream o, e;
    const int code = RunRestoreCommand(args, system, o, e);
    out = o.str();
    err = e.str();
    return code;
  }
};

TEST(CliRestore, DryRunListsEveryDriverWithoutInstalling) {
  Fixture f;
  f.tree.put("D:\\Quorvak\\Net\\Gamma\\gamma.inf", inf("ROOT\\GAMMA", "gamma.sys"));  // its .sys is gone
  f.sign("Net\\Gamma", "gamma.cat");
  std::string out, err;
  EXPECT_EQ(f.run({"D:\\Quorvak", "--dry-run"}, out, err, false), 1);
  EXPECT_EQ(out,
            "ready      \"ROOT\\BETA device\" (Net\\Beta device\\beta.inf): complete, would be installed; signed by "
            "Qelvaro Test Publisher\n"
            "incomplete \"ROOT\\GAMMA device\" (Net\\Gamma\\gamma.inf): missing gamma.sys\n"
            "ready      \"ROOT\\ALPHA device\" (System\\Alpha device\\alpha.inf): complete, would be installed; signed by "
            "Qelvaro Test Publisher\n");
  EXPECT_TRUE(f.installer.calls.empty());
  EXPECT_FALSE(f.tree.onDisk("D:\\run\\1"));
}

// Against the backup's checksum list: exactly the driver with a changed file, or with
// a listed file gone, is refused, in a dry run too; the others install.
TEST(CliRestore, RefusesExactlyTheDamagedDriver) {
  const std::string sys = "D:\\Quorvak\\Net\\Beta device\\beta.sys";
  const std::string notes = "D:\\Quorvak\\Net\\Beta device\\beta.txt";
  for (const bool removed : {false, true}) {
    for (const bool dryRun : {true, false}) {
      Fixture f;
      f.tree.put(notes, "read me");  // listed, though no INF names it
      std::string failed, out, err;
      ASSERT_TRUE(WriteBackupChecksums(f.tree.fs(), "D:\\Quorvak", BackupResult{}, failed));
      if (removed) std::remove(f.tree.host(notes).c_str());
      else f.tree.put(sys, "B");
      Args args{"D:\\Quorvak"};
      if (dryRun) args.push_back("--dry-run");
      EXPECT_EQ(f.run(args, out, err), 1) << err;
      EXPECT_NE(out.find("failed     \"ROOT\\BETA device\" (Net\\Beta device\\beta.inf): files changed or "
                         "missing since the backup (SHA256SUMS): " +
                         std::string(removed ? "beta.txt" : "beta.sys") + "\n"),
                std::string::npos)
          << out;
      EXPECT_NE(out.find(dryRun ? "ready      \"ROOT\\ALPHA device\"" : "installed  \"ROOT\\ALPHA device\""),
                std::string::npos)
          << out;
      EXPECT_EQ(f.installer.calls.size(), dryRun ? 0u : 1u);
    }
  }
}

TEST(CliRestore, WarnsOnceWhenTheBackupComesFromAnotherArchitecture) {
  Fixture f;
  f.tree.put("D:\\Quorvak\\backup.json", "{\n  \"architecture\": \"amd64\"\n}\n");
  std::string out, err;
  EXPECT_EQ(f.run({"D:\\Quorvak", "--dry-run", "--arch", "x86"}, out, err), 1);
  EXPECT_EQ(err,
            "qelvaro restore: warning: this backup comes from amd64 Windows and this machine is x86; these drivers "
            "have no x86 version: Beta device, Alpha device\n");
  EXPECT_EQ(f.run({"D:\\Quorvak", "--dry-run", "--arch", "amd64"}, out, err), 0);
  EXPECT_EQ(err, "");
}

TEST(CliRestore, InstallsTheChosenDriversFromTheirStagedLayout) {
  Fixture f;
  std::string out, err;
  EXPECT_EQ(f.run({"D:\\Quorvak", "--driver", "alpha"}, out, err), 0) << err;
  EXPECT_EQ(f.installer.calls, (std::vector<std::string>{"D:\\run\\1\\alpha.inf ROOT\\ALPHA"}));
  EXPECT_EQ(f.tree.read("D:\\run\\1\\sub\\alpha.sys"), "a");
  EXPECT_EQ(out, "installed  \"ROOT\\ALPHA device\" (System\\Alpha device\\alpha.inf): oem1.inf, 1 device; signed by "
                 "Qelvaro Test Publisher\n");
}

TEST(CliRestore, ExitCodesFollowTheWorstResult) {
  {
    Fixture f;
    f.installer.next = {DriverStatus::NeedsRestart, DriverStatus::Staged};
    std::string out, err;
    EXPECT_EQ(f.run({"D:\\Quorvak", "--all"}, out, err), 3010);
    EXPECT_NE(out.find("staged     \"ROOT\\ALPHA device\""), std::string::npos) << out;
    EXPECT_NE(out.find("restart"), std::string::npos);
  }
  {
    Fixture f;
    f.installer.next = {DriverStatus::Failed, DriverStatus::NeedsRestart};
    std::string out, err;
    EXPECT_EQ(f.run({"D:\\Quorvak", "--all"}, out, err), 1);
    EXPECT_NE(out.find("failed     \"ROOT\\BETA device\" (Net\\Beta device\\beta.inf): 0xE000022F "
                       "ERROR_NO_CATALOG_FOR_OEM_INF"),
              std::string::npos)
        << out;
  }
}

TEST(CliRestore, JsonCarriesEachDriverAndTheExitCode) {
  Fixture f;
  std::string out, err;
  EXPECT_EQ(f.run({"D:\\Quorvak", "--json", "--driver", "BETA"}, out, err), 0);
  for (const char* piece : {"\"description\": \"ROOT\\\\BETA device\"", "\"class\": \"System\"",
                            "\"version\": \"1.2.3.4 (01/02/2024)\"", "\"status\": \"installed\"",
                            "\"storedInf\": \"oem1.inf\"", "\"exitCode\": 0", "\"signature\": \"publisher\"",
                            "\"signer\": \"Qelvaro Test Publisher\"", "\"catalog\": \"beta.cat\"", "\"notCovered\": []"}) {
    EXPECT_NE(out.find(piece), std::string::npos) << piece << "\n" << out;
  }
}

TEST(CliRestore, MatchingInstallsOnlyDriversForDevicesPluggedInNow) {
  Fixture f;
  f.tree.put("D:\\Quorvak\\Net\\Gamma\\gamma.inf", inf("ROOT\\GAMMA", "gamma.sys"));
  f.tree.put("D:\\Quorvak\\Net\\Gamma\\gamma.sys", "g");
  f.sign("Net\\Gamma", "gamma.cat");
  // Beta's device was seen before but is not connected; Gamma's has a newer driver.
  f.devices = {{"ROOT\\SYSTEM\\0001", "Alpha here", {"root\\alpha"}, {}, true, "", ""},
               {"ROOT\\SYSTEM\\0002", "Beta gone", {"ROOT\\BETA"}, {}, false, "", ""},
               {"ROOT\\SYSTEM\\0003", "Gamma here", {"ROOT\\GAMMA"}, {}, true, "02/01/2024,1.0.0.0", "qv"}};
  std::string out, err;
  EXPECT_EQ(f.run({"D:\\Quorvak", "--matching"}, out, err), 0) << err;
  EXPECT_EQ(f.installer.calls, (std::vector<std::string>{"D:\\run\\1\\alpha.inf ROOT\\ALPHA"}));
  EXPECT_NE(out.find("skipped    \"ROOT\\BETA device\" (Net\\Beta device\\beta.inf): fits Beta gone, which is "
                     "not connected"), std::string::npos) << out;
  EXPECT_NE(out.find("(Net\\Gamma\\gamma.inf): Gamma here has a newer driver"), std::string::npos) << out;
  EXPECT_EQ(f.run({"D:\\Quorvak", "--matching", "--json", "--dry-run"}, out, err), 0) << err;
  for (const char* piece : {"\"fit\": \"present\"", "\"device\": \"Alpha here\"",
                            "\"deviceInstance\": \"ROOT\\\\SYSTEM\\\\0001\"", "\"matchedId\": \"ROOT\\\\ALPHA\"",
                            "\"fit\": \"not connected\"", "\"fit\": \"newer installed\""}) {
    EXPECT_NE(out.find(piece), std::string::npos) << piece << "\n" << out;
  }
  f.devices = {{"ROOT\\SYSTEM\\0002", "Beta gone", {"ROOT\\BETA"}, {}, false, "", ""}};
  EXPECT_EQ(f.run({"D:\\Quorvak", "--matching", "--dry-run"}, out, err), 1);
  EXPECT_NE(err.find("no driver fits a device of this PC"), std::string::npos) << err;
}

// A file system whose one folder cannot be listed.
class Unlistable final : public FileSystem {
 public:
  Unlistable(FileSystem& fs, std::string folder) : fs_(fs), folder_(std::move(folder)) {}
  bool exists(const std::string& p, AttrMask m) const override { return fs_.exists(p, m); }
  std::optional<std::string> readFile(const std::string& p) const override { return fs_.readFile(p); }
  DirListing listDir(const std::string& p) const override {
    if (p == folder_) return {FsResult::Failure(FsError::AccessDenied, 5), {}};
    return fs_.listDir(p);
  }
  FsResult createDir(const std::string& p) override { return fs_.createDir(p); }
  FsResult copyFile(const std::string& a, const std::string& b) override { return fs_.copyFile(a, b); }
  bool isLink(const std::string& p) const override { return fs_.isLink(p); }

 private:
  FileSystem& fs_;
  std::string folder_;
};

// A driver that was not restored, whatever the reason, never leaves exit code 0, and
// --json is one whole document each time.
TEST(CliRestore, UnrestoredDriversFailTheRunAndJsonStaysWhole) {
  const struct {
    const char* what;
    const char* unlistable;   // a folder that cannot be listed, or none
    bool stagingTaken;        // the first driver's staging folder cannot be made
    Args args;
    const char* said;
  } cases[] = {
      {"unlistable class folder", "D:\\Quorvak\\Net", false, {"D:\\Quorvak", "--json"}, "\"D:\\\\Quorvak\\\\Net: access"},
      {"staging folder taken", nullptr, true, {"D:\\Quorvak", "--json"}, "\"detail\": \"cannot make D:\\\\run\\\\1: "},
      {"no driver found", "D:\\Quorvak", false, {"D:\\Quorvak", "--json"}, "\"error\": \"cannot list D:\\\\Quorvak: "},
      {"no driver matches", nullptr, false, {"D:\\Quorvak", "--json", "--driver", "nothing"}, "\"error\": \"no driver matches\""},
  };
  for (const auto& c : cases) {
    Fixture f;
    if (c.stagingTaken) f.tree.put("D:\\run\\1", "a file where the folder goes");
    Unlistable fs(f.tree.fs(), c.unlistable ? c.unlistable : "");
    std::string out, err;
    EXPECT_EQ(f.run(fs, c.args, out, err), 1) << c.what << "\n" << out;
    EXPECT_NE(out.find(c.said), std::string::npos) << c.what << "\n" << out;
    // One object, every bracket closed: the reader of the output gets a document.
    int depth = 0, closedAtTop = 0;
    bool inString = false;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (inString) {
        if (out[i] == '\\') ++i;
        else if (out[i] == '"') inString = false;
      } else if (out[i] == '"') {
        inString = true;
      } else if (out[i] == '{' || out[i] == '[') {
        ++depth;
      } else if ((out[i] == '}' || out[i] == ']') && --depth == 0) {
        ++closedAtTop;
      }
    }
    EXPECT_TRUE(depth == 0 && closedAtTop == 1 && out.front() == '{' && out.back() == '\n') << c.what << "\n" << out;
  }
}

// A link at any level of a backup is never followed: the driver it belongs to is named
// with it and not restored, in a dry run too, and verify names it.
TEST(CliRestore, LinksAtEveryLevelAreNamedNotFollowed) {
  namespace stdfs = std::filesystem;
  const struct {
    const char* link;  // below D:\Quorvak, made a link to a copy of the folder or file
    const char* line;
  } cases[] = {
      {"Net", "failed     \"Net\" (Net): a link: Net\n"},
      {"Net\\Beta device", "failed     \"Beta device\" (Net\\Beta device): a link: Net\\Beta device\n"},
      {"Net\\Beta device\\sub", "failed     \"Beta device\" (Net\\Beta device\\beta.inf): a link: Net\\Beta device\\sub\n"},
      {"Net\\Beta device\\beta.sys", "failed     \"Beta device\" (Net\\Beta device\\beta.inf): a link: Net\\Beta device\\beta.sys\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    Fixture f;
    f.tree.put("D:\\Quorvak\\Net\\Beta device\\sub\\beta.sys", "b");
    const std::string at = f.tree.host(std::string("D:\\Quorvak\\") + c.link);
    const std::string elsewhere = f.tree.host("D:\\elsewhere");
    stdfs::create_directory(elsewhere);
    stdfs::copy(at, elsewhere + "/copy", stdfs::copy_options::recursive);
    stdfs::remove_all(at);
    stdfs::create_symlink(elsewhere + "/copy", at);
    std::string out, err;
    EXPECT_EQ(f.run({"D:\\Quorvak", "--dry-run"}, out, err, false), 1) << out << err;
    EXPECT_NE(out.find(c.line), std::string::npos) << out;
    EXPECT_NE(out.find("ready      \"ROOT\\ALPHA device\""), std::string::npos) << out;
    // Not left out as a driver that fits no device: it fails.
    f.devices = {{"ROOT\\SYSTEM\\0001", "Alpha", {"ROOT\\ALPHA"}, {}, true, "", ""}};
    EXPECT_EQ(f.run({"D:\\Quorvak", "--dry-run", "--matching"}, out, err, false), 1) << out << err;
    EXPECT_NE(out.find(c.line), std::string::npos) << out;
  }
}

// A checksum list that is there, or that backup.json names, but cannot be read whole
// is damage: nothing is restored unchecked.
TEST(CliRestore, AListThatCannotBeReadIsDamage) {
  namespace stdfs = std::filesystem;
  for (const char* what : {"a folder", "gone", "3 GiB"}) {
    SCOPED_TRACE(what);
    Fixture f;
    std::string failed, out, err;
    f.tree.put("D:\\Quorvak\\backup.json", "{\n  \"checksums\": \"SHA256SUMS\",\n  \"drivers\": []\n}\n");
    ASSERT_TRUE(WriteBackupChecksums(f.tree.fs(), "D:\\Quorvak", BackupResult{}, failed));
    const std::string sums = f.tree.host("D:\\Quorvak\\SHA256SUMS");
    if (std::string(what) == "3 GiB") {
      stdfs::resize_file(sums, std::uintmax_t{3} << 30);
    } else {
      stdfs::remove(sums);
      if (std::string(what) == "a folder") stdfs::create_directory(sums);
    }
    EXPECT_EQ(f.run({"D:\\Quorvak", "--dry-run"}, out, err, false), 1) << out;
    EXPECT_NE(out.find("failed     \"ROOT\\BETA device\" (Net\\Beta device\\beta.inf): the backup's checksum list is "
                       "damaged or cannot be read: SHA256SUMS\n"),
              std::string::npos)
        << out;
  }
}

// An ANSI INF of a Chinese Windows, checked elsewhere: read as GBK with the code page
// backup.json records, or the one --code-page names, which wins.
TEST(CliRestore, CodePageReadsAnsiInfs) {
  const struct {
    const char* manifest;  // backup.json; none when null
    Args options;
    const char* shown;
    bool warned = false;
  } cases[] = {
      {nullptr, {"--code-page", "936"}, "测试设备"},
      {"{\n  \"ansiCodePage\": 936,\n  \"drivers\": []\n}\n", {}, "测试设备"},
      {"{\n  \"ansiCodePage\": 936,\n  \"drivers\": []\n}\n", {"--code-page", "1252"}, "²âÊÔÉè±¸"},
      {"{\n  \"ansiCodePage\": null,\n  \"drivers\": []\n}\n", {}, "²âÊÔÉè±¸"},  // this system's own
      {nullptr, {}, "²âÊÔÉè±¸"},
      // A code page this system cannot read: said, and read in this system's.
      {"{\n  \"ansiCodePage\": 4711,\n  \"drivers\": []\n}\n", {}, "²âÊÔÉè±¸", true},
  };
  for (const auto& c : cases) {
    Fixture f;
    std::string gbk = inf("ROOT\\GAMMA", "gamma.sys");
    gbk.replace(gbk.find("ROOT\\GAMMA device"), 17, "\xB2\xE2\xCA\xD4\xC9\xE8\xB1\xB8");  // 测试设备
    f.tree.put("D:\\Quorvak\\Net\\Gamma\\gamma.inf", gbk);
    f.tree.put("D:\\Quorvak\\Net\\Gamma\\gamma.sys", "g");
    f.sign("Net\\Gamma", "gamma.cat");
    if (c.manifest) f.tree.put("D:\\Quorvak\\backup.json", c.manifest);
    Args args{"D:\\Quorvak", "--dry-run", "--driver", "gamma"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::string out, err;
    EXPECT_EQ(f.run(args, out, err, false), 0) << err;
    EXPECT_EQ(out, "ready      \"" + std::string(c.shown) +
                       "\" (Net\\Gamma\\gamma.inf): complete, would be installed; signed by Qelvaro Test Publisher\n");
    EXPECT_EQ(err.find("code page 4711, which cannot be read here") != std::string::npos, c.warned) << err;
  }
  Fixture f;
  std::string out, err;
  EXPECT_EQ(f.run({"D:\\Quorvak", "--dry-run", "--code-page", "99999"}, out, err, false), 2);
}

TEST(CliRestore, BadArgumentsAndNothingToDo) {
  Fixture f;
  std::string out, err;
  EXPECT_EQ(f.run({}, out, err), 2);
  EXPECT_EQ(f.run({"D:\\Quorvak", "--bogus"}, out, err), 2);
  EXPECT_EQ(f.run({"D:\\Quorvak", "--arch", "sparc", "--dry-run"}, out, err), 2);
  EXPECT_EQ(f.run({"D:\\Quorvak", "--arch", "x86"}, out, err), 2);  // installs only for this machine
  EXPECT_EQ(f.run({"D:\\Quorvak", "--driver", "nothing"}, out, err), 1);
  EXPECT_NE(err.find("no driver matches"), std::string::npos);
  EXPECT_EQ(f.run({"D:\\Nowhere"}, out, err), 1);
  EXPECT_EQ(f.run({"D:\\Quorvak"}, out, err, false), 1);
  EXPECT_NE(err.find("cannot install here"), std::string::npos);
  EXPECT_TRUE(f.installer.calls.empty());
}

TEST(CliRestore, DryRunForAnotherArchitecture) {
  Fixture f;
  std::string out, err;
  EXPECT_EQ(f.run({"D:\\Quorvak", "--dry-run", "--arch", "x86", "--driver", "alpha"}, out, err, false), 1);
  EXPECT_EQ(out, "unsupported \"Alpha device\" (System\\Alpha device\\alpha.inf): no models for x86\n");
}

// A driver's staging folder is made by the run itself: an entry already at its name (a
// link planted by someone else, or any folder) fails the driver, and nothing is written
// into what it names.
TEST(CliRestore, StagesOnlyIntoAFolderItMadeItself) {
  for (const bool link : {true, false}) {
    Fixture f;
    f.tree.put("D:\\elsewhere\\mine.txt", "mine");
    if (link) std::filesystem::create_directory_symlink(f.tree.host("D:\\elsewhere"), f.tree.host("D:\\run\\1"));
    else f.tree.put("D:\\run\\1\\mine.txt", "mine");
    const std::string planted = link ? "D:\\elsewhere" : "D:\\run\\1";
    std::string out, err;
    EXPECT_EQ(f.run({"D:\\Quorvak", "--driver", "alpha"}, out, err), 1) << link;
    EXPECT_NE(err.find("cannot make D:\\run\\1"), std::string::npos) << err;
    EXPECT_TRUE(f.installer.calls.empty());
    EXPECT_EQ(f.tree.listing(planted), "mine.txt") << link;
  }
}

}  // namespace
}  // namespace qelvaro
