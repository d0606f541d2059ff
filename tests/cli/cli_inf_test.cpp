// The `qelvaro inf` command: arguments, failures, and the report's shape.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <new>
#include <sstream>

#include "commands.h"
#include "console_ui.h"
#include "json_writer.h"

namespace qelvaro {
namespace {

class MemoryFileSystem final : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  bool exists(const std::string& path, AttrMask) const override { return files.count(path) != 0; }
  std::optional<std::string> readFile(const std::string& path) const override {
    const auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
  }
};

struct CommandRun {
  int code;
  std::string out;
  std::string err;
};

CommandRun run(const MemoryFileSystem& fs, const Args& args) {
  std::ostringstream out, err;
  const int code = RunInfCommand(args, fs, out, err);
  return {code, out.str(), err.str()};
}

TEST(InfCommand, ReportsEachReadableFileInArgumentOrder) {
  MemoryFileSystem fs;
  fs.files["b.inf"] =
      "[Version]\nCatalogFile=b.cat\n[DestinationDirs]\nDefaultDestDir=66000\n"
      "[SourceDisksFiles]\n\xE9.dll=1\n";  // Windows-1252 e-acute in a file name
  fs.files["a.inf"] = "[SourceDisksFiles]\nx.sys=1\n=empty key skipped\n";
  const CommandRun r = run(fs, {"b.inf", "missing.inf", "a.inf", "--windows-dir", "D:\\WIN\\"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "qelvaro inf: cannot read 'missing.inf'\n");
  const auto b = r.out.find("\"file\": \"b.inf\"");
  const auto a = r.out.find("\"file\": \"a.inf\"");
  ASSERT_NE(b, std::string::npos);
  ASSERT_NE(a, std::string::npos);
  EXPECT_LT(b, a);
  EXPECT_EQ(r.out.find("missing.inf"), std::string::npos);
  EXPECT_NE(r.out.find("\"key\": \"\\u00e9.dll\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("D:\\\\WIN\\\\System32\\\\spool\\\\Drivers\\\\w32x86\\\\19\\\\\\u00e9.dll"),
            std::string::npos);
  EXPECT_NE(r.out.find("\"D:\\\\WIN\\\\System32\\\\drivers\\\\x.sys\""), std::string::npos);
  EXPECT_EQ(r.out.find("empty key"), std::string::npos);
}

TEST(InfCommand, WrongArgumentsAreRefused) {
  MemoryFileSystem fs;
  fs.files["a.inf"] = "[Version]\n";
  EXPECT_EQ(run(fs, {}).code, 2);
  EXPECT_EQ(run(fs, {"--windows-dir"}).code, 2);
  const CommandRun escaped = run(fs, {"a.inf", "evil\x1b]0;x\x07.inf"});  // named, not obeyed
  EXPECT_EQ(escaped.err, "qelvaro inf: cannot read 'evil\\x1b]0;x\\x07.inf'\n");
  const CommandRun help = run(fs, {"a.inf", "--help"});  // help, not an unknown option
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out, "usage: qelvaro inf FILE... [--windows-dir DIR] [--arch x86|amd64|arm64]\n");
  EXPECT_EQ(run(fs, {"a.inf", "--windows-dir="}).code, 2);
  const CommandRun unknown = run(fs, {"a.inf", "--bogus"});
  EXPECT_EQ(unknown.code, 2);
  EXPECT_NE(unknown.err.find("--bogus"), std::string::npos);
  EXPECT_EQ(unknown.out, "");
  // After "--" a name that looks like an option is a file.
  fs.files["-odd.inf"] = "[Version]\nCatalogFile=odd.cat\n";
  const CommandRun odd = run(fs, {"--", "-odd.inf"});
  EXPECT_EQ(odd.code, 0);
  EXPECT_NE(odd.out.find("odd.cat"), std::string::npos);
}

TEST(InfCommand, EmptyListsAndDispatch) {
  MemoryFileSystem fs;
  fs.files["empty.inf"] = "";
  const CommandRun r = run(fs, {"empty.inf"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "[\n  {\n    \"file\": \"empty.inf\",\n    \"CatalogFile\": \"\",\n"
            "    \"DefaultDestDir\": \"\",\n    \"SourceDisksFiles\": [],\n    \"Models\": [],\n"
            "    \"InstallSections\": [],\n    \"ComponentIds\": [],\n    \"Files\": []\n  }\n]\n");
  std::ostringstream out, err;
  EXPECT_EQ(RunCommandLine({"frobnicate"}, out, err), 2);
  EXPECT_NE(err.str().find("unknown command 'frobnicate'"), std::string::npos);
  EXPECT_EQ(RunCommandLine({"--help"}, out, err), 0);
}

TEST(InfCommand, ReadsTheSectionsOfTheArchitectureAsked) {
  MemoryFileSystem fs;
  fs.files["d.inf"] =
      "[Version]\nCatalogFile.NTx86=d32.cat\nCatalogFile.NTamd64 = d64.cat ; signed\n"
      "[DestinationDirs]\nDefaultDestDir = 10,System32\\drivers ; drivers\n"
      "[SourceDisksFiles.x86]\nd32.sys=1\n[SourceDisksFiles.amd64]\nd64.sys=1\n";
  const CommandRun amd64 = run(fs, {"d.inf"});  // amd64 unless asked otherwise
  EXPECT_EQ(amd64.code, 0) << amd64.err;
  EXPECT_NE(amd64.out.find("\"CatalogFile\": \"d64.cat\""), std::string::npos) << amd64.out;
  EXPECT_NE(amd64.out.find("\"DefaultDestDir\": \"10\""), std::string::npos) << amd64.out;
  EXPECT_NE(amd64.out.find("\"DefaultDestSubdir\": \"System32\\\\drivers\""), std::string::npos) << amd64.out;
  EXPECT_NE(amd64.out.find("C:\\\\Windows\\\\System32\\\\drivers\\\\d64.sys"), std::string::npos) << amd64.out;
  EXPECT_EQ(amd64.out.find("d32"), std::string::npos);

  const CommandRun x86 = run(fs, {"--arch", "x86", "d.inf"});
  EXPECT_EQ(x86.code, 0);
  EXPECT_NE(x86.out.find("\"CatalogFile\": \"d32.cat\""), std::string::npos) << x86.out;
  EXPECT_NE(x86.out.find("\"key\": \"d32.sys\""), std::string::npos) << x86.out;
  EXPECT_EQ(run(fs, {"--arch=ARM64", "d.inf"}).out.find("d64"), std::string::npos);

  const CommandRun bad = run(fs, {"--arch", "ia64", "d.inf"});
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.err, "qelvaro inf: --arch needs x86, amd64 or arm64\n");
  EXPECT_EQ(run(fs, {"d.inf", "--arch"}).code, 2);
}

// One file that needs more memory than there is: that file is reported, the others
// still are.
class HungryFileSystem final : public FileSystem {
 public:
  bool exists(const std::string&, AttrMask) const override { return true; }
  std::optional<std::string> readFile(const std::string& path) const override {
    if (path == "huge.inf") throw std::bad_alloc();
    return std::string("[Version]\nCatalogFile=ok.cat\n");
  }
};

TEST(InfCommand, AFileTooBigForMemoryIsReportedAndTheOthersGoOn) {
  HungryFileSystem fs;
  std::ostringstream out, err;
  EXPECT_EQ(RunInfCommand({"huge.inf", "fine.inf"}, fs, out, err), 1);
  EXPECT_EQ(err.str(), "qelvaro inf: not enough memory to read 'huge.inf'\n");
  EXPECT_NE(out.str().find("ok.cat"), std::string::npos);
  EXPECT_EQ(out.str().find("huge.inf"), std::string::npos);
  EXPECT_EQ(out.str().back(), '\n');
}

// Output that cannot be written (a full disk) is a failure, not a silent success.
TEST(InfCommand, AReportThatCannotBeWrittenFails) {
  struct FullDisk : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
  } full;
  std::ostream out(&full);
  std::ostringstream err;
  MemoryFileSystem fs;
  fs.files["a.inf"] = "[Version]\n";
  EXPECT_EQ(RunInfCommand({"a.inf"}, fs, out, err), 1);
  EXPECT_EQ(err.str(), "qelvaro inf: cannot write the report\n");
}

#ifndef _WIN32
// A kernel file whose read fails (EIO) is reported like any unreadable file, and the
// files after it are read.
TEST(InfCommand, AFileThatFailsToReadIsReportedAndTheOthersGoOn) {
  const auto fs = MakePlatformFileSystem();
  const std::string good = ::testing::TempDir() + "/qelvaro-good.inf";
  { std::ofstream(good) << "[Version]\nCatalogFile=good.cat\n"; }
  std::ostringstream out, err;
  EXPECT_EQ(RunInfCommand({"/proc/self/mem", good}, *fs, out, err), 1);
  EXPECT_EQ(err.str(), "qelvaro inf: cannot read '/proc/self/mem'\n");
  EXPECT_NE(out.str().find("good.cat"), std::string::npos);
  std::remove(good.c_str());
}
#endif

// Windows paths reach the reader as they are: one backslash between folders.
TEST(ZipCommand, PathsKeepTheirBackslashes) {
  std::ostringstream out, err;
  EXPECT_EQ(RunCommandLine({"zip", "Q:\\no such\\folder", "Q:\\no such\\a.zip"}, out, err), 1);
  EXPECT_NE(err.str().find(": Q:\\no such\\folder"), std::string::npos) << err.str();
}

// What a console gets is always whole characters, however the writes cut them.
TEST(ConsoleText, HandsOnWholeUtf8Characters) {
  std::vector<std::string> got;
  {
    ConsoleTextBuf buf([&](std::string_view text) {
      got.emplace_back(text);
      return true;
    });
    std::ostream out(&buf);
    const std::string name = "驱动 \xF0\x9F\x98\x80.inf";  // three- and four-byte characters
    out << name.substr(0, 4) << std::flush;  // cuts 动 after its first byte
    out << name.substr(4, 6) << std::flush;  // cuts the emoji after its third byte
    out << name.substr(10) << "\n" << std::flush;
    out << std::string(5000, 'x') + "测";      // past a chunk
  }
  EXPECT_EQ(got, (std::vector<std::string>{"驱", "动 ", "\xF0\x9F\x98\x80.inf\n", std::string(5000, 'x') + "测"}));
  EXPECT_EQ(WholeUtf8Prefix("a\xE6\xB5"), 1u);
  EXPECT_EQ(WholeUtf8Prefix("\x80\x80\x80\x80\x80"), 5u);  // not UTF-8: on as it is
}

// Strings go out in runs where they are plain ASCII and unit by unit elsewhere; both
// ways escape alike, and deep indentation is written whole.
TEST(JsonWriter, EscapesAndIndentsAlikeOnEveryPath) {
  const struct {
    std::string text, written;
  } cases[] = {
      {"C:\\Windows\\x.sys", R"("C:\\Windows\\x.sys")"},
      {std::string("a\"b\tc\n\r\x01\x1f\x7f", 10), R"("a\"b\tc\n\r\u0001\u001f\u007f")"},
      {"", R"("")"},
      {"\"", R"("\"")"},
      {"网卡\t\"x\"", R"("\u7f51\u5361\t\"x\"")"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    JsonWriter(out).value(c.text);
    EXPECT_EQ(out.str(), c.written);
  }
  std::ostringstream out;
  JsonWriter w(out, 20);
  w.beginArray();
  w.beginArray();
  w.beginArray();
  w.beginArray();
  w.value(1LL);
  w.endArray();
  w.endArray();
  w.endArray();
  w.endArray();
  EXPECT_EQ(out.str(), "[\n" + std::string(20, ' ') + "[\n" + std::string(40, ' ') + "[\n" + std::string(60, ' ') +
                           "[\n" + std::string(80, ' ') + "1\n" + std::string(60, ' ') + "]\n" + std::string(40, ' ') +
                           "]\n" + std::string(20, ' ') + "]\n]\n");
}

}  // namespace
}  // namespace qelvaro
