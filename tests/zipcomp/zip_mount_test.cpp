// Real file-system refusals that root cannot override: a read-only mount and a full
// one. The test mounts small tmpfs folders itself; without the right to mount it skips
// (the injected faults of zip_failure_test cover the same paths).
#include <gtest/gtest.h>

#include <sys/mount.h>

#include "test_support.h"
#include "zipcomp/zip_component.h"

using namespace ziptest;
using zipcomp::ZipComponent;
using zipcomp::ZipResult;

namespace {

class ZipMountTest : public testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 8; ++i) writeFile(dir / ("root/Net/drv" + std::to_string(i) + "/n.sys"), randomBytes(300000, i));
        before = snapshotTree(dir / "root");
        target = dir / "out";
        std::filesystem::create_directories(fsPath(target));
    }
    void TearDown() override {
        if (mounted) ::umount2(target.c_str(), MNT_DETACH);
    }

    bool mountTmpfs(const std::string& size) {
        if (::mount("tmpfs", target.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) return false;
        mounted = true;
        return true;
    }

    int zip() {
        ZipComponent z;
        z.BasePath = dir / "root";
        z.ZipFilename = target + "/Quorvak.zip";
        z.DeleteZippedFiles = true;
        return z.Zip();
    }

    TempDir dir;
    std::string target;
    bool mounted = false;
    std::map<std::string, std::string> before;
};

TEST_F(ZipMountTest, ReadOnlyTargetFolder) {
    if (!mountTmpfs("1m")) GTEST_SKIP() << "cannot mount a tmpfs here";
    writeFile(target + "/Quorvak.zip", "earlier");
    ASSERT_EQ(::mount("tmpfs", target.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
    EXPECT_EQ(zip(), static_cast<int>(ZipResult::TargetNotWritable));
    EXPECT_EQ(snapshotTree(dir / "root"), before);
    EXPECT_EQ(readFile(target + "/Quorvak.zip"), "earlier");
}

TEST_F(ZipMountTest, DiskFull) {
    if (!mountTmpfs("1m")) GTEST_SKIP() << "cannot mount a tmpfs here";
    writeFile(target + "/Quorvak.zip", "earlier");
    EXPECT_EQ(zip(), static_cast<int>(ZipResult::DiskFull));
    EXPECT_EQ(snapshotTree(dir / "root"), before);
    EXPECT_EQ(readFile(target + "/Quorvak.zip"), "earlier");
    EXPECT_EQ(namesIn(target), std::vector<std::string>{"Quorvak.zip"});
}

TEST_F(ZipMountTest, RoomEnoughReplacesTheEarlierArchive) {
    if (!mountTmpfs("8m")) GTEST_SKIP() << "cannot mount a tmpfs here";
    writeFile(target + "/Quorvak.zip", "earlier");
    EXPECT_EQ(zip(), 0);
    EXPECT_TRUE(snapshotTree(dir / "root").empty());
    EXPECT_GT(std::filesystem::file_size(fsPath(target + "/Quorvak.zip")), 2400000u);
    EXPECT_EQ(namesIn(target), std::vector<std::string>{"Quorvak.zip"});
}

}  // namespace
