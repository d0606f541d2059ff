// What reading a profile file costs in memory: a hostile INF of millions of short
// lines must not turn into a string or record per line.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "inf_backup_view.h"
#include "inf_install_model.h"
#include "ini_reader.h"
#include "md_ini_inf.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_allocated{0};
}  // namespace

// Counts what is allocated while a test asks for it.
void* operator new(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocated += size;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace qelvaro {
namespace {

TEST(IniMemory, AFileOfManyShortLinesCostsAboutItsOwnSize) {
  std::string text = "[Version]\nCatalogFile=x.cat\n[Strings]\n";
  while (text.size() < (std::size_t{8} << 20)) text += "a=b\n";
  text += "[SourceDisksFiles]\nlast.sys=1\n";
  g_allocated = 0;
  g_counting = true;
  {
    const IniDocument doc = IniDocument::parse(text);
    EXPECT_EQ(ReadIniValue(doc, "Version", "CatalogFile", ""), "x.cat");
    EXPECT_EQ(ReadIniValue(doc, "DestinationDirs", "DefaultDestDir", ""), "");
    EXPECT_EQ(ReadIniSectionKeys(doc, "SourceDisksFiles"), std::vector<std::string>{"last.sys"});
  }
  g_counting = false;
  // The text is kept once; a record per line would cost tens of bytes per 4-byte line.
  EXPECT_LT(g_allocated.load(), text.size() + text.size() / 2) << "bytes allocated for " << text.size();
}

// What the backup and the install read of an INF: an index of the lines, not a
// copy of them, wherever the short lines stand.
TEST(IniMemory, ReadingAnInfOfManyShortLinesCostsASmallMultipleOfItsSize) {
  for (const char* section : {"Strings", "SourceDisksFiles", "Unnamed"}) {
    SCOPED_TRACE(section);
    std::string text = "[Version]\nSignature=\"$Windows NT$\"\nCatalogFile=%x%.cat\n[Strings]\nx=y\n[" +
                       std::string(section) + "]\n";
    while (text.size() < (std::size_t{4} << 20)) text += "a=b\n";
    const std::size_t size = text.size();
    const IniDocument doc = IniDocument::parse(std::move(text));
    g_allocated = 0;
    g_counting = true;
    {
      EXPECT_EQ(ReadInfForBackup(doc, MachineArch::Amd64).catalog, "y.cat");
      EXPECT_EQ(ReadInfInstallModel(doc, MachineArch::Amd64).catalog, "y.cat");
    }
    g_counting = false;
    EXPECT_LT(g_allocated.load(), 10 * size) << "bytes allocated for " << size;
  }
}

// Install sections that share one file list (thousands in a large printer INF) read
// it once between them: the cost stays a multiple of the file, not of sections times files.
TEST(IniMemory, InstallSectionsSharingOneFileListReadItOnce) {
  constexpr int kSections = 2000;
  std::string models, sections, files;
  for (int i = 0; i < kSections; ++i) {
    const std::string n = std::to_string(i);
    models += "D=I" + n + ",ROOT\\Q" + n + "\n";
    sections += "[I" + n + "]\nCopyFiles=L\n";
    files += "f" + n + ".sys\n";
  }
  const std::string text = "[Version]\nSignature=\"$Windows NT$\"\n[Manufacturer]\nQ=M,NTamd64\n[M.NTamd64]\n" +
                           models + sections + "[L]\n" + files;
  const IniDocument doc = IniDocument::parse(text);
  g_allocated = 0;
  g_counting = true;
  {
    const InfInstallModel model = ReadInfInstallModel(doc, MachineArch::Amd64);
    EXPECT_EQ(model.installSections.size(), std::size_t{kSections});
    EXPECT_EQ(model.copiedCount(), std::size_t{kSections});
  }
  g_counting = false;
  EXPECT_LT(g_allocated.load(), 40 * text.size()) << "bytes allocated for " << text.size();
}

}  // namespace
}  // namespace qelvaro
