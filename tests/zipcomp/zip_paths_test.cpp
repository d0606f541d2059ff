// Name matching and path splitting: the rules users know from Windows.
#include <gtest/gtest.h>

#include "base/utf8.h"
#include "zipcomp/zip_paths.h"

using namespace zipcomp;

namespace {

TEST(WildcardTest, WindowsSemantics) {
    struct Case {
        std::string pattern;
        std::string name;
        bool match;
    } cases[] = {
        {"*.*", "README", true},  // no dot, still every file
        {"*.*", "a.b.c", true},
        {"*", "", true},
        {"*.inf", "OEM12.INF", true},
        {"*.inf", "oem12.inf.bak", false},
        {"oem?.inf", "oem1.inf", true},
        {"oem?.inf", "oem12.inf", false},
        {"?.txt", "说.txt", true},  // one character, however many bytes
        {"??.txt", "说.txt", false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"*x*x*x*x*y", std::string(200, 'x'), false},
        {"net.*", "net", true},
        {"Ä*", "ä", false},  // only ASCII letters fold
    };
    for (const auto& c : cases) EXPECT_EQ(matchWildcard(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

TEST(WildcardTest, SegmentOnlyStopsAtFolders) {
    EXPECT_TRUE(matchWildcard("Net/*/*.sys", "Net/drv/a.sys", true));
    EXPECT_FALSE(matchWildcard("Net/*.sys", "Net/drv/a.sys", true));
    EXPECT_FALSE(matchWildcard("Net?drv", "Net/drv", true));
    EXPECT_TRUE(matchWildcard("Net/*.sys", "Net/drv/a.sys", false));
}

TEST(FileFilterTest, ListsAndFolders) {
    FileFilter f("*.inf; *.CAT ;drivers/*.sys", PathStyle::Posix);
    ASSERT_TRUE(f.valid());
    EXPECT_TRUE(f.matches("a/b/x.inf"));
    EXPECT_TRUE(f.matches("x.cat"));
    EXPECT_TRUE(f.matches("drivers/a.sys"));
    EXPECT_FALSE(f.matches("other/drivers/a.sys"));
    EXPECT_FALSE(f.matches("a.sys"));
    EXPECT_TRUE(FileFilter("", PathStyle::Posix).matches("anything/at/all"));
    EXPECT_TRUE(FileFilter(" ; ", PathStyle::Posix).matches("x"));
    EXPECT_TRUE(FileFilter("sub\\*.inf", PathStyle::Windows).matches("sub/a.inf"));
}

TEST(FileFilterTest, PatternsOutsideTheBaseFolderAreInvalid) {
    for (const char* bad : {"../*", "a/../../*", "/etc/*"}) EXPECT_FALSE(FileFilter(bad, PathStyle::Posix).valid()) << bad;
    for (const char* bad : {"..\\*", "C:\\*", "c:x"}) EXPECT_FALSE(FileFilter(bad, PathStyle::Windows).valid()) << bad;
    EXPECT_TRUE(FileFilter("..*", PathStyle::Posix).valid()) << "a name may start with two dots";
}

TEST(PathTest, SplitAndJoin) {
    auto posix = [](const char* p) {
        auto s = splitPath(p, PathStyle::Posix);
        return s.parent + "|" + s.name;
    };
    auto win = [](const char* p) {
        auto s = splitPath(p, PathStyle::Windows);
        return s.parent + "|" + s.name;
    };
    EXPECT_EQ(posix("/out/Quorvak.zip"), "/out|Quorvak.zip");
    EXPECT_EQ(posix("/Quorvak.zip"), "/|Quorvak.zip");
    EXPECT_EQ(posix("Quorvak.zip"), "|Quorvak.zip");
    EXPECT_EQ(posix("a//b/"), "a|b");
    EXPECT_EQ(posix("a\\b"), "|a\\b");
    EXPECT_EQ(win("C:\\out\\Quorvak.zip"), "C:\\out|Quorvak.zip");
    EXPECT_EQ(win("C:\\Quorvak.zip"), "C:\\|Quorvak.zip");
    EXPECT_EQ(win("C:Quorvak.zip"), "C:|Quorvak.zip");
    EXPECT_EQ(win("1:x"), "|1:x") << "only a letter names a drive";
    EXPECT_EQ(win("\\\\server\\share\\x.zip"), "\\\\server\\share|x.zip");
    EXPECT_EQ(joinPath("a/", "b", PathStyle::Posix), "a/b");
    EXPECT_EQ(joinPath("C:\\", "b", PathStyle::Windows), "C:\\b");
    EXPECT_EQ(joinPath("", "b", PathStyle::Posix), "b");
    EXPECT_EQ(joinPath("C:", "b", PathStyle::Windows), "C:b") << "drive-relative stays relative";
    EXPECT_EQ(temporaryPathFor("C:Q.zip", "1f", PathStyle::Windows), "C:.Q.zip.1f.tmp");
    EXPECT_EQ(temporaryPathFor("/out/Q.zip", "1f", PathStyle::Posix), "/out/.Q.zip.1f.tmp");
    EXPECT_EQ(temporaryPathFor("Q.zip", "1f", PathStyle::Posix), ".Q.zip.1f.tmp");
}

}  // namespace

namespace {

// A name of 244 bytes plus the temporary's 22 would pass the 255-byte limit.
TEST(ZipPathsTest, TemporaryNamesStayWithinTheNameLimit) {
    using namespace zipcomp;
    for (std::size_t len : {200u, 233u, 234u, 244u, 255u}) {
        std::string name(len, 'a');
        std::string temp = temporaryPathFor("/out/" + name, "0123456789abcdef", PathStyle::Posix);
        SplitPath sp = splitPath(temp, PathStyle::Posix);
        EXPECT_EQ(sp.parent, "/out");
        EXPECT_LE(sp.name.size(), 255u) << len;
        EXPECT_EQ(sp.name.substr(0, 11), ".aaaaaaaaaa");
    }
    // Cut between characters, never inside one.
    std::string chinese;
    for (int i = 0; i < 80; ++i) chinese += "驱";
    std::string temp = temporaryPathFor(chinese, "0123456789abcdef", PathStyle::Windows);
    EXPECT_LE(temp.size(), 255u);
    EXPECT_TRUE(qelvaro::base::isValidUtf8(temp));
    EXPECT_EQ(temporaryPathFor("/out/Q.zip", "1f", PathStyle::Posix), "/out/.Q.zip.1f.tmp");
}

}  // namespace
