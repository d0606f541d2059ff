// What the backup reads from an INF, as Windows' INF parser reads it: hand-written
// INFs for each form, and the real INFs of the corpus against the plain profile read.

#include "inf_backup_view.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "folder_ids.h"
#include "md_ini_inf.h"
#include "source_search.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

using Names = std::vector<std::string>;

InfBackupView read(const std::string& text, MachineArch arch = MachineArch::Amd64) {
  return ReadInfForBackup(IniDocument::parse(text), arch);
}

TEST(InfBackupView, CommentsBlanksAndQuotesAroundValues) {
  const InfBackupView v = read(
      "[Version]\r\nCatalogFile = x.cat ; signed by WHQL\r\n"
      "[DestinationDirs]\r\nDefaultDestDir\t= 12\t; DIRID_DRIVERS\r\n"
      "[SourceDisksFiles]\r\n"
      "a.sys = 1 ; the driver\r\n"
      "\"b c.dll\" = 1,,,\r\n"
      "\"semi;colon.dll\" = 1\r\n"
      "nokey.ini ; a line without a value\r\n"
      "; old.sys = 1\r\n"
      "  ;also = commented\r\n");
  EXPECT_EQ(v.catalog, "x.cat");
  EXPECT_EQ(v.destination, (InfDestination{"12", ""}));
  EXPECT_EQ(v.sourceFiles, (Names{"a.sys", "b c.dll", "semi;colon.dll", "nokey.ini"}));

  const InfBackupView quoted = read("[Version]\r\nCatalogFile=\"my drv.cat\"\r\n[DestinationDirs]\r\n"
                                    "DefaultDestDir = \"10\" , \"System32\\drivers\\UMDF\" ; x\r\n");
  EXPECT_EQ(quoted.catalog, "my drv.cat");
  EXPECT_EQ(quoted.destination, (InfDestination{"10", "System32\\drivers\\UMDF"}));
  EXPECT_TRUE(quoted.sourceFiles.empty());

  // A catalog key that is only a comment, or empty, gives no catalog.
  EXPECT_EQ(read("[Version]\r\nCatalogFile = ; none yet\r\n").catalog, "");
  EXPECT_EQ(read("[Version]\r\n;CatalogFile = x.cat\r\n").catalog, "");
}

TEST(InfBackupView, CatalogDecoratedForTheNativeArchitectureFirst) {
  const std::string all =
      "[Version]\r\nCatalogFile=plain.cat\r\nCatalogFile.NT=nt.cat\r\n"
      "CatalogFile.NTx86=x86.cat\r\nCATALOGFILE.ntamd64 = amd64.cat ; 64-bit\r\n";
  EXPECT_EQ(read(all, MachineArch::Amd64).catalog, "amd64.cat");
  EXPECT_EQ(read(all, MachineArch::X86).catalog, "x86.cat");
  EXPECT_EQ(read(all, MachineArch::Arm64).catalog, "nt.cat");
  EXPECT_EQ(read("[Version]\r\nCatalogFile.NTx86=x86.cat\r\nCatalogFile=plain.cat\r\n", MachineArch::Amd64).catalog,
            "plain.cat");
  // Only another architecture's catalog: none for this machine.
  EXPECT_EQ(read("[Version]\r\nCatalogFile.NTx86=x86.cat\r\n", MachineArch::Amd64).catalog, "");
  EXPECT_EQ(read("[Version]\r\nCatalogFile.NTamd64=only.cat\r\n", MachineArch::Amd64).catalog, "only.cat");
}

TEST(InfBackupView, SourceFilesOfTheArchitectureThenTheUndecoratedOnesOnce) {
  const std::string text =
      "[SourceDisksFiles.x86]\r\nx86only.sys=1,\\x86\r\ncommon.dll=1,\\x86\r\n"
      "[SourceDisksFiles]\r\nCOMMON.DLL=1\r\nshared.ini=1\r\n"
      "[SourceDisksFiles.amd64]\r\nx64only.sys=1,\\x64\r\ncommon.dll=1,\\x64\r\n"
      "[SourceDisksFiles.arm64]\r\narm.sys=1\r\n";
  EXPECT_EQ(read(text, MachineArch::Amd64).sourceFiles, (Names{"x64only.sys", "common.dll", "shared.ini"}));
  EXPECT_EQ(read(text, MachineArch::X86).sourceFiles, (Names{"x86only.sys", "common.dll", "shared.ini"}));
  EXPECT_EQ(read(text, MachineArch::Arm64).sourceFiles, (Names{"arm.sys", "COMMON.DLL", "shared.ini"}));
  // Decorated sections only, none for this machine: nothing but the INF to back up.
  EXPECT_TRUE(read("[SourceDisksFiles.x86]\r\na.sys=1\r\n", MachineArch::Amd64).sourceFiles.empty());
}

TEST(InfBackupView, RepeatedSectionsAreOneAndStringsAreSubstituted) {
  const InfBackupView v = read(
      "[SourceDisksFiles]\r\na.sys=1\r\n"
      "[Version]\r\nSignature=\"$Windows NT$\"\r\n"
      "[SourceDisksFiles]\r\nb.dll=1\r\na.sys=1\r\n"
      "[Version]\r\nCatalogFile=%Short%.cat\r\n"
      "[DestinationDirs]\r\nDefaultDestDir=%WinDir%,%Sub%\r\n"
      "[SourceDisksFiles]\r\n%Helper%=1\r\n100%%.dat=1\r\n%Unknown%.dll=1\r\n"
      "[Strings]\r\nShort=\"drv;x\"\r\nwindir = 10 ; the Windows folder\r\nShort=ignored\r\n"
      "[strings]\r\nSub=\"Drivers\\Sub\"\r\nHelper=help.exe\r\n");
  EXPECT_EQ(v.catalog, "drv;x.cat");
  EXPECT_EQ(v.destination, (InfDestination{"10", "Drivers\\Sub"}));
  EXPECT_EQ(v.sourceFiles, (Names{"a.sys", "b.dll", "help.exe", "100%.dat", "%Unknown%.dll"}));
}

TEST(InfBackupView, DestinationFolderTakesTheSubfolder) {
  const FixedSystemFolders folders("C:\\Windows");
  EXPECT_EQ(DestinationFolder({"10", "System32\\drivers\\UMDF"}, folders), "C:\\Windows\\System32\\drivers\\UMDF");
  EXPECT_EQ(DestinationFolder({"12", "\\UMDF"}, folders), "C:\\Windows\\System32\\Drivers\\UMDF");
  EXPECT_EQ(DestinationFolder({"12", ""}, folders), "C:\\Windows\\System32\\Drivers");
  // An id that maps to no folder gives none, subfolder or not.
  EXPECT_EQ(DestinationFolder({"13", "x"}, folders), "");
  EXPECT_EQ(SourceFileCandidates("u.dll", {"12", "UMDF"}, folders).candidates,
            (Names{"C:\\Windows\\System32\\Drivers\\UMDF\\u.dll", "C:\\Windows\\System32\\u.dll"}));
}

// The INF read the way the profile functions hand it over: what the backup read before.
InfBackupView profileRead(const IniDocument& doc) {
  InfBackupView v;
  v.catalog = ReadIniValue(doc, "Version", "CatalogFile", "");
  v.destination.dirId = ReadIniValue(doc, "DestinationDirs", "DefaultDestDir", "");
  for (auto& key : ReadIniSectionKeys(doc, "SourceDisksFiles")) {
    if (!key.empty()) v.sourceFiles.push_back(std::move(key));
  }
  return v;
}

bool clean(const std::string& name) { return name == InfValue(name) && name.find(';') == std::string::npos; }

std::optional<IniDocument> loadCorpusFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return IniDocument::parse(decodeProfileText(bytes.str(), [](std::string_view b) { return windows1252ToUtf8(b); }));
}

TEST(InfBackupView, CorpusReadsAsWindowsReadsThem) {
  namespace fs = std::filesystem;
  const fs::path corpus = fs::path(QELVARO_CORPUS_DIR) / "inf";
  ASSERT_TRUE(fs::is_directory(corpus)) << "corpus not found at " << corpus.string();
  const FixedSystemFolders folders("C:\\Windows");
  int infs = 0, changed = 0, catalogs = 0, decoratedCatalogs = 0, destinations = 0, fileLists = 0,
      decoratedOnly = 0;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    const std::string ext = asciiLowerCopy(entry.path().extension().string());
    if (!entry.is_regular_file() || (ext != ".inf" && ext != ".inx")) continue;
    ++infs;
    const IniDocument doc = *loadCorpusFile(entry.path());
    const InfBackupView before = profileRead(doc);
    const InfBackupView now = ReadInfForBackup(doc, MachineArch::Amd64);
    const std::string file = entry.path().filename().string();

    // Nothing read now carries a comment, outer blanks or outer quotes.
    EXPECT_TRUE(clean(now.catalog)) << file << ": " << now.catalog;
    EXPECT_TRUE(clean(now.destination.dirId)) << file << ": " << now.destination.dirId;
    for (const auto& f : now.sourceFiles) EXPECT_TRUE(clean(f) && !f.empty()) << file << ": " << f;
    // A name the plain read got right is still there.
    if (!before.catalog.empty() && clean(before.catalog) && before.catalog.find('%') == std::string::npos &&
        now.catalog != before.catalog) {
      // Only a catalog decorated for this machine may stand in for it.
      EXPECT_FALSE(ReadIniValue(doc, "Version", "CatalogFile.NTamd64", "").empty() &&
                   ReadIniValue(doc, "Version", "CatalogFile.NT", "").empty())
          << file;
    }
    for (const auto& f : before.sourceFiles) {
      if (!clean(f)) continue;
      bool kept = false;
      for (const auto& g : now.sourceFiles) kept = kept || iequalsAscii(f, g);
      EXPECT_TRUE(kept) << file << ": " << f;
    }

    const bool catalog = now.catalog != before.catalog;
    const bool destination = DestinationFolder(now.destination, folders) != WhereIsDir(before.destination.dirId, folders);
    const bool files = now.sourceFiles != before.sourceFiles;
    catalogs += catalog;
    decoratedCatalogs += catalog && before.catalog.empty();
    destinations += destination;
    fileLists += files;
    decoratedOnly += files && before.sourceFiles.empty();
    changed += catalog || destination || files;
  }
  std::cout << "corpus: " << infs << " INFs, " << changed << " read differently: " << catalogs << " catalogs ("
            << decoratedCatalogs << " named only in a decorated key), " << destinations << " destination folders, "
            << fileLists << " file lists (" << decoratedOnly << " listed only in decorated sections)\n";
  EXPECT_GT(infs, 600);
  EXPECT_GT(decoratedCatalogs, 0);
  EXPECT_GT(decoratedOnly, 0);
}

TEST(InfBackupView, CorpusExamples) {
  const std::filesystem::path inf = std::filesystem::path(QELVARO_CORPUS_DIR) / "inf";
  auto view = [&](const char* rel) {
    return ReadInfForBackup(*loadCorpusFile(inf / rel), MachineArch::Amd64);
  };
  // CatalogFile=rt2500usb.CAT            ;for WHQL certified
  EXPECT_EQ(view("driverpack-wlan/Ralink__5x64__2500_3.02.00__rt25NWusb.inf").catalog, "rt2500usb.CAT");
  // Catalogs only as CatalogFile.ntx86 and CatalogFile.ntamd64.
  EXPECT_EQ(view("driverpack-bluetooth/Ralink__FORCED__NTx64__USB__OLD__rtusb.inf").catalog, "rtmsbtx.cat");
  // Files only in [SourceDisksFiles.x86] and [SourceDisksFiles.amd64].
  const InfBackupView audio = view("imac2017-bootcamp/drivers__audio__cs4208_38.inf");
  ASSERT_GE(audio.sourceFiles.size(), 5u);
  EXPECT_EQ(audio.sourceFiles[0], "CSLFD.sys");
}

}  // namespace
}  // namespace qelvaro
