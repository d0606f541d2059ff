// Failures through injected faults: whatever goes wrong, the result code says so, the
// sources stay, an earlier archive of the same name stays, and no temporary file is left.
#include <gtest/gtest.h>

#include "test_support.h"
#include "zip_reader.h"
#include "zipcomp/zip_component.h"

using namespace ziptest;
using zipcomp::ZipComponent;
using zipcomp::ZipResult;

namespace {

class ZipFailureTest : public testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 12; ++i) {
            std::string rel = "root/Class/drv";
            rel += std::to_string(i);
            rel += "/file.sys";
            writeFile(dir / rel, randomBytes(40000 + i, i));
        }
        writeFile(dir / "root/Class/drv0/small.inf", "inf");
        writeFile(dir / "out/Quorvak.zip", "an earlier archive");
        before = snapshotTree(dir / "root");
        fs = std::make_shared<FaultyFileAccess>();
    }

    int zip(bool deleteSources = true, unsigned threads = 0) {
        ZipComponent z(fs);
        z.PreservePaths = true;
        z.DeleteZippedFiles = deleteSources;
        z.ProcessSubfolders = true;
        z.BasePath = dir / "root";
        z.FilesToProcess = "*.*";
        z.ZipFilename = dir / "out/Quorvak.zip";
        z.CompressionLevel = 6;
        z.setThreads(threads);
        int rc = z.Zip();
        lastPath = z.lastErrorPath();
        return rc;
    }

    void expectNothingLost() {
        EXPECT_EQ(snapshotTree(dir / "root"), before);
        EXPECT_EQ(readFile(dir / "out/Quorvak.zip"), "an earlier archive");
        EXPECT_EQ(namesIn(dir / "out"), std::vector<std::string>{"Quorvak.zip"}) << "temporary file left behind";
    }

    TempDir dir;
    std::map<std::string, std::string> before;
    std::shared_ptr<FaultyFileAccess> fs;
    std::string lastPath;
};

TEST_F(ZipFailureTest, DiskFullAtAnyPointKeepsEverything) {
    // Measure the archive once, then run out of space at the start, in the middle of the
    // entries, inside the central directory and on its very last byte.
    ASSERT_EQ(zip(false), 0);
    std::uint64_t full = std::filesystem::file_size(fsPath(dir / "out/Quorvak.zip"));
    writeFile(dir / "out/Quorvak.zip", "an earlier archive");
    for (std::uint64_t space : {std::uint64_t{0}, full / 2, full - 400, full - 1}) {
        fs->spaceLeft = space;
        EXPECT_EQ(zip(), static_cast<int>(ZipResult::DiskFull)) << space;
        expectNothingLost();
    }
}

TEST_F(ZipFailureTest, VanishedSourceFailsTheRun) {
    fs->vanishOnOpen = dir / "root/Class/drv7/file.sys";
    EXPECT_EQ(zip(), static_cast<int>(ZipResult::SourceVanished));
    EXPECT_EQ(lastPath, fs->vanishOnOpen);
    before.erase("Class/drv7/file.sys");  // gone by the hand of someone else
    expectNothingLost();
}

TEST_F(ZipFailureTest, UnreadableSourceFailsTheRun) {
    fs->unreadable = dir / "root/Class/drv3/file.sys";
    EXPECT_EQ(zip(), static_cast<int>(ZipResult::SourceUnreadable));
    EXPECT_EQ(lastPath, fs->unreadable);
    expectNothingLost();
}

TEST_F(ZipFailureTest, VanishedStreamedSourceFailsTheRun) {
    writeFile(dir / "root/big.bin", std::string(300000, 'b'));
    before = snapshotTree(dir / "root");
    fs->vanishOnOpen = dir / "root/big.bin";
    ZipComponent z(fs);
    z.BasePath = dir / "root";
    z.ZipFilename = dir / "out/Quorvak.zip";
    z.DeleteZippedFiles = true;
    z.setInMemoryLimit(100000);
    EXPECT_EQ(z.Zip(), static_cast<int>(ZipResult::SourceVanished));
    before.erase("big.bin");
    expectNothingLost();
}

TEST_F(ZipFailureTest, TargetFolderRefusingNewFiles) {
    fs->denyCreate = true;
    EXPECT_EQ(zip(), static_cast<int>(ZipResult::TargetNotWritable));
    expectNothingLost();
}

TEST_F(ZipFailureTest, TargetThatCannotBeReplaced) {
    fs->denyReplace = true;
    EXPECT_EQ(zip(), static_cast<int>(ZipResult::TargetNotWritable));
    expectNothingLost();
}

TEST_F(ZipFailureTest, MissingTargetFolder) {
    ZipComponent z(fs);
    z.BasePath = dir / "root";
    z.ZipFilename = dir / "nowhere/Quorvak.zip";
    z.DeleteZippedFiles = true;
    EXPECT_EQ(z.Zip(), static_cast<int>(ZipResult::TargetNotWritable));
    expectNothingLost();
}

TEST_F(ZipFailureTest, SuccessReplacesTheEarlierArchive) {
    ASSERT_EQ(zip(), 0);
    std::string error;
    EXPECT_EQ(extractAll(dir / "out/Quorvak.zip", error), before);
    EXPECT_EQ(namesIn(dir / "out"), std::vector<std::string>{"Quorvak.zip"});
}

TEST_F(ZipFailureTest, SourceThatCannotBeDeletedIsReportedAndKept) {
    fs->denyRemove = dir / "root/Class/drv5/file.sys";
    EXPECT_EQ(zip(), static_cast<int>(ZipResult::SourcesKept));
    EXPECT_EQ(lastPath, fs->denyRemove);
    auto left = snapshotTree(dir / "root");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left.begin()->first, "Class/drv5/file.sys");
    std::string error;
    EXPECT_EQ(extractAll(dir / "out/Quorvak.zip", error), before) << "the archive is complete all the same";
}

TEST_F(ZipFailureTest, SourceChangedAfterListingIsArchivedAsReadButNotDeleted) {
    const std::string grown = dir / "root/Class/drv2/file.sys";
    fs->growsOnOpen = grown;
    EXPECT_EQ(zip(), static_cast<int>(ZipResult::SourcesKept));
    EXPECT_EQ(lastPath, grown);
    auto left = snapshotTree(dir / "root");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left.begin()->second, before.at("Class/drv2/file.sys") + "appended by another program");
    std::string error;
    EXPECT_EQ(extractAll(dir / "out/Quorvak.zip", error).at("Class/drv2/file.sys"), left.begin()->second);
}

TEST_F(ZipFailureTest, SingleWorkerGivesTheSameArchive) {
    ASSERT_EQ(zip(false, 1), 0);
    std::string one = readFile(dir / "out/Quorvak.zip");
    ASSERT_EQ(zip(false, 4), 0);
    std::string four = readFile(dir / "out/Quorvak.zip");
    EXPECT_EQ(one, four) << "entries are written in the same order whatever the worker count";
}

}  // namespace
