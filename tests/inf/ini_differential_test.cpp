// Our INF reader against the platform's own profile functions, on every real driver
// INF of the corpus and on quirk fixtures: the values and key lists that the backup
// reads must agree. The platform gets buffers large enough for whole sections (our
// reader does not cut sections short).

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "md_ini_inf.h"
#include "base/text_encoding.h"
#include "win32_file_system.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

namespace fs = std::filesystem;

// The test runs under Wine with Unix paths compiled in; Wine maps them onto Z:.
std::string dosPath(const std::string& unixPath) {
  std::string p = "Z:" + unixPath;
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
}

std::vector<std::string> platformSection(const std::string& file, const std::string& section) {
  std::vector<wchar_t> buffer(1 << 20, L'\0');
  const DWORD n = GetPrivateProfileSectionW(base::widen(section).c_str(), buffer.data(),
                                            static_cast<DWORD>(buffer.size()), base::widen(file).c_str());
  std::vector<std::string> entries;
  for (const wchar_t* p = buffer.data(); p < buffer.data() + n && *p; p += wcslen(p) + 1) {
    entries.push_back(base::narrow(p));
  }
  return entries;
}

std::string platformValue(const std::string& file, const std::string& section, const std::string& key) {
  wchar_t buffer[750] = {};
  const DWORD n = GetPrivateProfileStringW(base::widen(section).c_str(), base::widen(key).c_str(), L"", buffer, 750,
                                           base::widen(file).c_str());
  return base::narrow(std::wstring_view(buffer, n));
}

// A file the platform reads as ANSI although it is UTF-8 (no byte-order mark):
// we read UTF-8, so our text, read back as ANSI bytes, must give the platform's.
bool isBomlessUtf8(const std::string& bytes) {
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0 || bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0)
    return false;
  const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return !ascii && isValidUtf8(bytes);
}

std::string asPlatformSees(const std::string& ours, bool bomlessUtf8, const FileSystem& files) {
  return bomlessUtf8 ? files.decodeAnsi(ours) : ours;
}

struct Outcome {
  int files = 0;
  int compared = 0;
  std::vector<std::string> failures;
};

// `path` is a Windows path; `unixPath` names the file in messages.
void compareFile(const std::string& unixPath, const std::string& path, Outcome& outcome) {
  const Win32FileSystem files;
  const auto bytes = files.readFile(path);
  if (!bytes) {
    outcome.failures.push_back(unixPath + ": unreadable");
    return;
  }
  const bool utf8 = isBomlessUtf8(*bytes);
  const auto doc = LoadIniFile(path, files);
  ++outcome.files;
  auto check = [&](const std::string& what, const std::string& ours, const std::string& theirs) {
    ++outcome.compared;
    if (asPlatformSees(ours, utf8, files) != theirs) {
      outcome.failures.push_back(unixPath + ": " + what + ": ours '" + ours + "' platform '" + theirs + "'");
    }
  };
  check("Version/CatalogFile", ReadIniValue(*doc, "Version", "CatalogFile", ""),
        platformValue(path, "Version", "catalogfile"));
  check("DestinationDirs/DefaultDestDir", ReadIniValue(*doc, "DestinationDirs", "DefaultDestDir", ""),
        platformValue(path, "DestinationDirs", "defaultdestdir"));
  for (const char* section : {"SourceDisksFiles", "Version", "DestinationDirs", "SourceDisksNames"}) {
    const auto ours = doc->sectionEntries(section).value_or(std::vector<std::string>{});
    const auto theirs = platformSection(path, section);
    std::string joinedOurs, joinedTheirs;
    for (const auto& e : ours) joinedOurs += asPlatformSees(e, utf8, files) + "\n";
    for (const auto& e : theirs) joinedTheirs += e + "\n";
    ++outcome.compared;
    if (joinedOurs != joinedTheirs) {
      outcome.failures.push_back(unixPath + ": section [" + section + "] differs: ours " +
                                 std::to_string(ours.size()) + " entries, platform " +
                                 std::to_string(theirs.size()));
    }
  }
  // Every value of [Version], read singly, as the backup would read it.
  for (const auto& key : ReadIniSectionKeys(*doc, "Version")) {
    if (key.empty()) continue;
    check("Version/" + key, ReadIniValue(*doc, "Version", key, ""), platformValue(path, "Version", key));
  }
}

TEST(IniDifferential, EveryCorpusInfAgreesWithThePlatform) {
  const fs::path corpus = fs::path(QELVARO_CORPUS_DIR) / "inf";
  ASSERT_TRUE(fs::is_directory(corpus)) << "corpus not found at " << corpus.string();
  Outcome outcome;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (!entry.is_regular_file() || entry.path().filename() == "SOURCES.txt") continue;
    compareFile(entry.path().generic_string(), dosPath(entry.path().generic_string()), outcome);
  }
  std::cout << "compared " << outcome.compared << " reads in " << outcome.files << " files\n";
  EXPECT_GE(outcome.files, 689);
  for (const auto& f : outcome.failures) ADD_FAILURE() << f;
}

// Fixtures written for the quirks, plus generated ones in each encoding.
TEST(IniDifferential, QuirkFixturesAgreeWithThePlatform) {
  const fs::path fixtures = fs::path(QELVARO_FIXTURES_DIR) / "inf";
  ASSERT_TRUE(fs::is_directory(fixtures));
  Outcome outcome;
  for (const auto& entry : fs::directory_iterator(fixtures)) {
    compareFile(entry.path().generic_string(), dosPath(entry.path().generic_string()), outcome);
  }
  std::cout << "compared " << outcome.compared << " reads in " << outcome.files << " files\n";
  EXPECT_GE(outcome.files, 5);
  for (const auto& f : outcome.failures) ADD_FAILURE() << f;
}

void writeBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string toUtf16Le(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (const char16_t u : utf8ToUtf16(utf8)) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

TEST(IniDifferential, LongValuesAndSectionsInEveryEncoding) {
  std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile=" + std::string(800, 'c') +
                     "\r\n[DestinationDirs]\r\nDefaultDestDir = 66000\r\n[SourceDisksFiles]\r\n";
  const std::size_t sectionStart = text.size();
  std::size_t generated = 0;
  for (; text.size() - sectionStart < 10000; ++generated) {
    text += "file_" + std::to_string(text.size()) + ".dll = 1,,\r\n";
  }
  text += "[Strings]\r\nName=\xE6\x89\x93\xE5\x8D\xB0\xE6\x9C\xBA\r\n";  // 打印机
  const fs::path dir = fs::temp_directory_path() / "qelvaro-ini-long";
  fs::create_directories(dir);
  writeBytes(dir / "utf8bom.inf", "\xEF\xBB\xBF" + text);
  writeBytes(dir / "utf8.inf", text);
  writeBytes(dir / "utf16.inf", toUtf16Le(text));
  std::string lf = text;
  lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
  writeBytes(dir / "lf.inf", lf);

  Outcome outcome;
  for (const char* name : {"utf8bom.inf", "utf8.inf", "utf16.inf", "lf.inf"}) {
    const std::string path = (dir / name).string();
    compareFile(path, path, outcome);
    const auto keys = ReadIniSectionKeys("SourceDisksFiles", path, Win32FileSystem());
    EXPECT_EQ(keys.size(), generated) << name;  // the whole 10,000-character section
    EXPECT_EQ(ReadIniValue("Version", "CatalogFile", path, "", Win32FileSystem()), std::string(749, 'c'));
  }
  for (const auto& f : outcome.failures) ADD_FAILURE() << f;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qelvaro
