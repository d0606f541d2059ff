// How our profile reader reads INF files: the rules the backup depends on, and the
// quirks of real driver INFs.

#include <gtest/gtest.h>

#include <string>

#include "ini_reader.h"
#include "md_ini_inf.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

using Entries = std::vector<std::string>;

IniDocument parse(const std::string& text) { return IniDocument::parse(text); }

TEST(IniReader, NamesMatchWithoutCaseAndTheFirstKeyWins) {
  const auto doc = parse(
      "[version]\r\nCATALOGFILE=x.cat\r\ncatalogfile=second.cat\r\n"
      "[Version]\r\nCatalogFile=third.cat\r\n");
  EXPECT_EQ(doc.value("Version", "CatalogFile"), "x.cat");
  EXPECT_EQ(doc.value("VERSION", "catalogFILE"), "x.cat");
  // A repeated section is never consulted: the first one decides.
  EXPECT_EQ(doc.sectionEntries("version"), (Entries{"CATALOGFILE=x.cat", "catalogfile=second.cat"}));
}

TEST(IniReader, BlanksAroundNamesAndValuesGo) {
  const auto doc = parse("  [S]  \n \t a.sys \t=\t 1,,,,  \nb.dll=1\n  key with blanks  =  v a l  \n");
  EXPECT_EQ(doc.sectionEntries("S"), (Entries{"a.sys=1,,,,", "b.dll=1", "key with blanks=v a l"}));
  EXPECT_EQ(doc.value("S", "  key with blanks "), "v a l");
}

TEST(IniReader, CommentsLineBreaksAndControlCharacters) {
  const auto doc = parse(
      "; leading comment\n[S]\n;a.sys=1\n  ; indented comment\nb.sys=2 ; trailing stays\n"
      "c.sys=3\r\rd.sys=4\x1A\n\x1A");
  // Comment lines are not entries; a comment after a value is part of the value.
  EXPECT_EQ(doc.sectionEntries("S"), (Entries{"b.sys=2 ; trailing stays", "c.sys=3", "d.sys=4"}));
  EXPECT_EQ(doc.value("S", "b.sys"), "2 ; trailing stays");
}

TEST(IniReader, LinesWithoutEqualsAndEmptyNames) {
  const auto doc = parse("[S]\nlonely.sys\nk=\n=v1\n=v2\nlast\n");
  // A line without "=" is an entry without value; its key reads as missing.
  EXPECT_EQ(doc.sectionEntries("S"), (Entries{"lonely.sys", "k=", "=v1", "last"}));
  EXPECT_EQ(doc.value("S", "lonely.sys"), std::nullopt);
  EXPECT_EQ(doc.value("S", "k"), "");
}

TEST(IniReader, QuotesComeOffSingleValuesOnly) {
  const auto doc = parse("[S]\na=\"quoted value\"\nb='single'\nc=\"open\nd=\"\ne=\"\"\nf=\"x\" y\n");
  EXPECT_EQ(doc.value("S", "a"), "quoted value");
  EXPECT_EQ(doc.value("S", "b"), "single");
  EXPECT_EQ(doc.value("S", "c"), "\"open");
  EXPECT_EQ(doc.value("S", "d"), "\"");
  EXPECT_EQ(doc.value("S", "e"), "");
  EXPECT_EQ(doc.value("S", "f"), "\"x\" y");
  EXPECT_EQ(doc.sectionEntries("S")->front(), "a=\"quoted value\"");
}

TEST(IniReader, SectionHeadersAndStrayText) {
  const auto doc = parse(
      "stray=before any section\n[A] trailing junk\nx=1\n[B\ny=2\n[C]]\nz=3\n[]\nw=4\n[ Padded ]\nq=5\n");
  EXPECT_EQ(doc.value("A", "x"), "1");
  // "[B" has no closing bracket: it is a line of section A.
  EXPECT_EQ(doc.sectionEntries("A"), (Entries{"x=1", "[B", "y=2"}));
  EXPECT_EQ(doc.value("C]", "z"), "3");  // the header runs to the last "]"
  EXPECT_EQ(doc.value("", "w"), std::nullopt);  // the nameless section before [A] comes first
  EXPECT_EQ(doc.value("", "stray"), "before any section");
  EXPECT_EQ(doc.value("Padded", "q"), std::nullopt);  // blanks inside brackets belong to the name
  EXPECT_EQ(doc.value(" Padded ", "q"), std::nullopt);
  EXPECT_EQ(doc.sectionEntries("Missing"), std::nullopt);
  EXPECT_EQ(doc.sectionEntries("B"), std::nullopt);
}

TEST(IniReader, EmbeddedNulEndsNamesAndValues) {
  const std::string text("[S]\nab\0cd=v\0w\n", 14);
  const auto doc = parse(text);
  EXPECT_EQ(doc.value("S", "ab"), "v");
}

TEST(ProfileText, EncodingsAreRecognised) {
  const auto ansi = [](std::string_view b) { return windows1252ToUtf8(b); };
  const std::string utf8 = "[S]\nname=\xE6\x98\xBE\xE5\x8D\xA1\n";  // 显卡
  EXPECT_EQ(decodeProfileText(utf8, ansi), utf8);
  EXPECT_EQ(decodeProfileText("\xEF\xBB\xBF" + utf8, ansi), utf8);

  std::string le = "\xFF\xFE";
  std::string be = "\xFE\xFF";
  for (const char16_t u : utf8ToUtf16(utf8)) {
    le += static_cast<char>(u & 0xFF);
    le += static_cast<char>(u >> 8);
    be += static_cast<char>(u >> 8);
    be += static_cast<char>(u & 0xFF);
  }
  EXPECT_EQ(decodeProfileText(le, ansi), utf8);
  EXPECT_EQ(decodeProfileText(be, ansi), utf8);

  // Not UTF-8: the ANSI code page (Windows-1252 here): e-acute, euro sign.
  EXPECT_EQ(decodeProfileText("v=caf\xE9 \x80", ansi), "v=caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(ReadIni, ValuesAreCutAt749CharactersAndKeysComeInFileOrder) {
  const std::string longValue(800, 'v');
  const auto doc = parse("[Version]\nCATALOGFILE=x.cat\nLong=" + longValue + "\n[SourceDisksFiles]\n"
                         "a.sys = 1\nb.dll = 1,,,,\na.sys = 2\n");
  EXPECT_EQ(ReadIniValue(doc, "Version", "CatalogFile", ""), "x.cat");
  EXPECT_EQ(ReadIniValue(doc, "Version", "Long", ""), std::string(749, 'v'));
  EXPECT_EQ(ReadIniValue(doc, "Version", "Missing", "fallback"), "fallback");
  EXPECT_EQ(ReadIniSectionKeys(doc, "SourceDisksFiles"), (Entries{"a.sys", "b.dll", "a.sys"}));
  EXPECT_EQ(ReadIniSectionKeys(doc, "Nowhere"), (Entries{""}));
  EXPECT_EQ(ReadIniSectionKeys(parse("[Empty]\n; only a comment\n"), "Empty"), (Entries{""}));
}

TEST(ReadIni, LongSectionsAreReadWhole) {
  // Far beyond the 5,120-character buffer of the platform call: nothing is dropped.
  std::string text = "[SourceDisksFiles]\n";
  for (int i = 0; i < 2000; ++i) text += "printer_file_" + std::to_string(i) + ".dll = 1,,\n";
  const auto keys = ReadIniSectionKeys(parse(text), "SourceDisksFiles");
  ASSERT_EQ(keys.size(), 2000u);
  EXPECT_EQ(keys.back(), "printer_file_1999.dll");
}

}  // namespace
}  // namespace qelvaro
