// The command-line front end of the component.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"
#include "zip_reader.h"
#include "zipcomp/zip_command.h"

using namespace ziptest;
using testing::HasSubstr;

namespace {

struct Result {
    int code;
    std::string out, err;
};

Result runZip(std::vector<std::string> args, bool bar = false) {
    std::ostringstream out, err;
    int code = zipcomp::runZipCommand(args, out, err, bar);
    return {code, out.str(), err.str()};
}

TEST(ZipCommandTest, BadUsageExplainsAndTouchesNothing) {
    TempDir dir;
    writeFile(dir / "in/a", "a");
    for (auto args : std::vector<std::vector<std::string>>{
             {},
             {dir / "in"},
             {dir / "in", dir / "a.zip", "extra"},
             {dir / "in", dir / "a.zip", "--level"},
             {dir / "in", dir / "a.zip", "--level", "10"},
             {dir / "in", dir / "a.zip", "--level", "x"},
             {dir / "in", dir / "a.zip", "--password"},
             {dir / "in", dir / "a.zip", "--fast"},
             {dir / "in", dir / "a.zip", "--sfx"},
             {dir / "in", dir / "a.zip", "--sfx", dir / "stub", "--run"},
         }) {
        Result r = runZip(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_THAT(r.err, HasSubstr("usage: qelvaro zip"));
    }
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"in"});
}

TEST(ZipCommandTest, ZipsWithLevelPasswordAndMove) {
    TempDir dir;
    writeFile(dir / "in/sub/a.txt", std::string(10000, 'a'));
    Result r = runZip({"--level", "0", dir / "in", "--password", "pw", dir / "a.zip"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("1 files"));
    EXPECT_EQ(r.out.find('\r'), std::string::npos) << "no progress bar when not asked";
    ReadArchive a = readArchive(dir / "a.zip");
    ASSERT_EQ(a.entries.size(), 1u);
    EXPECT_EQ(a.entries[0].method, 0);
    EXPECT_TRUE(a.entries[0].flags & 1);
    EXPECT_TRUE(exists(dir / "in/sub/a.txt")) << "sources stay without --move";

    r = runZip({dir / "in", dir / "b.zip", "--move"}, true);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("100%"));
    EXPECT_FALSE(exists(dir / "in/sub/a.txt"));
    std::string error;
    EXPECT_EQ(extractAll(dir / "b.zip", error).at("sub/a.txt"), std::string(10000, 'a'));
}

TEST(ZipCommandTest, FailureNamesTheCauseInTheCommandLinesLanguage) {
    TempDir dir;
    Result r = runZip({dir / "missing", dir / "a.zip"});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("the folder to pack does not exist"));
    EXPECT_THAT(r.err, HasSubstr("missing"));
    EXPECT_FALSE(exists(dir / "a.zip"));
}

TEST(ZipCommandTest, SfxPutsTheStubAndItsSettingsBeforeTheArchive) {
    TempDir dir;
    writeFile(dir / "in/a.txt", "hello");
    std::string stub(256, '\0');
    stub[0] = 'M', stub[1] = 'Z', stub[60] = static_cast<char>(64);
    stub.replace(64, 4, std::string("PE\0\0", 4));
    writeFile(dir / "stub.bin", stub);
    Result r = runZip({dir / "in", dir / "a.exe", "--password", "pw", "--sfx", dir / "stub.bin", "--run",
                       "%d\\a.txt|%d"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string package = readFile(dir / "a.exe");
    EXPECT_EQ(package.substr(0, stub.size()), stub);
    const std::string settings = package.substr(stub.size(), 100);
    EXPECT_THAT(settings, HasSubstr("password=pw\n"));
    EXPECT_THAT(settings, HasSubstr("|%d\n"));
    EXPECT_EQ(readFile(dir / "in/a.txt"), "hello");
}

#ifndef _WIN32
// A package holds only names its stub will unpack: one it would refuse fails the packing
// with the file named, and nothing is written. A plain archive takes them all.
TEST(ZipCommandTest, SfxRefusesNamesItsStubWouldRefuse) {
    struct Case {
        std::vector<std::string> files;
        const char* reason;  // nullptr when the package is made
        const char* named;   // the file the refusal names
    };
    const char* invalid = "a file name Windows cannot hold";
    const char* clash = "a file name differs only in case";
    const std::vector<Case> cases = {
        {{"drv/aux.cat", "drv/a.inf"}, invalid, "in/drv/aux.cat (error 26)"},
        {{"drv/trailing."}, invalid, "in/drv/trailing. (error 26)"},
        {{"drv/name "}, invalid, "in/drv/name  (error 26)"},
        {{"drv/Foo.inf", "drv/foo.inf"}, clash, "in/drv/foo.inf (error 27)"},
        {{"Drv", "drv/a.inf"}, clash, "in/drv/a.inf (error 27)"},
        {{"drv/\xc3\x84.sys", "drv/\xc3\xa4.sys"}, clash, "(error 27)"},
        // Not UTF-8: the stub reads code page 437, where these are "\u00c7" and "\u00e7".
        {{"drv/\x80.sys", "drv/\x87.sys"}, clash, "(error 27)"},
        {{"Drv/a.inf", "drv/b.inf", "drv/a.inf.bak"}, nullptr, nullptr},
    };
    std::string stub(256, '\0');
    stub[0] = 'M', stub[1] = 'Z', stub[60] = static_cast<char>(64);
    stub.replace(64, 4, std::string("PE\0\0", 4));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files.front());
        TempDir dir;
        writeFile(dir / "stub.bin", stub);
        for (const auto& f : c.files) writeFile(dir / ("in/" + f), f);
        Result r = runZip({dir / "in", dir / "a.exe", "--sfx", dir / "stub.bin"});
        if (c.reason) {
            EXPECT_EQ(r.code, 1);
            EXPECT_THAT(r.err, HasSubstr(c.reason));
            EXPECT_THAT(r.err, HasSubstr(c.named));
            EXPECT_FALSE(exists(dir / "a.exe"));
        } else {
            EXPECT_EQ(r.code, 0) << r.err;
        }
        EXPECT_EQ(runZip({dir / "in", dir / "a.zip"}).code, 0);
    }
}
#endif

// A package never unpacks below a drive, the temporary folder itself or a folder that a
// package did not make: such a folder is refused before anything is written.
TEST(ZipCommandTest, SfxRefusesUnpackFoldersThatAreNotForIt) {
    TempDir dir;
    writeFile(dir / "in/a.txt", "hello");
    std::string stub(256, '\0');
    stub[0] = 'M', stub[1] = 'Z', stub[60] = static_cast<char>(64);
    stub.replace(64, 4, std::string("PE\0\0", 4));
    writeFile(dir / "stub.bin", stub);
    struct Case {
        std::string folder;
        const char* why;  // null: accepted
    };
    std::vector<Case> cases = {
        {"C:\\", "drive"},          {"C:", "drive"},        {"%t", "temporary folder itself"},
        {"%t\\", "temporary folder itself"}, {"\\\\srv\\share\\", "share"}, {"_sfx", "absolute"},
        {"%t\\..\\x", "\"..\""},    {"%t\\a/b", "separator"}, {"%d\\x", "%d"},
        {"%t\\_sfxFresh", nullptr}, {"C:\\Packages\\unpack", nullptr},
    };
#ifdef _WIN32
    // Existing folders of this machine: somebody's own, and one a package made.
    writeFile(dir / "mine/letter.txt", "mine");
    writeFile(dir / "made/qelvaro-sfx.tag", "");
    auto windows = [](std::string p) {
        for (auto& c : p)
            if (c == '/') c = '\\';
        return p;
    };
    cases.push_back({windows(dir / "mine"), "no qelvaro-sfx.tag"});
    cases.push_back({windows(dir / "made"), nullptr});
#endif
    for (const Case& c : cases) {
        Result r = runZip({dir / "in", dir / "a.exe", "--sfx", dir / "stub.bin", "--unpack-to", c.folder});
        if (c.why) {
            EXPECT_EQ(r.code, 2) << c.folder;
            EXPECT_THAT(r.err, HasSubstr(c.why)) << c.folder;
            EXPECT_FALSE(exists(dir / "a.exe")) << c.folder;
        } else {
            EXPECT_EQ(r.code, 0) << c.folder << ": " << r.err;
            std::filesystem::remove(dir / "a.exe");
        }
    }
    EXPECT_EQ(readFile(dir / "in/a.txt"), "hello");
}

}  // namespace
