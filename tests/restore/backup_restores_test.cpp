// Backups of drivers laid out as Windows installs them must restore: each tree is
// backed up by the collector and every driver of the backup checked by the restore's
// dry run, with the bytes it would stage compared with what Windows installed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "backup_collector.h"
#include "device_index.h"
#include "driver_inventory.h"
#include "driver_store.h"
#include "fake_windows_tree.h"
#include "install_dirs.h"
#include "memory_registry.h"
#include "package_paths.h"
#include "restore_run.h"
#include "signed_catalog.h"
#include "base/text_encoding.h"
#include "base/ui.h"

namespace qelvaro::restore {
namespace {

namespace stdfs = std::filesystem;
using testing::FakeWindowsTree;

const std::string kExamples = std::string(QELVARO_CORPUS_DIR) + "/../examples/installed-drivers";
const std::string kRoot = "D:\\Quorvak";
const std::string kStore = "C:\\Windows\\System32\\DriverStore\\FileRepository\\";

std::string slurp(const stdfs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class QuietUi final : public Ui {
 public:
  void showMessage(const std::string&, const std::string&, MessageIcon) override {}
  void pumpMessages() override {}
  void setBusyCursor(bool) override {}
};

class Rows final : public DriverRowSource {
 public:
  Rows(std::vector<DriverRecord> r, const Registry& registry)
      : rows_(std::move(r)), registry_(registry), devices_(DeviceIndex::Read(registry)) {}
  std::size_t rowCount() const override { return rows_.size(); }
  bool rowTicked(std::size_t) const override { return true; }
  DriverRow rowAt(std::size_t i) const override {
    const auto& r = rows_[i];
    return {r.description, r.className, r.infName, r.installSection,
            DriverDeviceIds(registry_, r.keyPath, devices_, kClassRoot)};
  }

 private:
  std::vector<DriverRecord> rows_;
  const Registry& registry_;
  DeviceIndex devices_;
};

struct RoundTrip {
  BackupResult backup;
  std::vector<RestoreItem> items;
  std::vector<DriverResult> dryRuns;
  std::vector<LayoutPlan> plans;
};

RoundTrip backUpAndCheck(FakeWindowsTree& tree, const MemoryRegistry& registry) {
  RoundTrip r;
  QuietUi ui;
  const DatabaseOrSearchLookup store(registry, tree.fs(), tree.folders(), MachineArch::Amd64);
  BackupCollector collector(tree.folders(), tree.fs(), &store, MachineArch::Amd64);
  BackupSink sink;
  r.backup = collector.run(Rows(ScanDrivers(registry, ui, true).drivers, registry), kRoot, sink);
  for (RestoreItem& item : LoadRestoreCatalog(tree.fs(), kRoot, MachineArch::Amd64).items) {
    r.plans.push_back(PlanLayout(tree.fs(), item.driver, item.package));
    r.dryRuns.push_back(RestoreDriver(tree.fs(), item, "D:\\unused", nullptr));
    r.items.push_back(std::move(item));
  }
  return r;
}

// The example drivers: files where Windows installed them, packages in the store.
void layExamples(FakeWindowsTree& tree, MemoryRegistry& registry, bool withStore, bool withDatabase) {
  const stdfs::path drive = kExamples + "/drive_c";
  for (const auto& e : stdfs::recursive_directory_iterator(drive)) {
    if (!e.is_regular_file()) continue;
    std::string relative = stdfs::relative(e.path(), drive).string();
    if (!withStore && relative.find("DriverStore") != std::string::npos) continue;
    for (char& c : relative) c = c == '/' ? '\\' : c;
    // Spelled as the tree's own folders, which a Windows volume holds once whatever the case.
    for (const std::string folder : {"Windows\\", "Windows\\System32\\"}) {
      if (relative.size() > folder.size() && iequalsAscii(relative.substr(0, folder.size()), folder)) {
        relative.replace(0, folder.size(), folder);
      }
    }
    tree.put("C:\\" + relative, slurp(e.path()));
  }
  // The examples' catalogs are stand-ins naming their package ("fixture:XonarD1.INF/x.cat"):
  // each becomes a catalog signed over its package's files, in the store and in CatRoot.
  for (const auto& package : stdfs::directory_iterator(drive / "windows/system32/DriverStore/FileRepository")) {
    std::string infName;
    for (const auto& f : stdfs::directory_iterator(package)) {
      if (iequalsAscii(f.path().extension().string(), ".inf")) infName = f.path().filename().string();
    }
    const std::string signedCatalog = testing::SignedCatalogOf(package.path().string());
    for (const auto& e : stdfs::recursive_directory_iterator(tree.host("C:\\Windows"))) {
      if (e.is_regular_file() && e.path().extension() == ".cat" &&
          slurp(e.path()).rfind("fixture:" + infName + "/", 0) == 0) {
        std::ofstream(e.path(), std::ios::binary) << signedCatalog;
      }
    }
  }
  ASSERT_FALSE(registry.importRegFile(slurp(kExamples + "/registry.reg")));
  if (!withDatabase) registry.deleteKey(RegistryRoot::LocalMachine, "SYSTEM\\DriverDatabase");
}

TEST(BackupRestores, ExampleDriversAsWindowsKeepsThem) {
  // With the store recorded in the database (Windows 8 and later; one of the three has
  // no entry, as on Windows 7), found only by searching the store (Windows 7, Wine),
  // and without a store at all (drivers installed before it existed).
  struct Case {
    const char* name;
    bool store, database;
  } cases[] = {{"database", true, true}, {"search", true, false}, {"no store", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWindowsTree tree;
    MemoryRegistry registry;
    layExamples(tree, registry, c.store, c.database);
    const RoundTrip r = backUpAndCheck(tree, registry);
    ASSERT_EQ(r.backup.drivers.size(), 3u);
    EXPECT_TRUE(r.backup.complete());
    for (const DriverReport& d : r.backup.drivers) {
      EXPECT_EQ(!d.package.empty(), c.store) << d.driver.infName;
      EXPECT_TRUE(d.missing.empty() && d.skippedFiles.empty()) << d.problem();
    }
    ASSERT_EQ(r.items.size(), 3u);
    for (const DriverResult& d : r.dryRuns) EXPECT_EQ(d.status, DriverStatus::Ready) << d.missing.size();

    // Every file the install copies would be staged with the bytes Windows installed.
    const std::string json = slurp(kExamples + "/drivers.json");
    for (std::size_t i = 0; i < r.items.size(); ++i) {
      const InfPackage& p = r.items[i].package;
      ASSERT_FALSE(p.catalog.empty());
      for (const SourceFile& f : p.files) {
        const std::string relative = *SafeRelativePath(f.diskPath, f.subdir, f.name);
        std::optional<std::string> staged;
        for (const StagedFile& s : r.plans[i].copies) {
          if (s.relative == relative) staged = tree.fs().readFile(s.from);
        }
        ASSERT_TRUE(staged) << relative;
        const InfCopy& copy = f.copies.front();
        EXPECT_NE(json.find(copy.installedName), std::string::npos);
        const std::string installed = InstallDirFolder(copy.dirId, copy.subdir, MachineArch::Amd64, tree.folders()) + "\\" + copy.installedName;
        EXPECT_EQ(*staged, tree.fs().readFile(installed).value_or("<none>")) << relative;
      }
    }
  }
}

// A Windows 10 DCH-style graphics package: the kernel driver runs from the store
// (13), user-mode parts in subfolders, a renamed 32-bit DLL in SysWOW64, a helper in
// Program Files, and files listed only for another architecture.
constexpr char kDchInf[] = R"inf([Version]
Signature = "$WINDOWS NT$"
Class = Display
Provider = %Acme%
CatalogFile = acmegfx.cat
DriverVer = 01/02/2024,31.0.101.5000
[DestinationDirs]
DefaultDestDir = 13
Acme.Wow = 16425
Acme.Panel = 16422, Acme\Panel
[Manufacturer]
%Acme% = Acme, NTamd64.10.0...17763
[Acme.NTamd64.10.0...17763]
%Gpu% = Gfx_Install, PCI\VEN_8086&DEV_9A49
[Gfx_Install.NTamd64]
CopyFiles = Acme.Kernel, Acme.Wow, Acme.Panel
[Gfx_Install.NTamd64.CoInstallers]
CopyFiles = @acmeco.dll
[Acme.Kernel]
acmekm.sys
acmeumd64.dll
[Acme.Wow]
acmeumd.dll, acmeumd32.dll
[Acme.Panel]
AcmePanel.exe
[SourceDisksNames]
1 = %Disk%,,,\drv
[SourceDisksFiles]
acmekm.sys = 1, amd64
acmeumd64.dll = 1, amd64\um
acmeumd32.dll = 1, x86\um
AcmePanel.exe = 1, tools
acmeco.dll = 1
[SourceDisksFiles.x86]
acmekm32.sys = 1, x86
[Strings]
Acme = "Acme"
Gpu = "Acme Graphics"
Disk = "Acme disk"
)inf";

TEST(BackupRestores, DchPackageFromTheStoreAndWithoutIt) {
  FakeWindowsTree tree;
  MemoryRegistry registry;
  const std::string package = kStore + "acmegfx.inf_amd64_0123456789abcdef\\";
  const std::string installed[][2] = {
      {"drv\\amd64\\acmekm.sys", ""},  // 13: stays in the package
      {"drv\\amd64\\um\\acmeumd64.dll", ""},
      {"drv\\x86\\um\\acmeumd32.dll", "C:\\Windows\\SysWOW64\\acmeumd.dll"},
      {"drv\\tools\\AcmePanel.exe", "C:\\Program Files\\Acme\\Panel\\AcmePanel.exe"},
      {"drv\\acmeco.dll", ""},
  };
  tree.put("C:\\Windows\\inf\\oem7.inf", kDchInf);
  tree.put(package + "acmegfx.inf", kDchInf);
  for (const auto& [inPackage, elsewhere] : installed) {
    tree.put(package + inPackage, "bytes of " + inPackage);
    if (!elsewhere.empty()) tree.put(elsewhere, "bytes of " + inPackage);
  }
  const std::string signedCatalog = testing::SignedCatalogOf(tree.host(package));
  tree.put(package + "acmegfx.cat", signedCatalog);
  tree.put("C:\\Windows\\System32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\oem7.cat", signedCatalog);
  // A damaged store lost a file that its installed copy still has.
  ASSERT_TRUE(stdfs::remove(tree.host(package + "drv\\tools\\AcmePanel.exe")));
  const std::string key = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}";
  registry.setValue(RegistryRoot::LocalMachine, key, "Class", RegString("Display"));
  for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
           {"DriverDesc", "Acme Graphics"}, {"ProviderName", "Acme"}, {"InfPath", "oem7.inf"},
           {"InfSection", "Gfx_Install"}, {"InfSectionExt", ".NTamd64"}}) {
    registry.setValue(RegistryRoot::LocalMachine, key + "\\0000", name, RegString(value));
  }

  // From the store (found by searching it: no database here).
  RoundTrip r = backUpAndCheck(tree, registry);
  ASSERT_EQ(r.backup.drivers.size(), 1u);
  EXPECT_TRUE(r.backup.complete()) << r.backup.drivers[0].problem();
  ASSERT_EQ(r.dryRuns.size(), 1u);
  EXPECT_EQ(r.dryRuns[0].status, DriverStatus::Ready);
  const std::string folder = kRoot + "\\Display\\Acme Graphics\\";
  EXPECT_EQ(tree.read(folder + "drv\\tools\\AcmePanel.exe"), "bytes of drv\\tools\\AcmePanel.exe");
  EXPECT_EQ(tree.read(folder + "drv\\x86\\um\\acmeumd32.dll"), "bytes of drv\\x86\\um\\acmeumd32.dll");
  EXPECT_FALSE(tree.onDisk(folder + "oem7.inf"));

  // Without a store package the files run from (13) are nowhere: named, not "ready".
  stdfs::remove_all(tree.host(kStore));
  stdfs::remove_all(tree.host(kRoot));
  r = backUpAndCheck(tree, registry);
  ASSERT_EQ(r.backup.drivers.size(), 1u);
  std::vector<std::string> missing;
  for (const MissingFile& m : r.backup.drivers[0].missing) missing.push_back(m.name);
  EXPECT_EQ(missing, (std::vector<std::string>{"acmekm.sys", "acmeumd64.dll", "acmeco.dll"}));
  EXPECT_TRUE(r.backup.drivers[0].notNeeded.empty());  // acmekm32.sys is listed for x86 only
  EXPECT_EQ(tree.read(folder + "acmeumd32.dll"), "bytes of drv\\x86\\um\\acmeumd32.dll");  // renamed, flat
  EXPECT_EQ(tree.read(folder + "acmegfx.cat"), signedCatalog);  // from oem7.cat
  ASSERT_EQ(r.dryRuns.size(), 1u);
  EXPECT_EQ(r.dryRuns[0].status, DriverStatus::Incomplete);
}

// A driver split into packages: the base names a software component, an extension INF
// targets the device by a hardware id more specific than the one the base matched, and
// the component's own INF serves "SWC\<id>". A second extension for other hardware
// stays out.
TEST(BackupRestores, ExtensionAndComponentPackagesGoWithTheirDriver) {
  const auto inf = [](const std::string& cls, const std::string& models, const std::string& install) {
    return "[Version]\nSignature=\"$WINDOWS NT$\"\nClass=" + cls + "\nCatalogFile=x.cat\n"
           "[Manufacturer]\nAcme=Acme,NTamd64\n[Acme.NTamd64]\n" + models + "\n[Inst.NTamd64]\n" + install +
           "\n[SourceDisksNames]\n1=disk\n[SourceDisksFiles]\n";
  };
  const std::string base = inf("Display", "Gpu=Inst,PCI\\VEN_1&DEV_2",
                               "[Inst.NTamd64.Components]\nAddComponent=Panel,,Comp\n[Comp]\nComponentIDs=ACME_PANEL");
  const std::string files[][2] = {
      {"oem1.inf", base},
      {"oem2.inf", inf("Extension", "Ext=Inst,PCI\\VEN_1&DEV_2&SUBSYS_33", "")},
      {"oem3.inf", inf("SoftwareComponent", "Panel=Inst,SWC\\ACME_PANEL", "")},
      {"oem4.inf", inf("Extension", "Other=Inst,PCI\\VEN_9&DEV_9", "")},
  };
  FakeWindowsTree tree;
  MemoryRegistry registry;
  for (const auto& [name, text] : files) tree.put("C:\\Windows\\inf\\" + name, text);
  // One catalog signed over the four INFs stands for each one's own.
  const std::string signedCatalog = testing::SignedCatalogOf(tree.host("C:\\Windows\\inf"));
  for (const auto& [name, text] : files) {
    tree.put("C:\\Windows\\System32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\" +
                 name.substr(0, 4) + ".cat", signedCatalog);
  }
  const std::string classKey = std::string(kClassRoot) + "\\{4d36e968-e325-11ce-bfc1-08002be10318}";
  registry.setValue(RegistryRoot::LocalMachine, classKey, "Class", RegString("Display"));
  for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
           {"DriverDesc", "Acme GPU"}, {"ProviderName", "Acme"}, {"InfPath", "oem1.inf"},
           {"InfSection", "Inst"}, {"InfSectionExt", ".NTamd64"}, {"MatchingDeviceId", "pci\\ven_1&dev_2"}}) {
    registry.setValue(RegistryRoot::LocalMachine, classKey + "\\0000", name, RegString(value));
  }
  const std::string device = std::string(kEnumRoot) + "\\PCI\\VEN_1&DEV_2&SUBSYS_33\\3&1";
  registry.setValue(RegistryRoot::LocalMachine, device, "Driver",
                    RegString("{4D36E968-E325-11CE-BFC1-08002BE10318}\\0000"));
  registry.setValue(RegistryRoot::LocalMachine, device, "HardwareID",
                    RegString(std::string("PCI\\VEN_1&DEV_2&SUBSYS_33") + '\0' + "PCI\\VEN_1&DEV_2",
                              RegistryType::MultiString));

  const RoundTrip r = backUpAndCheck(tree, registry);
  std::vector<std::string> backedUp;
  for (const DriverReport& d : r.backup.drivers) backedUp.push_back(d.driver.infName + "<" + d.relatedTo);
  EXPECT_EQ(backedUp, (std::vector<std::string>{"oem1.inf<", "oem2.inf<Acme GPU", "oem3.inf<Acme GPU"}));
  EXPECT_TRUE(r.backup.complete());
  EXPECT_TRUE(tree.onDisk(kRoot + "\\Extension\\Ext\\oem2.inf"));
  EXPECT_TRUE(tree.onDisk(kRoot + "\\SoftwareComponent\\Panel\\oem3.inf"));
  ASSERT_EQ(r.dryRuns.size(), 3u);
  for (const DriverResult& d : r.dryRuns) EXPECT_EQ(d.status, DriverStatus::Ready);
}

}  // namespace
}  // namespace qelvaro::restore
