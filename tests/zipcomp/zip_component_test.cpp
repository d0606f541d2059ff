// The component end to end on the real file system, checked with the in-test reader:
// what goes into the archive, under which names, and what happens to the sources.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "test_support.h"
#include "zip_reader.h"
#include "zipcomp/zip_component.h"
#include "zipcomp/zip_format.h"

using namespace ziptest;
using zipcomp::GlobalStatusArgs;
using zipcomp::ZipComponent;
using zipcomp::ZipResult;

namespace {

int code(ZipResult r) { return static_cast<int>(r); }

// A small backup root: class folders, driver folders, files of every kind that matter.
std::map<std::string, std::string> makeBackupRoot(const std::string& root) {
    std::map<std::string, std::string> files = {
        {"Display/Contoso Display/contoso.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n"},
        {"Display/Contoso Display/contoso.sys", randomBytes(70000, 1)},
        {"Display/Contoso Display/empty.dat", ""},
        {"Net/网卡驱动/说明.txt", std::string(50000, 'x')},
        {"Net/网卡驱动/net.cat", randomBytes(300, 2)},
        {"top.txt", "top level"},
    };
    for (const auto& [rel, content] : files) writeFile(root + "/" + rel, content);
    std::filesystem::create_directories(fsPath(root + "/Empty/Nothing Here"));
    return files;
}

TEST(ZipComponentTest, PacksEveryFileUnderItsRelativePathAndSkipsEmptyFolders) {
    TempDir dir;
    auto files = makeBackupRoot(dir / "Quorvak");
    ZipComponent zip;
    configure(zip, dir / "Quorvak", dir / "Quorvak.zip");
    ASSERT_EQ(zip.Zip(), 0) << zip.lastErrorPath();

    std::string error;
    auto content = extractAll(dir / "Quorvak.zip", error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(content, files);
    EXPECT_EQ(snapshotTree(dir / "Quorvak"), files) << "sources kept without DeleteZippedFiles";

    ReadArchive a = readArchive(dir / "Quorvak.zip");
    for (const auto& e : a.entries) {
        bool ascii = true;
        for (char c : e.name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        EXPECT_EQ((e.flags & 0x0800) != 0, !ascii) << e.name;
        EXPECT_TRUE(e.hasTimestamp) << e.name;
        EXPECT_FALSE(e.hasZip64) << e.name;
        EXPECT_FALSE(e.flags & 1) << e.name;
    }
    // Text shrinks; random data and empty files are stored.
    for (const auto& e : a.entries) {
        if (e.name == "Net/网卡驱动/说明.txt" || e.name.ends_with(".sys") || e.name.ends_with(".dat")) {
            EXPECT_EQ(e.method, e.name.ends_with(".txt") ? 8 : 0) << e.name;
        }
    }
}

TEST(ZipComponentTest, TimesMatchTheSourceFiles) {
    TempDir dir;
    writeFile(dir / "in/a.txt", "a");
    auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    std::filesystem::last_write_time(fsPath(dir / "in/a.txt"), when);
    zipcomp::FileInfo info;
    ASSERT_EQ(zipcomp::platformFileAccess()->stat(dir / "in/a.txt", info), zipcomp::IoStatus::Ok);

    ZipComponent zip;
    configure(zip, dir / "in", dir / "a.zip");
    ASSERT_EQ(zip.Zip(), 0);
    ReadArchive a = readArchive(dir / "a.zip");
    ASSERT_EQ(a.entries.size(), 1u);
    EXPECT_EQ(a.entries[0].unixMtime, info.mtime);
    zipcomp::DosDateTime d = zipcomp::toDosDateTime(info.mtime);
    EXPECT_EQ(a.entries[0].dosDate, d.date);
    EXPECT_EQ(a.entries[0].dosTime, d.time);
}

TEST(ZipComponentTest, OptionsSelectAndNameTheEntries) {
    TempDir dir;
    makeBackupRoot(dir / "root");
    auto names = [&](auto setup) {
        ZipComponent zip;
        configure(zip, dir / "root", dir / "o.zip");
        setup(zip);
        std::vector<std::string> out;
        if (zip.Zip() != 0) return out;
        for (const auto& e : readArchive(dir / "o.zip").entries) out.push_back(e.name);
        return out;
    };
    using testing::UnorderedElementsAre;
    EXPECT_THAT(names([](ZipComponent& z) { z.ProcessSubfolders = false; }), UnorderedElementsAre("top.txt"));
    EXPECT_THAT(names([](ZipComponent& z) { z.FilesToProcess = "*.INF; *.cat"; }),
                UnorderedElementsAre("Display/Contoso Display/contoso.inf", "Net/网卡驱动/net.cat"));
    EXPECT_THAT(names([](ZipComponent& z) { z.FilesToProcess = "Net/*/*"; }),
                UnorderedElementsAre("Net/网卡驱动/说明.txt", "Net/网卡驱动/net.cat"));
    EXPECT_THAT(names([](ZipComponent& z) {
                    z.PreservePaths = false;
                    z.FilesToProcess = "*.sys;*.cat";
                }),
                UnorderedElementsAre("contoso.sys", "net.cat"));
}

TEST(ZipComponentTest, FlatNamesThatCollideAreRefused) {
    TempDir dir;
    writeFile(dir / "in/a/x.txt", "1");
    writeFile(dir / "in/b/x.txt", "2");
    ZipComponent zip;
    configure(zip, dir / "in", dir / "x.zip");
    zip.PreservePaths = false;
    EXPECT_EQ(zip.Zip(), code(ZipResult::DuplicateName));
    EXPECT_FALSE(exists(dir / "x.zip"));
}

TEST(ZipComponentTest, DeletesSourcesOnlyAfterTheArchiveIsComplete) {
    TempDir dir;
    auto files = makeBackupRoot(dir / "root");
    ZipComponent zip;
    configure(zip, dir / "root", dir / "r.zip");
    zip.DeleteZippedFiles = true;
    bool archiveMissingWhileSourcesGone = false;
    zip.GlobalStatus = [&](const GlobalStatusArgs&) {
        // Sources first: the work goes on meanwhile, and an archive never vanishes again.
        bool someGone = snapshotTree(dir / "root").size() < files.size();
        if (someGone && !exists(dir / "r.zip")) archiveMissingWhileSourcesGone = true;
    };
    ASSERT_EQ(zip.Zip(), 0);
    EXPECT_FALSE(archiveMissingWhileSourcesGone);
    EXPECT_TRUE(snapshotTree(dir / "root").empty());
    std::string error;
    EXPECT_EQ(extractAll(dir / "r.zip", error), files);
}

TEST(ZipComponentTest, ArchiveInsideTheBaseFolderIsNotPackedIntoItself) {
    TempDir dir;
    writeFile(dir / "in/a.txt", "a");
    ZipComponent zip;
    configure(zip, dir / "in", dir / "in/self.zip");
    zip.DeleteZippedFiles = true;
    ASSERT_EQ(zip.Zip(), 0);
    std::string error;
    auto content = extractAll(dir / "in/self.zip", error);
    EXPECT_EQ(content.size(), 1u);
    EXPECT_TRUE(exists(dir / "in/self.zip"));
}

// An existing file named as the archive inside the folder would be left out and then
// replaced by the archive: its content in neither place.
TEST(ZipComponentTest, AnExistingArchiveInsideTheBaseFolderIsRefused) {
    TempDir dir;
    writeFile(dir / "in2/one.txt", "precious");
    writeFile(dir / "in2/two.txt", "two");
    ZipComponent zip;
    configure(zip, dir / "in2", dir / "in2/one.txt");
    zip.DeleteZippedFiles = true;
    EXPECT_EQ(zip.Zip(), code(ZipResult::ArchiveInsideSource));
    EXPECT_EQ(zip.lastErrorPath(), dir / "in2/one.txt");
    EXPECT_EQ(readFile(dir / "in2/one.txt"), "precious");
    EXPECT_EQ(readFile(dir / "in2/two.txt"), "two");
    EXPECT_EQ(namesIn(dir / "in2").size(), 2u) << "no temporary file left";
}

TEST(ZipComponentTest, ProgressArrivesOnTheCallersThreadAndEndsAtHundred) {
    TempDir dir;
    for (int i = 0; i < 40; ++i) writeFile(dir / ("in/f" + std::to_string(i)), randomBytes(100000, i));
    ZipComponent zip;
    configure(zip, dir / "in", dir / "p.zip");
    std::vector<GlobalStatusArgs> seen;
    bool otherThread = false;
    auto self = std::this_thread::get_id();
    zip.GlobalStatus = [&](const GlobalStatusArgs& a) {
        otherThread |= std::this_thread::get_id() != self;
        seen.push_back(a);
    };
    ASSERT_EQ(zip.Zip(), 0);
    EXPECT_FALSE(otherThread);
    ASSERT_FALSE(seen.empty());
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i].nBytesPercent, seen[i - 1].nBytesPercent);
        EXPECT_GE(seen[i].lFilesProcessed, seen[i - 1].lFilesProcessed);
    }
    const auto& last = seen.back();
    EXPECT_EQ(last.nBytesPercent, 100);
    EXPECT_EQ(last.nFilesPercent, 100);
    EXPECT_EQ(last.lFilesTotal, 40);
    EXPECT_EQ(last.lFilesProcessed, 40);
    EXPECT_EQ(last.lBytesTotal, 4000000);
    EXPECT_EQ(last.lBytesProcessed, 4000000);
    EXPECT_EQ(last.lBytesOutput, static_cast<std::int64_t>(std::filesystem::file_size(fsPath(dir / "p.zip"))));
}

TEST(ZipComponentTest, ZipCalledAgainFromTheProgressHandlerIsRefused) {
    TempDir dir;
    writeFile(dir / "in/a", randomBytes(1000, 3));
    ZipComponent zip;
    configure(zip, dir / "in", dir / "a.zip");
    int nested = -1;
    zip.GlobalStatus = [&](const GlobalStatusArgs&) {
        if (nested == -1) nested = zip.Zip();
    };
    EXPECT_EQ(zip.Zip(), 0);
    EXPECT_EQ(nested, code(ZipResult::Busy));
}

TEST(ZipComponentTest, EncryptedEntriesOpenWithThePasswordOnly) {
    TempDir dir;
    auto files = makeBackupRoot(dir / "root");
    ZipComponent zip;
    configure(zip, dir / "root", dir / "e.zip");
    zip.EncryptionPassword = "qorvantelbrix";
    ASSERT_EQ(zip.Zip(), 0);
    for (const auto& e : readArchive(dir / "e.zip").entries) EXPECT_TRUE(e.flags & 1) << e.name;
    std::string error;
    EXPECT_EQ(extractAll(dir / "e.zip", error, "qorvantelbrix"), files);
    EXPECT_EQ(error, "");
    extractAll(dir / "e.zip", error, "wrong");
    EXPECT_NE(error, "");
}

// Files above the in-memory limit go through the streaming path: deflated, stored when
// they do not shrink, encrypted after a first pass for the CRC.
TEST(ZipComponentTest, StreamedFilesMatchTheirSources) {
    TempDir dir;
    std::map<std::string, std::string> files = {
        {"text.log", std::string(3 << 20, 'q') + "tail"},
        {"random.bin", randomBytes((2 << 20) + 7, 9)},
        {"small.txt", "small"},
    };
    for (const auto& [n, c] : files) writeFile(dir / ("in/" + n), c);
    for (std::string password : {"", "pw"}) {
        for (int level : {0, 1, 9}) {
            ZipComponent zip;
            configure(zip, dir / "in", dir / "s.zip");
            zip.setInMemoryLimit(64 * 1024);
            zip.CompressionLevel = level;
            zip.EncryptionPassword = password;
            ASSERT_EQ(zip.Zip(), 0);
            std::string error;
            EXPECT_EQ(extractAll(dir / "s.zip", error, password), files) << error << " level " << level;
            for (const auto& e : readArchive(dir / "s.zip").entries) {
                int expected = (level > 0 && e.name == "text.log") ? 8 : 0;
                EXPECT_EQ(e.method, expected) << e.name << " level " << level;
            }
        }
    }
}

TEST(ZipComponentTest, SettingsAreCheckedBeforeAnythingIsWritten) {
    TempDir dir;
    writeFile(dir / "in/a", "a");
    ZipComponent zip;
    configure(zip, dir / "in", dir / "a.zip");
    zip.CompressionLevel = 10;
    EXPECT_EQ(zip.Zip(), code(ZipResult::InvalidLevel));
    zip.CompressionLevel = -1;
    EXPECT_EQ(zip.Zip(), code(ZipResult::InvalidLevel));
    configure(zip, dir / "missing", dir / "a.zip");
    EXPECT_EQ(zip.Zip(), code(ZipResult::BasePathMissing));
    configure(zip, dir / "in/a", dir / "a.zip");
    EXPECT_EQ(zip.Zip(), code(ZipResult::BasePathMissing)) << "a file is no base folder";
    configure(zip, dir / "in", "");
    EXPECT_EQ(zip.Zip(), code(ZipResult::NoArchiveName));
    configure(zip, dir / "in", dir / "a.zip");
    zip.FilesToProcess = "../*";
    EXPECT_EQ(zip.Zip(), code(ZipResult::InvalidPattern));
    configure(zip, dir / "in", dir / "a.zip");
    zip.FilesToProcess = "*.none";
    EXPECT_EQ(zip.Zip(), code(ZipResult::NothingToDo));
    EXPECT_FALSE(exists(dir / "a.zip"));
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"in"});
}

TEST(ZipComponentTest, SelfExtractorSettingsAreKeptAndAMissingStubIsAnError) {
    TempDir dir;
    writeFile(dir / "in/a", "a");
    ZipComponent zip;
    configure(zip, dir / "in", dir / "a.exe");
    zip.SfxDefaultPassword = "qorvantelbrix";
    zip.SfxBinaryModule = dir / "sfx.bin";
    zip.SfxIconFilename = dir / "icon.ico";
    zip.SfxExecuteAfter = "%d\\setup.exe|%d";
    zip.SfxDefaultUnzipToFolder = "%t\\_sfxDriverSetup";
    zip.SfxInstallMode = true;
    for (const auto& m : zip.SfxMessages) EXPECT_FALSE(m.empty());
    zip.SfxClearMessages();
    for (const auto& m : zip.SfxMessages) EXPECT_TRUE(m.empty());
    EXPECT_EQ(zip.SfxExecuteAfter, "%d\\setup.exe|%d");
    EXPECT_EQ(zip.Zip(), code(ZipResult::SfxStubInvalid));
    EXPECT_FALSE(exists(dir / "a.exe"));
    EXPECT_TRUE(exists(dir / "in/a"));
}

TEST(ZipComponentTest, EveryCodeHasItsOwnChineseDescription) {
    ZipComponent zip;
    std::set<std::string> texts;
    for (int c = 0; c <= code(zipcomp::kLastZipResult); ++c) {
        std::string t = zip.GetErrorDescription(0, c);
        EXPECT_TRUE(texts.insert(t).second) << "code " << c << " shares its text";
        bool cjk = false;
        for (std::size_t i = 0; i + 2 < t.size(); ++i)
            cjk |= static_cast<unsigned char>(t[i]) >= 0xE4 && static_cast<unsigned char>(t[i]) <= 0xE9;
        EXPECT_TRUE(cjk) << "code " << c << ": " << t;
    }
    EXPECT_THAT(zip.GetErrorDescription(0, 9999), testing::HasSubstr("9999"));
    EXPECT_NE(zip.GetErrorDescription(1, 0), zip.GetErrorDescription(0, 0));
}

}  // namespace
