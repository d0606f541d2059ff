// The POSIX file system under hostile input: links that lead nowhere, pipes and
// kernel files named where an INF file should be.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include "fake_windows_tree.h"
#include "posix_file_system.h"

namespace qelvaro {
namespace {

namespace stdfs = std::filesystem;
using testing::FakeWindowsTree;

// A link that leads nowhere or in a circle is an entry like any other, not a failure of
// the whole listing.
TEST(PosixFileSystemHostile, LinksThatLeadNowhereDoNotFailTheListing) {
  FakeWindowsTree tree;
  PosixFileSystem fs;
  tree.put("C:\\dir\\real.inf", "x");
  stdfs::create_symlink("nowhere", tree.host("C:\\dir\\dangling"));
  stdfs::create_symlink("loop", tree.host("C:\\dir\\loop"));
  const DirListing listing = fs.listDir(tree.host("C:\\dir"));
  ASSERT_TRUE(listing.result.ok()) << listing.result.describe();
  EXPECT_EQ(listing.entries.size(), 3u);
}

// A pipe must not block the reader, and a kernel file that fails to read (EIO) is
// unreadable, not an exception.
TEST(PosixFileSystemHostile, PipesAndFailingReadsAreUnreadableFiles) {
  FakeWindowsTree tree;
  PosixFileSystem fs;
  tree.put("C:\\dir\\real.inf", "x");
  const std::string pipe = tree.host("C:\\dir\\pipe.inf");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  auto read = std::async(std::launch::async, [&] { return fs.readFile(pipe); });
  if (read.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    ADD_FAILURE() << "reading a pipe hangs";
    std::ofstream(pipe) << "";  // lets the blocked reader go
  }
  EXPECT_EQ(read.get(), std::nullopt);
  EXPECT_EQ(fs.readFile("/proc/self/mem"), std::nullopt);
  EXPECT_EQ(fs.readFile(tree.host("C:\\dir")), std::nullopt);
  EXPECT_EQ(fs.readFile(tree.host("C:\\dir\\real.inf")), "x");
}

}  // namespace
}  // namespace qelvaro
