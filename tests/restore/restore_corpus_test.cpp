// Every real driver INF of the corpus, read for each architecture as a restore reads
// it: no crash, and every layout that is accepted stays inside the staging folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "restore_inf.h"
#include "restore_layout.h"
#include "base/text_encoding.h"

namespace qelvaro::restore {
namespace {

TEST(RestoreCorpus, EveryInfReadsAndEveryLayoutStaysInside) {
  const std::filesystem::path dir = std::filesystem::path(QELVARO_CORPUS_DIR) / "inf";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
  int infs = 0, withFiles = 0, refused = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file() || !iequalsAscii(entry.path().extension().string(), ".inf")) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const auto doc = IniDocument::parse(decodeProfileText(bytes.str(), windows1252ToUtf8));
    ++infs;
    for (MachineArch arch : {MachineArch::X86, MachineArch::Amd64, MachineArch::Arm64}) {
      const InfPackage p = ReadInfPackage(doc, arch);
      if (!p.files.empty()) ++withFiles;
      for (const auto* list : {&p.files, &p.listedFiles}) {
        for (const SourceFile& f : *list) {
          const auto rel = SafeRelativePath(f.diskPath, f.subdir, f.name);
          if (!rel) {
            if (refused++ < 12) std::cout << "refused: " << entry.path().filename() << ": " << f.diskPath << " | " << f.subdir << " | " << f.name << "\n";
            continue;
          }
          EXPECT_EQ(rel->find(".."), std::string::npos) << entry.path() << ": " << *rel;
          EXPECT_EQ(rel->find(':'), std::string::npos) << entry.path() << ": " << *rel;
          EXPECT_NE(rel->front(), '\\') << entry.path() << ": " << *rel;
        }
      }
    }
  }
  EXPECT_GT(infs, 600);
  EXPECT_GT(withFiles, 300);  // the reading finds the files of most real INFs
  EXPECT_EQ(refused, 0);      // no real INF names a path outside its package
  std::cout << infs << " INFs, " << withFiles << " readings with files, " << refused << " paths refused\n";
}

}  // namespace
}  // namespace qelvaro::restore
