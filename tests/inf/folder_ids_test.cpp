// Directory ids, driver folder names and the order of the source-file search.

#include <gtest/gtest.h>

#include "folder_ids.h"
#include "source_search.h"

namespace qelvaro {
namespace {

const FixedSystemFolders kFolders("C:\\WINDOWS", "C:\\WINDOWS\\system32");

TEST(WhereIsDir, KnownIdsResolveToTheirFolders) {
  EXPECT_EQ(WhereIsDir("01", kFolders), "C:\\");
  EXPECT_EQ(WhereIsDir("24", kFolders), "C:\\");
  EXPECT_EQ(WhereIsDir("30", kFolders), "C:\\");
  EXPECT_EQ(WhereIsDir("10", kFolders), "C:\\WINDOWS");
  EXPECT_EQ(WhereIsDir("11", kFolders), "C:\\WINDOWS\\system32");
  EXPECT_EQ(WhereIsDir("50", kFolders), "C:\\WINDOWS\\system32");
  EXPECT_EQ(WhereIsDir("12", kFolders), "C:\\WINDOWS\\system32\\Drivers");
  EXPECT_EQ(WhereIsDir("17", kFolders), "C:\\WINDOWS\\inf");
  EXPECT_EQ(WhereIsDir("18", kFolders), "C:\\WINDOWS\\Help");
  EXPECT_EQ(WhereIsDir("20", kFolders), "C:\\WINDOWS\\Fonts");
  EXPECT_EQ(WhereIsDir("23", kFolders), "C:\\WINDOWS\\system32\\spool\\drivers\\color");
  EXPECT_EQ(WhereIsDir("51", kFolders), "C:\\WINDOWS\\system32\\Spool");
  EXPECT_EQ(WhereIsDir("52", kFolders), "C:\\WINDOWS\\system32\\Spool\\Drivers");
  EXPECT_EQ(WhereIsDir("55", kFolders), "C:\\WINDOWS\\system32\\spool\\prtprocs");
  EXPECT_EQ(WhereIsDir("66000", kFolders), "C:\\WINDOWS\\system32\\spool\\Drivers\\w32x86");
  EXPECT_EQ(WhereIsDir("66004", kFolders), "C:\\WINDOWS\\system32\\spool\\Drivers\\w32x86");
  EXPECT_EQ(WhereIsDir("66001", kFolders), "C:\\WINDOWS\\system32\\spool\\prtprocs\\w32x86");
  EXPECT_EQ(WhereIsDir("66003", kFolders), "C:\\WINDOWS\\system32\\spool\\drivers\\color");
}

TEST(WhereIsDir, EverythingElseIsEmpty) {
  for (const char* id : {"21", "25", "53", "54", "-1", "66002", "12,drivers", "012", " 12", "12 ",
                         "99", "", "1", "10\\sub"}) {
    EXPECT_EQ(WhereIsDir(id, kFolders), "") << "id '" << id << "'";
  }
}

TEST(SafeDir, ReplacesTheNineForbiddenCharactersOnly) {
  EXPECT_EQ(SafeDir("Intel(R) PRO/1000 MT: Network"), "Intel(R) PRO 1000 MT  Network");
  EXPECT_EQ(SafeDir("a\\b/c*d:e;f?g>h<i|j\"k."), "a b c d e f g h i j\"k.");
  EXPECT_EQ(SafeDir("Realtek High Definition Audio"), "Realtek High Definition Audio");
  EXPECT_EQ(SafeDir(""), "");
  EXPECT_EQ(SafeDir("\xE6\x98\xBE\xE5\x8D\xA1/x"), "\xE6\x98\xBE\xE5\x8D\xA1 x");  // UTF-8 untouched
}

TEST(SourceSearch, ExtensionIsTheSecondDotPart) {
  EXPECT_EQ(SourceKeyExtension("x.sys"), "sys");
  EXPECT_EQ(SourceKeyExtension("A.B.SYS"), "b");
  EXPECT_EQ(SourceKeyExtension("HELP.HLP"), "hlp");
  EXPECT_EQ(SourceKeyExtension("noext"), "");
  EXPECT_EQ(SourceKeyExtension("trailing."), "");
}

TEST(SourceSearch, CandidatesComeInLookupOrder) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SourceFileCandidates("x.sys", {"12"}, kFolders).candidates,
            (V{"C:\\WINDOWS\\system32\\Drivers\\x.sys", "C:\\WINDOWS\\system32\\drivers\\x.sys"}));
  EXPECT_EQ(SourceFileCandidates("z.hlp", {""}, kFolders).candidates, (V{"C:\\WINDOWS\\help\\z.hlp"}));
  EXPECT_EQ(SourceFileCandidates("a.b.sys", {""}, kFolders).candidates, (V{"C:\\WINDOWS\\system32\\a.b.sys"}));
  EXPECT_EQ(SourceFileCandidates("noext", {""}, kFolders).candidates, (V{"C:\\WINDOWS\\system32\\noext"}));
  // An id that resolves to nothing still gives a (root-relative) candidate.
  EXPECT_EQ(SourceFileCandidates("y.dll", {"21"}, kFolders).candidates,
            (V{"\\y.dll", "C:\\WINDOWS\\system32\\y.dll"}));

  const auto printer = SourceFileCandidates("unidrv.dll", {"66000"}, kFolders).candidates;
  ASSERT_EQ(printer.size(), 21u);
  EXPECT_EQ(printer[0], "C:\\WINDOWS\\system32\\spool\\Drivers\\w32x86\\unidrv.dll");
  EXPECT_EQ(printer[3], "C:\\WINDOWS\\system32\\spool\\Drivers\\w32x86\\3\\unidrv.dll");
  EXPECT_EQ(printer[19], "C:\\WINDOWS\\system32\\spool\\Drivers\\w32x86\\19\\unidrv.dll");
  EXPECT_EQ(printer[20], "C:\\WINDOWS\\system32\\unidrv.dll");
  // Only the exact printer-driver folder gets the numbered search.
  EXPECT_EQ(SourceFileCandidates("p.dll", {"52"}, kFolders).candidates.size(), 2u);
}

}  // namespace
}  // namespace qelvaro
