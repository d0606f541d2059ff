#include "inf_values.h"

#include <gtest/gtest.h>

namespace qelvaro {
namespace {

TEST(InfValues, ValueEndsAtCommentOutsideQuotesAndLosesOuterQuotes) {
  EXPECT_EQ(InfValue("x.cat ; signed"), "x.cat");
  EXPECT_EQ(InfValue("  12 ;drivers"), "12");
  EXPECT_EQ(InfValue("\"a;b.cat\" ; c"), "a;b.cat");
  EXPECT_EQ(InfValue("12,System32\\drivers ; x"), "12,System32\\drivers");
  EXPECT_EQ(InfValue(";only a comment"), "");
}

TEST(InfValues, FieldsSplitOutsideQuotesAndKeepQuotedText) {
  EXPECT_EQ(InfFields("1, \"Disk, one\" ,,\\x86 ; c"),
            (std::vector<std::string>{"1", "Disk, one", "", "\\x86"}));
  EXPECT_EQ(InfFields("\"say \"\"hi\"\"\""), (std::vector<std::string>{"say \"hi\""}));
  EXPECT_EQ(InfFields("\" a \"b  "), (std::vector<std::string>{" a b"}));
  EXPECT_EQ(InfFields(""), (std::vector<std::string>{""}));
}

TEST(InfValues, ArchitectureNames) {
  MachineArch arch = MachineArch::X86;
  EXPECT_TRUE(ParseMachineArch("AMD64", arch));
  EXPECT_EQ(ArchDecoration(arch), "amd64");
  EXPECT_FALSE(ParseMachineArch("ia64", arch));
  EXPECT_EQ(arch, MachineArch::Amd64);
}

}  // namespace
}  // namespace qelvaro
