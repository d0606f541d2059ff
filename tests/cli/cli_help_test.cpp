// The version, the manual's text per command, and the commands the user's guide names.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "commands.h"

namespace qelvaro {
namespace {

struct Output {
  int code;
  std::string out, err;
};

Output run(const Args& args) {
  std::ostringstream out, err;
  const int code = RunCommandLine(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(Help, VersionIsTheProjects) {
  const Output r = run({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "qelvaro " QELVARO_PROJECT_VERSION "\n");
}

TEST(Help, EachCommandHasItsPartOfTheManual) {
  const struct {
    const char* command;
    const char* excerpt;  // as the page has it, roff resolved and filled
  } cases[] = {
      {"backup", "  qelvaro backup --image ROOT [--allow-dirty] --to DIR [same options]\n"},
      {"list", "  --json\n      one JSON array of objects"},
      {"verify", "\n  Exit status: 0 every file matches; 1 something does not match (a link, a\n"},
      {"restore", "  --code-page N\n      the ANSI code page"},
      {"inf", "(default C:\\Windows)"},
      {"zip", "default %t\\_sfx)"},
      {"help", "Exit status: 0 printed; 2 no such command."},
  };
  for (const auto& c : cases) {
    const Output r = run({"help", c.command});
    EXPECT_EQ(r.code, 0) << c.command << r.err;
    EXPECT_NE(r.out.find(c.excerpt), std::string::npos) << c.command << ":\n" << r.out;
    EXPECT_EQ(r.out.find('\\' + std::string("f")), std::string::npos) << "roff left in " << c.command;
  }
  EXPECT_EQ(run({"help", "SYNOPSIS"}).code, 2) << "only commands";
  EXPECT_EQ(run({"help", "nosuch"}).code, 2);
}

#ifdef QELVARO_GUIDE
TEST(Help, EveryCommandTheGuideNamesExists) {
  std::ifstream in(QELVARO_GUIDE);
  ASSERT_TRUE(in) << QELVARO_GUIDE;
  const std::string guide((std::istreambuf_iterator<char>(in)), {});
  std::set<std::string> named;
  // The word after each "qelvaro ": a command, or an option such as --version.
  for (std::size_t at = guide.find("qelvaro "); at != std::string::npos; at = guide.find("qelvaro ", at + 1)) {
    const std::size_t begin = at + 8;
    const std::size_t end = guide.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", begin);
    if (end > begin) named.insert(guide.substr(begin, end - begin));
  }
  EXPECT_GE(named.size(), 8u) << "the guide names its commands";
  for (const std::string& name : named) {
    SCOPED_TRACE(name);
    if (name == "--version") {
      EXPECT_EQ(run({name}).code, 0);
      continue;
    }
    EXPECT_EQ(run({"help", name}).code, 0) << "no part of the manual";
    EXPECT_EQ(run({name}).err.find("unknown command"), std::string::npos) << "the command line does not know it";
  }
}
#endif

}  // namespace
}  // namespace qelvaro
