#include "restore_inf.h"

#include <gtest/gtest.h>

namespace qelvaro::restore {
namespace {

InfPackage read(const std::string& text, MachineArch arch = MachineArch::Amd64) {
  return ReadInfPackage(IniDocument::parse(text), arch);
}

const SourceFile* file(const std::vector<SourceFile>& files, const std::string& name) {
  for (const auto& f : files) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

constexpr char kDecorated[] = R"inf([Version]
Class = Net
Provider = %Mfg%
DriverVer = 06/21/2021,10.1.2.3
CatalogFile = plain.cat
CatalogFile.NTamd64 = qv64.cat

[Manufacturer]
%Mfg% = Qv, NTamd64, NTx86

[Qv.NTamd64]
%Dev64% = Inst, PCI\VEN_1234&DEV_0001, PCI\CC_0200

[Qv.NTx86]
%Dev32% = Inst, PCI\VEN_1234&DEV_0001

[Inst.NTamd64]
CopyFiles = Sys.Copy, @qvhelp.dll

[Inst.NTx86]
CopyFiles = Sys32.Copy

[Inst.NTamd64.CoInstallers]
CopyFiles = Coinst.Copy

[Sys.Copy]
qv64.sys,,,2
renamed.sys, qvsrc.sys

[Sys32.Copy]
qv32.sys

[Coinst.Copy]
qvcoin.dll

[SourceDisksNames]
1 = %Disk%,,,\plain
[SourceDisksNames.amd64]
1 = %Disk%,,,\x64

[SourceDisksFiles]
qv32.sys = 1
qvhelp.dll = 1, help
qvcoin.dll = 1
[SourceDisksFiles.amd64]
qv64.sys = 1, drivers
qvsrc.sys = 1

[Strings]
Mfg = "Qv ""Labs"", Inc."   ; the vendor
Dev64 = "Qv 100%% Adapter (x64)"
Dev32 = Qv Adapter
Disk = "Qv disk"
)inf";

TEST(RestoreInf, DecoratedSectionsWinForTheMachinesArchitecture) {
  const InfPackage p = read(kDecorated);
  EXPECT_EQ(p.catalog, "qv64.cat");
  EXPECT_TRUE(p.hasModelsForArch);
  EXPECT_EQ(p.description, "Qv 100% Adapter (x64)");
  EXPECT_EQ(p.deviceIds, (std::vector<std::string>{"PCI\\VEN_1234&DEV_0001", "PCI\\CC_0200"}));
  // Files of the 64-bit install section only, each found through the decorated lists.
  std::vector<std::string> names;
  for (const auto& f : p.files) names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"qv64.sys", "qvsrc.sys", "qvhelp.dll", "qvcoin.dll"}));
  EXPECT_EQ(file(p.files, "qv64.sys")->diskPath, "\\x64");
  EXPECT_EQ(file(p.files, "qv64.sys")->subdir, "drivers");
  // A file listed only in the plain section still takes the decorated disk of its id.
  EXPECT_EQ(file(p.files, "qvhelp.dll")->diskPath, "\\x64");
  EXPECT_EQ(file(p.files, "qvhelp.dll")->subdir, "help");
}

TEST(RestoreInf, X86ReadsItsOwnSectionsAndPlainFallbacks) {
  const InfPackage p = read(kDecorated, MachineArch::X86);
  EXPECT_EQ(p.catalog, "plain.cat");
  EXPECT_EQ(p.description, "Qv Adapter");
  ASSERT_EQ(p.files.size(), 1u);
  EXPECT_EQ(p.files[0].name, "qv32.sys");
  EXPECT_EQ(p.files[0].diskPath, "\\plain");
  EXPECT_TRUE(p.files[0].listed);
}

TEST(RestoreInf, ArchitectureWithoutModelsIsToldApart) {
  const InfPackage arm = read(kDecorated, MachineArch::Arm64);
  EXPECT_TRUE(arm.hasManufacturers);
  EXPECT_FALSE(arm.hasModelsForArch);
  EXPECT_TRUE(arm.files.empty());
  // 64-bit Windows never takes an undecorated models section.
  const InfPackage plain = read("[Manufacturer]\nQv=Models\n[Models]\nDev=Inst,ROOT\\QV\n[Inst]\n");
  EXPECT_FALSE(plain.hasModelsForArch);
  EXPECT_TRUE(read("[Manufacturer]\nQv=Models\n[Models]\nDev=Inst,ROOT\\QV\n[Inst]\n", MachineArch::X86)
                  .hasModelsForArch);
  // An INF without manufacturers is not a device INF at all.
  EXPECT_FALSE(read("[Version]\nClass=Printer\n").hasManufacturers);
}

TEST(RestoreInf, CatalogNamedOnlyForAmd64) {
  const std::string text = "[Version]\nCatalogFile.NTamd64 = only64.cat ; signed\n";
  EXPECT_EQ(read(text).catalog, "only64.cat");
  EXPECT_EQ(read(text, MachineArch::X86).catalog, "");
}

TEST(RestoreInf, StringsResolveWithQuotesCommasAndPercentEscapes) {
  const auto doc = IniDocument::parse(
      "[Version]\nProvider=%P%\nClass=%Missing%\n"
      "[Strings]\nP = \"Acme, \"\"Best\"\" Co\" ; comment\nQ = plain text ; note\n"
      "[Strings.0804]\nQ = \"中文名\"\n");
  EXPECT_EQ(ResolveInfStrings(doc, "%P%"), "Acme, \"Best\" Co");
  EXPECT_EQ(ResolveInfStrings(doc, "100%% by %q%"), "100% by 中文名");  // keys match without case
  EXPECT_EQ(ResolveInfStrings(doc, "%Missing% and %open"), "%Missing% and %open");
  const InfPackage p = ReadInfPackage(doc, MachineArch::Amd64);
  EXPECT_EQ(p.provider, "Acme, \"Best\" Co");
  EXPECT_EQ(p.className, "%Missing%");
}

TEST(RestoreInf, RepeatedSectionsAreMerged) {
  const InfPackage p = read(
      "[Manufacturer]\nA=M,NTamd64\n[M.NTamd64]\nOne=I,ID1\n[Manufacturer]\nB=N,NTamd64\n"
      "[N.NTamd64]\nTwo=I,ID2\n[I]\nCopyFiles=L\n[L]\na.sys\n[L]\nb.sys\n");
  EXPECT_EQ(p.deviceIds, (std::vector<std::string>{"ID1", "ID2"}));
  ASSERT_EQ(p.files.size(), 2u);
  EXPECT_EQ(p.files[1].name, "b.sys");
  EXPECT_FALSE(p.files[1].listed);
}

TEST(RestoreInf, DriverVersionForDisplay) {
  EXPECT_EQ(DisplayDriverVersion("06/21/2006,10.0.1.2"), "10.0.1.2 (06/21/2006)");
  EXPECT_EQ(DisplayDriverVersion("06/21/2006"), "06/21/2006");
  EXPECT_EQ(DisplayDriverVersion(""), "");
}

}  // namespace
}  // namespace qelvaro::restore
