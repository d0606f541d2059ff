// The file-system port over a Windows tree in host folders: case-insensitive paths,
// the listing order, attributes from the side table, and every operation's failures
// as values.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "backup_root.h"
#include "fake_windows_tree.h"
#include "posix_file_system.h"

namespace qelvaro {
namespace {

using testing::FakeWindowsTree;
namespace stdfs = std::filesystem;

std::vector<std::string> names(const DirListing& listing) {
  std::vector<std::string> out;
  for (const auto& e : listing.entries) out.push_back(e.name + (e.kind == EntryKind::Folder ? "/" : ""));
  return out;
}

TEST(WindowsTree, PathsMatchWithoutRegardToCase) {
  FakeWindowsTree tree;
  tree.put("C:\\Windows\\System32\\DRIVERS\\Net.sys", "net");
  tree.put("C:\\Windows\\System32\\\xC3\x89t\xC3\xA9.dll", "accented");  // Été.dll
  auto& fs = tree.fs();
  EXPECT_TRUE(fs.exists("c:\\windows\\system32\\drivers\\NET.SYS", AttrMask::Plain));
  EXPECT_EQ(fs.readFile("C:\\WINDOWS\\system32\\Drivers\\net.sys"), "net");
  EXPECT_EQ(fs.readFile("C:\\Windows\\System32\\\xC3\xA9T\xC3\x89.DLL"), "accented");  // éTÉ.DLL
  EXPECT_EQ(fs.hostPath("C:\\windows\\SYSTEM32\\drivers\\net.sys"),
            tree.base() + "/c/Windows/System32/DRIVERS/Net.sys");
  // A missing tail keeps the spelling given; "/" separates too; ".." stays on the drive.
  EXPECT_EQ(fs.hostPath("C:\\WINDOWS\\New\\File.txt"), tree.base() + "/c/Windows/New/File.txt");
  EXPECT_EQ(fs.readFile("C:/Windows/System32/drivers/net.sys"), "net");
  EXPECT_EQ(fs.hostPath("C:\\..\\..\\Windows"), tree.base() + "/c/Windows");
  // Unmapped drives, relative and drive-relative paths name nothing.
  EXPECT_FALSE(fs.exists("E:\\Windows", AttrMask::Folder));
  EXPECT_FALSE(fs.exists("Windows", AttrMask::Folder));
  EXPECT_FALSE(fs.exists("C:Windows", AttrMask::Folder));
}

TEST(WindowsTree, ExactSpellingWinsAndNewEntriesAreSeenAtOnce) {
  FakeWindowsTree tree;
  tree.put("C:\\Windows\\a.inf", "lower");
  tree.put("C:\\Windows\\A.INF", "upper");
  auto& fs = tree.fs();
  EXPECT_EQ(fs.readFile("C:\\Windows\\A.INF"), "upper");
  EXPECT_EQ(fs.readFile("C:\\Windows\\a.inf"), "lower");
  // A name created right after a lookup listed the folder is found in any case.
  EXPECT_FALSE(fs.exists("C:\\Windows\\NEW.INF", AttrMask::Plain));
  tree.put("C:\\Windows\\new.inf", "new");
  EXPECT_EQ(fs.readFile("C:\\Windows\\NEW.INF"), "new");
}

// Every folder of the tree last changed an hour ago, so cached listings are trusted.
void ageFolders(const std::string& hostRoot) {
  const timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
  for (const auto& e : stdfs::recursive_directory_iterator(hostRoot)) {
    if (e.is_directory()) ::utimensat(AT_FDCWD, e.path().c_str(), old, 0);
  }
  ::utimensat(AT_FDCWD, hostRoot.c_str(), old, 0);
}

TEST(WindowsTree, CachedFoldersFollowChangesMadeBehindTheirBack) {
  FakeWindowsTree tree;
  auto& fs = tree.fs();
  const std::string sys = "C:\\WINDOWS\\SYSTEM32\\";
  tree.put("C:\\Windows\\System32\\drivers\\a.sys", "a");
  ageFolders(tree.base() + "/c");
  EXPECT_TRUE(fs.exists(sys + "DRIVERS\\A.SYS", AttrMask::Plain));
  EXPECT_FALSE(fs.exists(sys + "DRIVERS\\B.SYS", AttrMask::Plain));
  EXPECT_FALSE(fs.exists(sys + "SPOOL\\DRIVERS\\W32X86\\3\\X.DLL", AttrMask::Plain));

  tree.put("C:\\Windows\\System32\\drivers\\b.sys", "b");
  tree.put("C:\\Windows\\System32\\spool\\drivers\\w32x86\\3\\x.dll", "x");
  EXPECT_TRUE(fs.exists(sys + "DRIVERS\\B.SYS", AttrMask::Plain));
  EXPECT_TRUE(fs.exists(sys + "SPOOL\\DRIVERS\\W32X86\\3\\X.DLL", AttrMask::Plain));

  // The folder replaced by one spelled otherwise.
  stdfs::remove_all(tree.host("C:\\Windows\\System32\\drivers"));
  tree.put("C:\\Windows\\System32\\DRIVERS\\c.sys", "c");
  EXPECT_FALSE(fs.exists(sys + "DRIVERS\\A.SYS", AttrMask::Plain));  // the same text as before
  EXPECT_TRUE(fs.exists(sys + "DRIVERS\\C.SYS", AttrMask::Plain));
  EXPECT_TRUE(fs.exists(sys + "drivers\\c.sys", AttrMask::Plain));
  EXPECT_EQ(fs.readFile(sys + "Drivers\\c.sys"), "c");

  // A folder this object made, changed by someone else after a clock tick.
  ASSERT_TRUE(fs.createDir("D:\\Out").ok());
  ASSERT_TRUE(fs.writeFile("D:\\Out\\one.txt", "1").ok());
  EXPECT_FALSE(fs.exists("D:\\OUT\\TWO.TXT", AttrMask::Plain));
  ::usleep(50 * 1000);
  tree.put("D:\\Out\\Two.txt", "2");
  EXPECT_TRUE(fs.exists("D:\\OUT\\TWO.TXT", AttrMask::Plain));
  EXPECT_TRUE(fs.exists("D:\\out\\ONE.TXT", AttrMask::Plain));
}

TEST(WindowsTree, ListingsComeInNtfsOrderWithKindsAndAttributes) {
  FakeWindowsTree tree;
  const std::string catRoot = "C:\\Windows\\System32\\CatRoot\\";
  for (const char* name : {"{F750E6C3}\\x", "b.cat", "_under", "A.cat", "{127D0A1D}\\x", "hidden\\x"}) {
    tree.put(catRoot + name, "x");
  }
  tree.put("C:\\.qelvaro-attributes", "; side table\n\n H  Windows\\System32\\CatRoot\\HIDDEN\r\nS Windows\\System32\\catroot\\b.cat\n");
  ASSERT_FALSE(tree.fs().mapDrive('C', tree.base() + "/c"));
  auto& fs = tree.fs();
  const DirListing listing = fs.listDir("C:\\WINDOWS\\System32\\catroot");
  ASSERT_TRUE(listing.result.ok());
  // Upper-cased UTF-16 order: 'A' < 'B' < 'H' < '_' < '{'.
  EXPECT_EQ(names(listing), (std::vector<std::string>{"A.cat", "b.cat", "hidden/", "_under", "{127D0A1D}/", "{F750E6C3}/"}));
  EXPECT_TRUE(listing.entries[1].system);
  EXPECT_TRUE(listing.entries[2].hidden);
  EXPECT_FALSE(listing.entries[0].hidden || listing.entries[0].system);
  // The table itself is no entry of the drive.
  for (const auto& e : fs.listDir("C:\\").entries) EXPECT_NE(e.name, ".qelvaro-attributes");
  EXPECT_FALSE(fs.exists("C:\\.qelvaro-attributes", AttrMask::Plain));

  EXPECT_EQ(fs.listDir("C:\\Windows\\Nowhere").result.error(), FsError::NotFound);
  EXPECT_FALSE(fs.listDir(catRoot + "b.cat").result.ok());
}

TEST(WindowsTree, AttributeMasksKeepTheirMeaning) {
  FakeWindowsTree tree;
  auto& fs = tree.fs();
  const std::string d = "C:\\Windows\\System32\\drivers\\";
  for (const char* name : {"plain.sys", "readonly.sys", "system.sys", "hidden.sys", "both.sys"}) tree.put(d + name, "x");
  ::chmod(tree.host(d + "readonly.sys").c_str(), 0444);
  stdfs::create_directories(tree.host(d + "sysdir"));
  fs.setAttributes(d + "SYSTEM.sys", {false, true});
  fs.setAttributes(d + "hidden.sys", {true, false});
  fs.setAttributes(d + "both.sys", {true, true});
  fs.setAttributes(d + "sysdir", {false, true});
  struct Case {
    const char* name;
    bool plain, system, folder;
  };
  for (const Case& c : {Case{"plain.sys", true, true, true}, Case{"readonly.sys", true, true, true},
                        Case{"system.sys", false, true, false}, Case{"hidden.sys", false, false, false},
                        Case{"both.sys", false, false, false}, Case{"sysdir", false, false, false},
                        Case{"", false, false, true}, Case{"missing.sys", false, false, false}}) {
    EXPECT_EQ(fs.exists(d + c.name, AttrMask::Plain), c.plain) << c.name;
    EXPECT_EQ(fs.exists(d + c.name, AttrMask::System), c.system) << c.name;
    EXPECT_EQ(fs.exists(d + c.name, AttrMask::Folder), c.folder) << c.name;
  }
}

TEST(WindowsTree, BadAttributeTablesAreRefusedWithTheLine) {
  FakeWindowsTree tree;
  tree.put("C:\\.qelvaro-attributes", "H Windows\\a\nX Windows\\b\n");
  const auto error = tree.fs().mapDrive('C', tree.base() + "/c");
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("line 2"), std::string::npos) << *error;
  EXPECT_NE(error->find("'X'"), std::string::npos) << *error;
  tree.put("C:\\.qelvaro-attributes", "Windows\\no-flags\n");
  EXPECT_TRUE(tree.fs().mapDrive('C', tree.base() + "/c"));
  EXPECT_TRUE(tree.fs().mapDrive('C', tree.base() + "/missing"));
  EXPECT_TRUE(tree.fs().mapDrive('7', tree.base() + "/c"));
}

TEST(WindowsTree, CopyReplacesAndTakesTheSourceAttributes) {
  FakeWindowsTree tree;
  auto& fs = tree.fs();
  tree.put("C:\\Windows\\System32\\x.cat", "new catalog");
  tree.put("D:\\out\\X.CAT", "old");
  ::chmod(tree.host("D:\\out\\X.CAT").c_str(), 0444);
  fs.setAttributes("C:\\Windows\\System32\\x.cat", {false, true});
  ASSERT_TRUE(fs.copyFile("C:\\Windows\\System32\\X.cat", "D:\\OUT\\x.cat").ok());
  // The existing entry keeps its spelling, as on Windows.
  EXPECT_EQ(tree.listing("D:\\out"), "X.CAT");
  EXPECT_EQ(tree.read("D:\\out\\X.CAT"), "new catalog");
  EXPECT_TRUE(fs.exists("D:\\out\\x.cat", AttrMask::System));
  EXPECT_FALSE(fs.exists("D:\\out\\x.cat", AttrMask::Plain));
  // A copy onto itself leaves the file whole.
  ASSERT_TRUE(fs.copyFile("D:\\out\\X.CAT", "D:\\out\\x.cat").ok());
  EXPECT_EQ(tree.read("D:\\out\\X.CAT"), "new catalog");
  // A written file starts plain.
  ASSERT_TRUE(fs.writeFile("D:\\out\\x.cat", "written").ok());
  EXPECT_TRUE(fs.exists("D:\\out\\x.cat", AttrMask::Plain));
  EXPECT_EQ(tree.read("D:\\out\\X.CAT"), "written");
}

TEST(WindowsTree, FailuresComeBackAsValues) {
  FakeWindowsTree tree;
  auto& fs = tree.fs();
  tree.put("C:\\Windows\\file.txt", "x");
  EXPECT_EQ(fs.copyFile("C:\\Windows\\none.txt", "D:\\none.txt").error(), FsError::NotFound);
  EXPECT_EQ(fs.copyFile("C:\\Windows\\file.txt", "D:\\no\\such\\file.txt").error(), FsError::NotFound);
  EXPECT_EQ(fs.copyFile("C:\\Windows", "D:\\w").error(), FsError::NotAFile);
  EXPECT_EQ(fs.createDir("D:\\a\\b").error(), FsError::NotFound);
  EXPECT_EQ(fs.createDir("C:\\Windows\\FILE.TXT").error(), FsError::AlreadyExists);
  EXPECT_TRUE(fs.createDir("C:\\WINDOWS\\inf").ok());  // already there
  EXPECT_EQ(fs.writeFile("D:\\no\\x.txt", "x").error(), FsError::NotFound);
  EXPECT_EQ(fs.deleteTree("D:\\no").error(), FsError::NotFound);
  EXPECT_EQ(fs.deleteTree("C:\\Windows\\file.txt").error(), FsError::NotAFolder);
  EXPECT_EQ(fs.deleteTree("C:\\").error(), FsError::AccessDenied);
  EXPECT_EQ(fs.copyFile("C:\\Windows\\file.txt", "E:\\x").error(), FsError::NotFound);
  EXPECT_EQ(fs.copyFile("C:\\Windows\\file.txt", "D:\\x").describe(), "ok");
  EXPECT_EQ(FsResult::Failure(FsError::DiskFull, 28).describe(), "disk full (error 28)");
}

// An image's hive moved out of it and linked back is read by no operation, the head
// reads of hives, DLLs and INFs included; a link inside the image is followed, and
// listed as a link.
TEST(WindowsTree, EveryReadStaysInsideTheImage) {
  FakeWindowsTree tree;
  auto& fs = tree.fs();
  const std::string config = "C:\\Windows\\System32\\config\\";
  tree.put(config + "SOFTWARE.real", "regf inside");
  const std::string outside = tree.base() + "/SYSTEM.moved";
  std::ofstream(outside) << "regf outside";
  stdfs::create_symlink(outside, tree.host(config + "SYSTEM"));
  stdfs::create_symlink(tree.host(config + "SOFTWARE.real"), tree.host(config + "SOFTWARE"));
  const struct {
    const char* name;
    const char* read;  // what every read gives, "" for nothing
  } cases[] = {{"SYSTEM", ""}, {"SOFTWARE", "regf inside"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = config + c.name;
    std::uint64_t size = 0;
    std::string sum;
    EXPECT_EQ(fs.readFileHead(path, 4096, size).value_or(""), c.read);
    EXPECT_EQ(fs.readFile(path).value_or(""), c.read);
    EXPECT_EQ(fs.hashFile(path, sum, size).ok(), *c.read != '\0');
  }
  const DirListing listing = fs.listDir("C:\\Windows\\System32\\config");
  for (const DirEntry& e : listing.entries) EXPECT_EQ(e.link, e.name != "SOFTWARE.real") << e.name;
}

// A file-size limit makes the kernel refuse writes the way a full disk does.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST(WindowsTree, AFullDiskLeavesNoPartialCopy) {
  FakeWindowsTree tree;
  auto& fs = tree.fs();
  tree.put("C:\\big.bin", std::string(256 * 1024, 'b'));
  FsResult copied, written;
  {
    FileSizeLimit limit(64 * 1024);
    copied = fs.copyFile("C:\\big.bin", "D:\\big.bin");
    written = fs.writeFile("D:\\written.bin", std::string(128 * 1024, 'w'));
  }
  EXPECT_EQ(copied.error(), FsError::DiskFull) << copied.describe();
  EXPECT_EQ(written.error(), FsError::DiskFull) << written.describe();
  EXPECT_FALSE(tree.onDisk("D:\\big.bin"));
  EXPECT_FALSE(tree.onDisk("D:\\written.bin"));
}

TEST(WindowsTree, DeleteTreeRemovesEverythingButFollowsNoLink) {
  FakeWindowsTree tree;
  auto& fs = tree.fs();
  tree.put("D:\\Quorvak\\Display\\Card\\card.inf", "x");
  tree.put("D:\\Quorvak\\Display\\Card\\ro.sys", "x");
  ::chmod(tree.host("D:\\Quorvak\\Display\\Card\\ro.sys").c_str(), 0444);
  tree.put("D:\\keep\\precious.txt", "keep");
  stdfs::create_directory_symlink(tree.host("D:\\keep"), tree.host("D:\\Quorvak\\link"));
  fs.setAttributes("D:\\Quorvak\\Display\\Card\\card.inf", {true, true});
  ASSERT_TRUE(DeleteDir("D:\\QUORVAK", fs).ok());
  EXPECT_FALSE(tree.onDisk("D:\\Quorvak"));
  EXPECT_EQ(tree.read("D:\\keep\\precious.txt"), "keep");
  // The attributes went with the files.
  tree.put("D:\\Quorvak\\Display\\Card\\card.inf", "again");
  EXPECT_TRUE(fs.exists("D:\\quorvak\\display\\card\\card.inf", AttrMask::Plain));
}

TEST(WindowsTree, HostPathsWorkBesideDrives) {
  FakeWindowsTree tree;
  auto& fs = tree.fs();
  tree.put("D:\\Target\\x.txt", "x");
  const std::string target = tree.base() + "/d/target";  // spelled in another case
  EXPECT_TRUE(fs.exists(target, AttrMask::Folder));
  ASSERT_TRUE(fs.createDir(target + "\\Quorvak").ok());
  ASSERT_TRUE(fs.copyFile(target + "\\X.TXT", target + "\\Quorvak\\x.txt").ok());
  EXPECT_EQ(tree.read("D:\\Target\\Quorvak\\x.txt"), "x");
}

TEST(PosixFileSystem, ReplacesButNeverWritesThroughALinkOrIntoADevice) {
  FakeWindowsTree tree;
  PosixFileSystem fs;
  tree.put("C:\\src.txt", "new");
  tree.put("C:\\victim.txt", "victim");
  stdfs::create_symlink(tree.host("C:\\victim.txt"), tree.host("D:\\link.txt"));
  ASSERT_TRUE(fs.copyFile(tree.host("C:\\src.txt"), tree.host("D:\\link.txt")).ok());
  EXPECT_EQ(tree.read("C:\\victim.txt"), "victim");
  EXPECT_EQ(tree.read("D:\\link.txt"), "new");
  EXPECT_FALSE(stdfs::is_symlink(tree.host("D:\\link.txt")));
  EXPECT_EQ(fs.copyFile(tree.host("C:\\src.txt"), "/dev/null").error(), FsError::NotAFile);
  EXPECT_TRUE(stdfs::exists("/dev/null"));
  // A copy to a new name (what a restore stages) refuses whatever stands there, a link
  // included, and gives the bytes it copies to its sink.
  struct : ByteSink {
    void update(const void* data, std::size_t size) override { seen.append(static_cast<const char*>(data), size); }
    std::string seen;
  } sink;
  stdfs::create_symlink(tree.host("C:\\victim.txt"), tree.host("D:\\planted.txt"));
  EXPECT_EQ(fs.copyNewFileThrough(tree.host("C:\\src.txt"), tree.host("D:\\planted.txt"), sink).error(),
            FsError::AlreadyExists);
  EXPECT_EQ(tree.read("C:\\victim.txt"), "victim");
  ASSERT_TRUE(fs.copyNewFileThrough(tree.host("C:\\src.txt"), tree.host("D:\\fresh.txt"), sink).ok());
  EXPECT_EQ(tree.read("D:\\fresh.txt"), "new");
  EXPECT_EQ(sink.seen, "new");

  const DirListing listing = fs.listDir(tree.host("C:\\"));
  ASSERT_TRUE(listing.result.ok());
  EXPECT_EQ(listing.entries.size(), 3u);  // Windows/, src.txt, victim.txt
  EXPECT_EQ(fs.listDir(tree.host("C:\\none")).result.error(), FsError::NotFound);
}

}  // namespace
}  // namespace qelvaro
