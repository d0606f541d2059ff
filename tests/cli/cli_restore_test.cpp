#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cmd_restore.h"
#include "fake_windows_tree.h"

namespace qelvaro {
namespace {

using restore::DriverStatus;
using restore::InstallOutcome;

std::string inf(const std::string& id, const std::string& file) {
  return "[Version]\nClass=System\nProvider=Qv\nDriverVer=01/02/2024,1.2.3.4\n"
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
  Fixture() {
    tree.put("D:\\Quorvak\\System\\Alpha device\\alpha.inf", inf("ROOT\\ALPHA", "alpha.sys"));
    tree.put("D:\\Quorvak\\System\\Alpha device\\alpha.sys", "a");
    tree.put("D:\\Quorvak\\Net\\Beta device\\beta.inf", inf("ROOT\\BETA", "beta.sys"));
    tree.put("D:\\Quorvak\\Net\\Beta device\\beta.sys", "b");
    tree.put("D:\\run\\x", "");
  }
  int run(const Args& args, std::string& out, std::string& err, bool canInstall = true) {
    RestoreSystem system{tree.fs(), MachineArch::Amd64, canInstall ? &installer : nullptr, "D:\\run",
                         "cannot install here"};
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
  std::string out, err;
  EXPECT_EQ(f.run({"D:\\Quorvak", "--dry-run"}, out, err, false), 1);
  EXPECT_EQ(out,
            "ready      \"ROOT\\BETA device\" (Net\\Beta device\\beta.inf): complete, would be installed\n"
            "incomplete \"ROOT\\GAMMA device\" (Net\\Gamma\\gamma.inf): missing gamma.sys\n"
            "ready      \"ROOT\\ALPHA device\" (System\\Alpha device\\alpha.inf): complete, would be installed\n");
  EXPECT_TRUE(f.installer.calls.empty());
  EXPECT_FALSE(f.tree.onDisk("D:\\run\\1"));
}

TEST(CliRestore, InstallsTheChosenDriversFromTheirStagedLayout) {
  Fixture f;
  std::string out, err;
  EXPECT_EQ(f.run({"D:\\Quorvak", "--driver", "alpha"}, out, err), 0) << err;
  EXPECT_EQ(f.installer.calls, (std::vector<std::string>{"D:\\run\\1\\alpha.inf ROOT\\ALPHA"}));
  EXPECT_EQ(f.tree.read("D:\\run\\1\\sub\\alpha.sys"), "a");
  EXPECT_EQ(out, "installed  \"ROOT\\ALPHA device\" (System\\Alpha device\\alpha.inf): oem1.inf, 1 device\n");
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
                            "\"storedInf\": \"oem1.inf\"", "\"exitCode\": 0"}) {
    EXPECT_NE(out.find(piece), std::string::npos) << piece << "\n" << out;
  }
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
