#include "restore_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "checksum_list.h"
#include "fake_windows_tree.h"
#include "restore_run.h"
#include "setup_texts.h"
#include "signed_catalog.h"

namespace qelvaro::restore {
namespace {

using testing::FakeWindowsTree;

// The INF of a driver whose files sit in subfolders of its package.
constexpr char kQvInf[] = R"inf([Version]
Signature = "$Windows NT$"
Class = System
Provider = Qv
CatalogFile.NTamd64 = qvtest.cat

[Manufacturer]
Qv = Qv, NTamd64

[Qv.NTamd64]
"Qv Test Device" = Inst, ROOT\QVTEST

[Inst.NTamd64]
CopyFiles = Drv
[Drv]
qvtest.sys
[SourceDisksNames]
1 = "Qv disk",,,\pkg\amd64
[SourceDisksFiles]
qvtest.sys = 1, bin
readme.txt = 1
)inf";

struct Backup {
  FakeWindowsTree tree;
  const std::string root = "D:\\Quorvak";
  // A driver folder with its files; its catalog, when it has one, signed over them.
  void driver(const std::string& folder, const std::string& inf, const std::vector<std::string>& files) {
    tree.put(root + "\\" + folder + "\\qvtest.inf", inf);
    for (const auto& f : files) tree.put(root + "\\" + folder + "\\" + f, "bytes of " + f);
    if (std::find(files.begin(), files.end(), "qvtest.cat") != files.end()) {
      tree.put(root + "\\" + folder + "\\qvtest.cat", testing::SignedCatalogOf(tree.host(root + "\\" + folder)));
    }
  }
  RestoreItem item(std::size_t i = 0) {
    RestoreCatalog c = LoadRestoreCatalog(tree.fs(), root, MachineArch::Amd64);
    EXPECT_LT(i, c.items.size());
    return c.items.at(i);
  }
};

class RecordingInstaller final : public DriverInstaller {
 public:
  InstallOutcome install(const std::string& inf, const std::vector<std::string>& ids) override {
    infs.push_back(inf);
    this->ids = ids;
    return outcome;
  }
  InstallOutcome outcome{DriverStatus::Installed, 0, "", "oem7.inf", 1};
  std::vector<std::string> infs;
  std::vector<std::string> ids;
};

TEST(RestoreLayout, FindsInfsInClassAndDriverFolders) {
  Backup b;
  b.driver("System\\Qv Test Device", kQvInf, {});
  b.tree.put(b.root + "\\Net\\Adapter\\B.INF", "[Version]\n");
  b.tree.put(b.root + "\\Net\\Adapter\\notes.txt", "");
  b.tree.put(b.root + "\\Loose\\a.inf", "[Version]\n");  // a driver folder without a class
  b.tree.put(b.root + "\\setup.exe", "MZ");
  const DriverSearch s = FindDrivers(b.tree.fs(), b.root);
  ASSERT_TRUE(s.result.ok());
  ASSERT_EQ(s.drivers.size(), 3u);
  EXPECT_EQ(s.drivers[0].classFolder, "");
  EXPECT_EQ(s.drivers[0].driverFolder, "Loose");
  EXPECT_EQ(s.drivers[1].infPath(), b.root + "\\Net\\Adapter\\B.INF");
  EXPECT_EQ(s.drivers[2].classFolder, "System");
  EXPECT_FALSE(FindDrivers(b.tree.fs(), "D:\\nothing").result.ok());
}

TEST(RestoreLayout, RelativePathsStayInsideTheStagingFolder) {
  EXPECT_EQ(SafeRelativePath("\\pkg\\amd64", "bin", "a.sys"), "pkg\\amd64\\bin\\a.sys");
  EXPECT_EQ(SafeRelativePath("", "", "a.sys"), "a.sys");
  EXPECT_EQ(SafeRelativePath("", "\\x86", "a.sys"), "x86\\a.sys");
  EXPECT_EQ(SafeRelativePath("d", "", "Srv\\a.sys"), "d\\Srv\\a.sys");
  EXPECT_EQ(SafeRelativePath(".\\x/y\\", "", "a.sys"), "x\\y\\a.sys");
  for (const auto& [disk, sub, name] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"..\\up", "", "a.sys"}, {"", "x\\..\\..", "a.sys"}, {"C:\\Windows", "", "a.sys"},
           {"C:rel", "", "a.sys"}, {"\\\\server\\share", "", "a.sys"}, 
           {"", "", "..\\a.sys"}, {"", "", "a.sys:stream"}, {"", "sub", "a|b"}, {"...", "", "a.sys"},
           {"", "", ""}, {"", "", "\\\\srv\\a.sys"}, {"", "", "dir\\"}}) {
    EXPECT_FALSE(SafeRelativePath(disk, sub, name)) << disk << " | " << sub << " | " << name;
  }
}

TEST(RestoreLayout, RebuildsThePackageLayoutFromTheFlatBackup) {
  Backup b;
  b.driver("System\\Qv Test Device", kQvInf, {"QVTEST.SYS", "qvtest.cat", "readme.txt"});
  const RestoreItem item = b.item();
  const LayoutPlan plan = PlanLayout(b.tree.fs(), item.driver, item.package);
  ASSERT_TRUE(plan.complete());
  ASSERT_EQ(plan.copies.size(), 4u);
  EXPECT_EQ(plan.copies[0].relative, "qvtest.inf");
  EXPECT_EQ(plan.copies[1].relative, "qvtest.cat");
  EXPECT_EQ(plan.copies[2].relative, "pkg\\amd64\\bin\\qvtest.sys");
  EXPECT_EQ(plan.copies[2].from, b.root + "\\System\\Qv Test Device\\QVTEST.SYS");
  EXPECT_EQ(plan.copies[3].relative, "pkg\\amd64\\readme.txt");

  b.tree.put("D:\\stage\\1\\keep", "");
  RecordingInstaller installer;
  const DriverResult r = RestoreDriver(b.tree.fs(), item, "D:\\stage\\1", &installer);
  EXPECT_EQ(r.status, DriverStatus::Installed);
  EXPECT_EQ(b.tree.read("D:\\stage\\1\\pkg\\amd64\\bin\\qvtest.sys"), "bytes of QVTEST.SYS");
  EXPECT_EQ(b.tree.read("D:\\stage\\1\\qvtest.cat"), b.tree.read(b.root + "\\System\\Qv Test Device\\qvtest.cat"));
  EXPECT_EQ(installer.infs, (std::vector<std::string>{"D:\\stage\\1\\qvtest.inf"}));
  EXPECT_EQ(installer.ids, (std::vector<std::string>{"ROOT\\QVTEST"}));
}

TEST(RestoreLayout, AlreadyLaidOutPackageIsTakenAsItIs) {
  Backup b;
  b.driver("System\\Vendor", kQvInf, {"qvtest.cat", "pkg\\amd64\\bin\\qvtest.sys"});
  const RestoreItem item = b.item();
  const LayoutPlan plan = PlanLayout(b.tree.fs(), item.driver, item.package);
  EXPECT_TRUE(plan.complete());
  EXPECT_EQ(plan.copies.back().relative, "pkg\\amd64\\bin\\qvtest.sys");
}

TEST(RestoreLayout, MissingFileOrCatalogIsNamedAndNothingIsInstalled) {
  Backup b;
  b.driver("System\\Qv Test Device", kQvInf, {"readme.txt"});  // .sys and .cat gone; readme is optional
  RecordingInstaller installer;
  const DriverResult r = RestoreDriver(b.tree.fs(), b.item(), "D:\\stage\\1", &installer);
  EXPECT_EQ(r.status, DriverStatus::Incomplete);
  EXPECT_EQ(r.missing, (std::vector<std::string>{"qvtest.cat", "qvtest.sys"}));
  EXPECT_TRUE(installer.infs.empty());
  EXPECT_FALSE(b.tree.onDisk("D:\\stage\\1\\qvtest.inf"));
}

// Named for what they are when the backup is searched, before the layout is planned.
TEST(RestoreLayout, LinksInTheBackupAreNeverStaged) {
  namespace stdfs = std::filesystem;
  // A file that is a link, and a laid-out folder that is one ("sub -> elsewhere").
  for (const char* linked : {"qvtest.cat", "pkg"}) {
    SCOPED_TRACE(linked);
    Backup b;
    b.driver("System\\Vendor", kQvInf, {"qvtest.cat", "pkg\\amd64\\bin\\qvtest.sys"});
    b.tree.put("D:\\elsewhere\\pkg\\amd64\\bin\\qvtest.sys", "host");
    b.tree.put("D:\\elsewhere\\qvtest.cat", "host");
    const std::string at = b.tree.host(b.root + "\\System\\Vendor\\" + linked);
    stdfs::remove_all(at);
    stdfs::create_symlink(b.tree.host(std::string("D:\\elsewhere\\") + linked), at);
    RecordingInstaller installer;
    const DriverResult r = RestoreDriver(b.tree.fs(), b.item(), "D:\\stage\\1", &installer);
    EXPECT_EQ(r.status, DriverStatus::Failed);
    EXPECT_EQ(r.problemKind, Problem::Link);
    EXPECT_EQ(r.links, std::vector<std::string>{std::string("System\\Vendor\\") + linked});
    EXPECT_TRUE(installer.infs.empty());
  }
}

TEST(RestoreLayout, InfThatEscapesItsPackageFails) {
  Backup b;
  std::string inf = kQvInf;
  inf.replace(inf.find("\\pkg\\amd64"), 10, "..\\..\\Windows");
  b.driver("System\\Evil", inf, {"qvtest.sys", "qvtest.cat"});
  RecordingInstaller installer;
  const DriverResult r = RestoreDriver(b.tree.fs(), b.item(), "D:\\stage\\1", &installer);
  EXPECT_EQ(r.status, DriverStatus::Failed);
  EXPECT_EQ(r.unsafe, (std::vector<std::string>{"..\\..\\Windows\\bin\\qvtest.sys", "..\\..\\Windows\\readme.txt"}));
  EXPECT_TRUE(installer.infs.empty());
}

// The backup's files through `inner`, except that the file `swapped` is rewritten with
// other bytes right after its bytes are first read: a program (or a person) changing it
// between a check and the copy.
class SwapAfterFirstRead final : public FileSystem {
 public:
  SwapAfterFirstRead(FileSystem& inner, std::string swapped) : inner_(inner), swapped_(std::move(swapped)) {}
  bool exists(const std::string& path, AttrMask mask) const override { return inner_.exists(path, mask); }
  std::optional<std::string> readFile(const std::string& path) const override {
    return after(path, inner_.readFile(path));
  }
  DirListing listDir(const std::string& path) const override { return inner_.listDir(path); }
  bool isLink(const std::string& path) const override { return inner_.isLink(path); }
  FsResult createDir(const std::string& path) override { return inner_.createDir(path); }
  FsResult hashFile(const std::string& path, std::string& sha256, std::uint64_t& size) const override {
    return after(path, inner_.hashFile(path, sha256, size));
  }
  FsResult copyFile(const std::string& from, const std::string& to) override {
    return after(from, inner_.copyFile(from, to));
  }
  FsResult copyNewFileThrough(const std::string& from, const std::string& to, ByteSink& sink) override {
    return after(from, inner_.copyNewFileThrough(from, to, sink));
  }

 private:
  template <typename T>
  T after(const std::string& path, T result) const {
    if (path == swapped_ && !done_) {
      done_ = true;
      (void)inner_.writeFile(path, "other bytes");
    }
    return result;
  }
  FileSystem& inner_;
  std::string swapped_;
  mutable bool done_ = false;
};

// The bytes installed are the bytes checked against SHA256SUMS: a file changed after
// the check never reaches the installer; one changed before it, or one the INF takes
// that the list does not know (put there after the backup), fails the driver, named,
// with nothing installed.
TEST(RestoreLayout, InstallsOnlyTheBytesCheckedAgainstTheList) {
  const struct {
    const char* what;
    const char* changed;  // the file changed or added after the list was written
    bool afterFirstRead;  // changed right after its bytes are first read
    std::vector<std::string> damaged;
    const char* installed;  // what the installer found staged
  } cases[] = {
      {"changed after the check", "qvtest.sys", true, {}, "bytes of qvtest.sys"},
      {"changed before", "qvtest.sys", false, {"qvtest.sys"}, "(not called)"},
      {"added after the backup", "readme.txt", false, {"readme.txt"}, "(not called)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Backup b;
    b.driver("System\\Qv", kQvInf, {"qvtest.sys", "qvtest.cat"});
    std::string failed;
    ASSERT_TRUE(WriteBackupChecksums(b.tree.fs(), b.root, BackupResult{}, failed));
    const std::string changed = b.root + "\\System\\Qv\\" + c.changed;
    if (!c.afterFirstRead) b.tree.put(changed, "other bytes");
    SwapAfterFirstRead fs(b.tree.fs(), c.afterFirstRead ? changed : "");
    struct : DriverInstaller {
      InstallOutcome install(const std::string&, const std::vector<std::string>&) override {
        got = tree->read("D:\\stage\\1\\pkg\\amd64\\bin\\qvtest.sys");
        return {DriverStatus::Installed, 0, "", "oem7.inf", 1};
      }
      FakeWindowsTree* tree = nullptr;
      std::string got = "(not called)";
    } installer;
    installer.tree = &b.tree;
    b.tree.put("D:\\stage\\1\\keep", "");
    const RestoreItem item = b.item();
    const DriverResult r = RestoreDriver(fs, item, "D:\\stage\\1", &installer);
    EXPECT_EQ(r.damaged, c.damaged);
    EXPECT_EQ(r.problemKind, c.damaged.empty() ? Problem::None : Problem::Damaged);
    EXPECT_EQ(installer.got, c.installed);
    // A dry run, which reads the backup for its check, finds the change too.
    EXPECT_EQ(RestoreDriver(b.tree.fs(), item, "D:\\s", nullptr).damaged, std::vector<std::string>{c.changed});
  }
}

TEST(RestoreLayout, OtherArchitectureOnlyIsUnsupportedAndUnreadableFails) {
  Backup b;
  std::string inf = kQvInf;
  inf.replace(inf.find("Qv, NTamd64"), 11, "Qv, NTarm64");
  b.driver("System\\Arm", inf, {"qvtest.sys", "qvtest.cat"});
  RecordingInstaller installer;
  EXPECT_EQ(RestoreDriver(b.tree.fs(), b.item(), "D:\\s", &installer).status, DriverStatus::Unsupported);
  RestoreItem unreadable;
  EXPECT_EQ(RestoreDriver(b.tree.fs(), unreadable, "D:\\s", &installer).status, DriverStatus::Failed);
  EXPECT_TRUE(installer.infs.empty());
}

TEST(RestoreLayout, DryRunChecksWithoutStaging) {
  Backup b;
  b.driver("System\\Qv Test Device", kQvInf, {"qvtest.sys", "qvtest.cat"});
  const DriverResult r = RestoreDriver(b.tree.fs(), b.item(), "D:\\stage\\1", nullptr);
  EXPECT_EQ(r.status, DriverStatus::Ready);
  EXPECT_FALSE(b.tree.onDisk("D:\\stage\\1\\qvtest.inf"));
}

// What Windows refuses at install (a broken or cut INF, a name that is a device) a dry
// run refuses too; an INF named like a device is never opened, and its neighbours go on.
TEST(RestoreLayout, DryRunRefusesWhatTheInstallWouldRefuse) {
  std::string random(5000, '\0');
  for (std::size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 7919 + 13) % 251);
  const std::string qv = kQvInf;
  auto with = [&](std::string from, std::string to) {
    std::string inf = qv;
    inf.replace(inf.find(from), from.size(), to);
    return inf;
  };
  const struct {
    const char* what;
    std::string inf;
    Problem problem;
    const char* named;
  } cases[] = {
      {"empty", "", Problem::InfStyle, "no [Version]"},
      {"random bytes", random, Problem::InfStyle, "no [Version]"},
      {"cut after 1 byte", qv.substr(0, 1), Problem::InfSyntax, "section header \"[\" (line 1) has no \"]\""},
      {"cut after 20 bytes", qv.substr(0, 20), Problem::InfStyle, "no Signature"},
      {"cut after 40 bytes", qv.substr(0, 40), Problem::NoModels, "[Manufacturer]"},
      {"cut inside a header", qv.substr(0, qv.find("[SourceDisksFiles]") + 12), Problem::InfSyntax,
       "section header \"[SourceDisks\" (line 19) has no \"]\""},
      {"unknown signature", with("$Windows NT$", "$Windows XP$"), Problem::InfStyle, "$Windows XP$"},
      {"file CON", with("qvtest.sys\n[Source", "CON\n[Source") + "CON = 1\n", Problem::BadName,
       "pkg\\amd64\\CON"},
      {"file NUL.sys", with("qvtest.sys = 1, bin", "NUL.sys = 1, bin"), Problem::BadName, "pkg\\amd64\\bin\\NUL.sys"},
      {"catalog AUX", with("qvtest.cat", "aux"), Problem::BadName, "aux"},
      {"folder com1", with("1, bin", "1, com1"), Problem::BadName, "pkg\\amd64\\com1\\qvtest.sys"},
      {"trailing dot", with("1, bin", "1, bin."), Problem::BadName, "pkg\\amd64\\bin.\\qvtest.sys"},
      {"trailing blank", with("qvtest.cat", "\"qvtest.cat \""), Problem::BadName, "qvtest.cat "},
  };
  for (const auto& c : cases) {
    Backup b;
    b.driver("System\\Qv", c.inf, {"qvtest.sys", "qvtest.cat", "readme.txt", "CON", "NUL.sys", "aux"});
    const DriverResult r = RestoreDriver(b.tree.fs(), b.item(), "D:\\s", nullptr);
    EXPECT_EQ(r.status, DriverStatus::Failed) << c.what;
    EXPECT_EQ(r.problemKind, c.problem) << c.what;
    if (c.problem == Problem::BadName) {
      EXPECT_EQ(r.badNames, std::vector<std::string>{c.named}) << c.what;
    } else {
      EXPECT_NE(r.problem.find(c.named), std::string::npos) << c.what << ": " << r.problem;
    }
  }

  // An INF without models but with files goes into the driver store: ready.
  Backup plain;
  plain.driver("System\\Plain", with("[Manufacturer]", "[NotManufacturer]"), {"qvtest.sys", "qvtest.cat"});
  EXPECT_EQ(RestoreDriver(plain.tree.fs(), plain.item(), "D:\\s", nullptr).status, DriverStatus::Ready);

  // Beside a good INF, as Windows opens them: a device's name opens the device, so a
  // look at whether the entry is a link would see another object than the entry.
  struct DevicesOpen final : ForwardingFileSystem {
    using ForwardingFileSystem::ForwardingFileSystem;
    bool isLink(const std::string& path) const override {
      return !IsWindowsFileName(path.substr(path.rfind('\\') + 1)) || inner().isLink(path);
    }
  };
  Backup b;
  for (const char* device : {"AUX.inf", "COM1.inf", "nul.INF"}) {
    b.tree.put(b.root + "\\System\\Qv\\" + device, qv);  // would be ready if it were read
  }
  b.driver("System\\Qv", qv, {"qvtest.sys", "qvtest.cat"});
  const RestoreCatalog c = LoadRestoreCatalog(DevicesOpen(b.tree.fs()), b.root, MachineArch::Amd64);
  ASSERT_EQ(c.items.size(), 4u);
  for (std::size_t i = 0; i < 3; ++i) {
    const DriverResult r = RestoreDriver(b.tree.fs(), c.items[i], "D:\\s", nullptr);
    EXPECT_EQ(r.problemKind, Problem::InfDeviceName) << c.items[i].driver.infName;
    EXPECT_EQ(r.problem, c.items[i].driver.infName + " is no file name on Windows (a device name such as AUX, or a character it refuses): not opened");
  }
  EXPECT_EQ(RestoreDriver(b.tree.fs(), c.items[3], "D:\\s", nullptr).status, DriverStatus::Ready);
}

// An INF larger than any driver's fails alone, named; the good driver beside it goes on.
TEST(RestoreLayout, HugeInfFailsOnlyItsOwnDriver) {
  Backup b;
  b.driver("System\\Good", kQvInf, {"qvtest.sys", "qvtest.cat"});
  b.tree.put(b.root + "\\System\\Huge\\huge.inf", std::string(kQvInf) + std::string(kMaxInfBytes, ';'));
  const RestoreCatalog c = LoadRestoreCatalog(b.tree.fs(), b.root, MachineArch::Amd64);
  ASSERT_EQ(c.items.size(), 2u);
  EXPECT_EQ(RestoreDriver(b.tree.fs(), c.items[0], "D:\\s", nullptr).status, DriverStatus::Ready);
  const DriverResult huge = RestoreDriver(b.tree.fs(), c.items[1], "D:\\s", nullptr);
  EXPECT_EQ(huge.problemKind, Problem::InfTooLarge);
  EXPECT_EQ(huge.problem, "the INF is too large to read (16 MB; at most 16 MB)");
}

TEST(RestoreRun, ExitCodeAndSelection) {
  using S = DriverStatus;
  EXPECT_EQ(RestoreExitCode({S::Installed, S::Staged}), 0);
  EXPECT_EQ(RestoreExitCode({S::Installed, S::NeedsRestart}), 3010);
  EXPECT_EQ(RestoreExitCode({S::NeedsRestart, S::Incomplete}), 1);
  EXPECT_EQ(RestoreExitCode({S::Unsupported}), 1);
  EXPECT_EQ(RestoreExitCode({}), 0);
  // setup.exe: a close without installing, no drivers and an unsupported Windows are
  // no success; after a run, the run's code.
  const std::vector<S> failedRun{S::Failed}, noRun;
  EXPECT_EQ(SetupExitCode(true, 2, nullptr), kSetupClosedWithoutInstalling);
  EXPECT_EQ(SetupExitCode(true, 0, nullptr), kSetupNoDrivers);
  EXPECT_EQ(SetupExitCode(false, 2, nullptr), kSetupUnsupportedWindows);
  EXPECT_EQ(SetupExitCode(true, 2, &failedRun), 1);
  EXPECT_EQ(SetupExitCode(true, 2, &noRun), 0);

  Backup b;
  b.driver("System\\Qv Test Device", kQvInf, {});
  const RestoreItem item = b.item();
  EXPECT_EQ(item.description(), "Qv Test Device");
  EXPECT_TRUE(DriverMatches(item, "qv test"));
  EXPECT_TRUE(DriverMatches(item, "SYSTEM"));
  EXPECT_TRUE(DriverMatches(item, "qvtest.inf"));
  EXPECT_FALSE(DriverMatches(item, "printer"));
}

// A driver is shown as the model its folder is named after, also when the backup added
// its INF's name to tell it from another driver of that description.
TEST(RestoreRun, DescriptionIsTheModelTheFolderIsNamedAfter) {
  const struct {
    const char* folder;
    const char* shown;
  } cases[] = {
      {"Second model", "Second model"},
      {"SECOND MODEL (oem7.inf)", "Second model"},
      {"Second model (oem7.inf 2)", "Second model"},
      {"Second model (", "First model"},
      {"Second models (oem7.inf)", "First model"},
  };
  for (const auto& c : cases) {
    RestoreItem item;
    item.driver.driverFolder = c.folder;
    item.package.modelDescriptions = {"First model", "Second model"};
    item.package.description = "First model";
    EXPECT_EQ(item.description(), c.shown) << c.folder;
  }
}

// A driver for every architecture, naming its catalog or none.
std::string infForEveryArch(bool catalog) {
  std::string inf = "[Version]\nSignature=\"$Windows NT$\"\nClass=System\nProvider=Qv\n";
  if (catalog) inf += "CatalogFile=qvtest.cat\n";
  inf += "[Manufacturer]\nQv=Qv,NTx86,NTamd64,NTarm64\n";
  for (const char* arch : {"NTx86", "NTamd64", "NTarm64"}) inf += "[Qv." + std::string(arch) + "]\nDevice=Inst,ROOT\\QVTEST\n";
  return inf + "[Inst]\nCopyFiles=Drv\n[Drv]\nqvtest.sys\n[SourceDisksNames]\n1=disk,,,\\pkg\n[SourceDisksFiles]\nqvtest.sys=1,bin\n";
}

// 64-bit Windows refuses a package changed after it was signed and one without a
// catalog, with the error it would give, and a dry run says so too; 32-bit Windows
// warns and installs both; an intact signed package goes on with its signer named.
// Windows' own answer (here a refusal) is asked for the staged catalog and reported,
// never the decider.
TEST(RestoreSignature, EachWindowsDecidesAsItWould) {
  using A = MachineArch;
  using V = SignatureVerdict;
  const std::string changed = "not installed: pkg/bin/qvtest.sys: not in catalog qvtest.cat; 64-bit Windows refuses a "
                              "package changed after it was signed (0xE000024B ERROR_FILE_HASH_NOT_IN_CATALOG)";
  const struct {
    const char* what;
    A arch;
    bool catalog, changedAfterSigning, dryRun;
    DriverStatus status;
    V verdict;
    const char* kind;
    std::string said;   // DescribeSignatureDecision
    const char* shown;  // in setup.exe's status cell
  } cases[] = {
      {"intact, amd64", A::Amd64, true, false, false, DriverStatus::Installed, V::Install, "publisher", "",
       "Windows 的签名检查未通过：pkg/bin/qvtest.sys 0x800B0109"},
      {"changed, amd64", A::Amd64, true, true, false, DriverStatus::Failed, V::Refuse, "broken", changed,
       "未安装：签名已损坏：pkg/bin/qvtest.sys 不在目录文件 qvtest.cat 中。64 位 Windows 不会安装它 (0xE000024B"},
      {"changed, amd64, dry run", A::Amd64, true, true, true, DriverStatus::Failed, V::Refuse, "broken", changed,
       "0xE000024B ERROR_FILE_HASH_NOT_IN_CATALOG"},
      {"unsigned, amd64", A::Amd64, false, false, false, DriverStatus::Failed, V::Refuse, "unsigned",
       "not installed: the INF names no catalog, and 64-bit Windows installs no unsigned driver (0xE000022F "
       "ERROR_NO_CATALOG_FOR_OEM_INF)",
       "未安装：未签名"},
      {"unsigned, arm64, dry run", A::Arm64, false, false, true, DriverStatus::Failed, V::Refuse, "unsigned",
       "not installed: the INF names no catalog, and 64-bit Windows installs no unsigned driver (0xE000022F "
       "ERROR_NO_CATALOG_FOR_OEM_INF)",
       "0xE000022F"},
      {"changed, x86", A::X86, true, true, false, DriverStatus::Installed, V::InstallWithWarning, "broken",
       "warning: pkg/bin/qvtest.sys: not in catalog qvtest.cat; 32-bit Windows warns before it installs it",
       "已安装（警告：签名已损坏"},
      {"unsigned, x86", A::X86, false, false, false, DriverStatus::Installed, V::InstallWithWarning, "unsigned",
       "warning: the INF names no catalog; 32-bit Windows warns before it installs an unsigned driver",
       "已安装（警告：未签名"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Backup b;
    b.driver("System\\Qv", infForEveryArch(c.catalog),
             c.catalog ? std::vector<std::string>{"qvtest.sys", "qvtest.cat"} : std::vector<std::string>{"qvtest.sys"});
    if (c.changedAfterSigning) b.tree.put(b.root + "\\System\\Qv\\qvtest.sys", "changed after signing");
    b.tree.put("D:\\stage\\1\\keep", "");
    struct : DriverInstaller {
      InstallOutcome install(const std::string&, const std::vector<std::string>&) override {
        ++installs;
        return {DriverStatus::Installed, 0, "", "oem7.inf", 1};
      }
      std::optional<WindowsTrust> verifyTrust(const std::string& catalog, const std::vector<TrustMember>& members) override {
        asked = catalog;
        for (const TrustMember& m : members) this->members.push_back(m.name + " " + m.path + " " + std::to_string(m.digest.size()));
        return WindowsTrust{0x800B0109, "pkg/bin/qvtest.sys", ""};
      }
      int installs = 0;
      std::string asked;
      std::vector<std::string> members;
    } installer;
    const RestoreItem item = LoadRestoreCatalog(b.tree.fs(), b.root, c.arch).items.at(0);
    const DriverResult r = RestoreDriver(b.tree.fs(), item, "D:\\stage\\1", c.dryRun ? nullptr : &installer);
    EXPECT_EQ(r.status, c.dryRun && c.status == DriverStatus::Installed ? DriverStatus::Ready : c.status);
    EXPECT_EQ(installer.installs, !c.dryRun && c.status == DriverStatus::Installed ? 1 : 0);
    ASSERT_TRUE(r.signature);
    EXPECT_EQ(SignatureKindWord(r.signature->kind), c.kind);
    EXPECT_EQ(r.signature->signer, c.catalog ? testing::kTestSigner : "");
    EXPECT_EQ(r.signatureDecision.verdict, c.verdict);
    EXPECT_EQ(DescribeSignatureDecision(r.signatureDecision), c.said);
    EXPECT_EQ(r.problem, c.verdict == V::Refuse ? c.said : "");
    EXPECT_NE(setup_text::Status(r).find(c.shown), std::string::npos) << setup_text::Status(r);
    // Windows is asked about a staged catalog, each member by its SHA-256 (a catalog of
    // make_catalog.py names them so); a refusal it gives does not stop the install.
    const bool asked = c.catalog && installer.installs == 1;
    EXPECT_EQ(installer.asked, asked ? "D:\\stage\\1\\qvtest.cat" : "");
    const std::vector<std::string> members{"qvtest.inf D:\\stage\\1\\qvtest.inf 32",
                                           "pkg/bin/qvtest.sys D:\\stage\\1\\pkg\\bin\\qvtest.sys 32"};
    EXPECT_EQ(installer.members, asked ? members : std::vector<std::string>());
  }
  // An INF without a catalog that backup.json records as Windows' own goes on: Windows
  // checks it against its system catalogs. Another driver folder's record does not count.
  for (const char* recorded : {"System/Qv", "System/Other"}) {
    SCOPED_TRACE(recorded);
    Backup b;
    b.driver("System\\Qv", infForEveryArch(false), {"qvtest.sys"});
    b.tree.put(b.root + "\\backup.json", std::string("{\n  \"drivers\": [\n    {\"description\": \"Qv\", \"folder\": \"") +
                                             recorded + "\", \"signature\": \"windows\", \"signer\": \"\"}\n  ]\n}\n");
    const RestoreItem item = LoadRestoreCatalog(b.tree.fs(), b.root, MachineArch::Amd64).items.at(0);
    const DriverResult r = RestoreDriver(b.tree.fs(), item, "D:\\stage\\1", nullptr);
    ASSERT_TRUE(r.signature);
    const bool own = std::string(recorded) == "System/Qv";
    EXPECT_EQ(SignatureKindWord(r.signature->kind), own ? "windows" : "unsigned");
    EXPECT_EQ(r.status, own ? DriverStatus::Ready : DriverStatus::Failed);
  }
}

}  // namespace
}  // namespace qelvaro::restore
