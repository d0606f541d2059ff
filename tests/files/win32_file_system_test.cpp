// The Win32 file system under Wine: long paths, replacing copies, listings, deleting
// trees, failures as values, the real System32 for this 32-bit process on a 64-bit
// prefix, and the driver-store lookups of the running system.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "backup_collector.h"
#include "backup_root.h"
#include "driver_store_setupapi.h"
#include "folder_ids.h"
#include "md_folders.h"
#include "native_arch.h"
#include "win32_file_system.h"
#include "win32_registry.h"
#include "base/win32/wide_string.h"
#include "wow64_redirection.h"

namespace qelvaro {
namespace {

DWORD attributes(const std::string& path) { return GetFileAttributesW(ToWin32Path(path).c_str()); }

std::vector<std::string> names(const DirListing& listing) {
  std::vector<std::string> out;
  for (const auto& e : listing.entries) out.push_back(e.name + (e.kind == EntryKind::Folder ? "\\" : ""));
  std::sort(out.begin(), out.end());
  return out;
}

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    base = GetWindowsDir() + "\\Temp\\qelvaro-fs-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(fs.createDir(base).ok());
  }
  void TearDown() override { (void)fs.deleteTree(base); }

  Win32FileSystem fs;
  std::string base;
};

TEST_F(Win32Files, LongPathsAllTheWay) {
  std::string deep = base;
  for (int i = 0; i < 5; ++i) {
    deep += "\\" + std::string(60, static_cast<char>('a' + i)) + "\xE9\xA9\xB1";  // 驱 at the end
    ASSERT_TRUE(fs.createDir(deep).ok()) << deep.size();
  }
  ASSERT_GT(deep.size(), 300u);
  ASSERT_TRUE(fs.writeFile(deep + "\\x.inf", "[Version]\r\n").ok());
  ASSERT_TRUE(fs.copyFile(deep + "\\x.inf", deep + "\\y.inf").ok());
  EXPECT_EQ(fs.readFile(deep + "\\y.inf"), "[Version]\r\n");
  EXPECT_TRUE(fs.exists(deep + "\\y.inf", AttrMask::Plain));
  const DirListing listing = fs.listDir(deep);
  ASSERT_TRUE(listing.result.ok()) << listing.result.describe();
  EXPECT_EQ(names(listing), (std::vector<std::string>{"x.inf", "y.inf"}));
  ASSERT_TRUE(fs.deleteTree(base + "\\" + std::string(60, 'a') + "\xE9\xA9\xB1").ok());
  EXPECT_EQ(names(fs.listDir(base)), std::vector<std::string>{});
}

// The system's SHA-256 (BCrypt), taken while copying and read back, gives what
// sha256sum prints for the same bytes; the hashed copy replaces a read-only target and
// keeps the source's attributes as CopyFile does.
TEST_F(Win32Files, HashedCopiesGiveSha256sumsSums) {
  const struct {
    std::string bytes;
    const char* sum;  // sha256sum's
  } cases[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(1000000, 'q'), "6205a6c307514a47ee016bf51316d5d3c5da711001fac489167708fe2042bef9"},
  };
  const std::string from = base + "\\\xE9\xA9\xB1\xE5\x8A\xA8.sys";  // 驱动.sys
  const std::string to = base + "\\copy \xE9\xA9\xB1.sys";
  for (const auto& c : cases) {
    ASSERT_TRUE(fs.writeFile(from, c.bytes).ok());
    SetFileAttributesW(base::widen(from).c_str(), FILE_ATTRIBUTE_SYSTEM);
    if (attributes(to) != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(base::widen(to).c_str(), FILE_ATTRIBUTE_READONLY);
    std::string copied, read;
    std::uint64_t size = 0;
    const FsResult r = fs.copyFileHashed(from, to, copied);
    ASSERT_TRUE(r.ok()) << r.describe();
    EXPECT_EQ(copied, c.sum);
    ASSERT_TRUE(fs.hashFile(to, read, size).ok());
    EXPECT_EQ(read, c.sum);
    EXPECT_EQ(size, c.bytes.size());
    EXPECT_EQ(fs.readFile(to), c.bytes);
    EXPECT_TRUE(fs.exists(to, AttrMask::System));
    EXPECT_FALSE(fs.exists(to, AttrMask::Plain));
    SetFileAttributesW(base::widen(from).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  // The exclusive copy hashes the same way into a new name, and leaves anything that
  // already has the name alone.
  std::string copied;
  ASSERT_TRUE(fs.copyNewFileHashed(from, base + "\\new.sys", copied).ok());
  EXPECT_EQ(copied, cases[1].sum);
  ASSERT_TRUE(fs.writeFile(from, "abc").ok());
  EXPECT_EQ(fs.copyNewFileHashed(from, base + "\\new.sys", copied).error(), FsError::AlreadyExists);
  std::uint64_t size = 0;
  ASSERT_TRUE(fs.hashFile(base + "\\new.sys", copied, size).ok());
  EXPECT_EQ(copied, cases[1].sum);
}

TEST_F(Win32Files, CopiesReplaceReadOnlyHiddenAndSystemTargets) {
  ASSERT_TRUE(fs.writeFile(base + "\\new.sys", "new").ok());
  for (DWORD blocking : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    ASSERT_TRUE(fs.writeFile(base + "\\old.sys", "old").ok());
    SetFileAttributesW(base::widen(base + "\\old.sys").c_str(), blocking);
    const FsResult r = fs.copyFile(base + "\\new.sys", base + "\\old.sys");
    EXPECT_TRUE(r.ok()) << r.describe() << " attribute " << blocking;
    EXPECT_EQ(fs.readFile(base + "\\old.sys"), "new");
    SetFileAttributesW(base::widen(base + "\\old.sys").c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  // The copy keeps the source's attributes, as CopyFile does.
  SetFileAttributesW(base::widen(base + "\\new.sys").c_str(), FILE_ATTRIBUTE_SYSTEM);
  ASSERT_TRUE(fs.copyFile(base + "\\new.sys", base + "\\copy.sys").ok());
  EXPECT_TRUE(fs.exists(base + "\\copy.sys", AttrMask::System));
  EXPECT_FALSE(fs.exists(base + "\\copy.sys", AttrMask::Plain));
  // Writing replaces a read-only file too.
  SetFileAttributesW(base::widen(base + "\\copy.sys").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(fs.writeFile(base + "\\copy.sys", "written").ok());
  EXPECT_EQ(fs.readFile(base + "\\copy.sys"), "written");
}

TEST_F(Win32Files, ListingsGiveKindsAndAttributes) {
  ASSERT_TRUE(fs.createDir(base + "\\sub").ok());
  ASSERT_TRUE(fs.createDir(base + "\\sub\\").ok());  // already there
  ASSERT_TRUE(fs.writeFile(base + "\\plain.cat", "p").ok());
  ASSERT_TRUE(fs.writeFile(base + "\\hidden.cat", "h").ok());
  ASSERT_TRUE(fs.writeFile(base + "\\system.cat", "s").ok());
  SetFileAttributesW(base::widen(base + "\\hidden.cat").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW(base::widen(base + "\\system.cat").c_str(), FILE_ATTRIBUTE_SYSTEM);
  const DirListing listing = fs.listDir(base + "\\");
  ASSERT_TRUE(listing.result.ok());
  EXPECT_EQ(names(listing), (std::vector<std::string>{"hidden.cat", "plain.cat", "sub\\", "system.cat"}));
  for (const DirEntry& e : listing.entries) {
    EXPECT_EQ(e.hidden, e.name == "hidden.cat") << e.name;
    EXPECT_EQ(e.system, e.name == "system.cat") << e.name;
  }
  EXPECT_EQ(fs.listDir(base + "\\none").result.error(), FsError::NotFound);
  EXPECT_EQ(fs.listDir(base + "\\plain.cat").result.error(), FsError::NotAFolder);
  EXPECT_FALSE(fs.listDir("C:\\").entries.empty());
}

TEST_F(Win32Files, DeleteTreeTakesReadOnlyHiddenAndSystemEntries) {
  const std::string root = base + "\\Quorvak";
  ASSERT_TRUE(fs.createDir(root).ok());
  ASSERT_TRUE(fs.createDir(root + "\\Display").ok());
  ASSERT_TRUE(fs.createDir(root + "\\Display\\Card").ok());
  const char* files[] = {"\\Display\\Card\\ro.sys", "\\Display\\Card\\h.cat", "\\Display\\s.inf"};
  const DWORD attrs[] = {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(fs.writeFile(root + files[i], "x").ok());
    SetFileAttributesW(base::widen(root + files[i]).c_str(), attrs[i]);
  }
  SetFileAttributesW(base::widen(root + "\\Display").c_str(), FILE_ATTRIBUTE_READONLY);
  const FsResult r = DeleteDir(root, fs);
  EXPECT_TRUE(r.ok()) << r.describe();
  EXPECT_EQ(attributes(root), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(fs.deleteTree(root).error(), FsError::NotFound);
  ASSERT_TRUE(fs.writeFile(base + "\\file", "x").ok());
  EXPECT_EQ(fs.deleteTree(base + "\\file").error(), FsError::NotAFolder);
}

TEST_F(Win32Files, DeleteTreeRemovesALinkButNotWhatItPointsTo) {
  const std::string outside = base + "\\outside";
  const std::string root = base + "\\Quorvak";
  ASSERT_TRUE(fs.createDir(outside).ok());
  ASSERT_TRUE(fs.writeFile(outside + "\\precious.txt", "keep").ok());
  ASSERT_TRUE(fs.createDir(root).ok());
  // Wine 8 answers success without making the link.
  if (!CreateSymbolicLinkW(base::widen(root + "\\link").c_str(), base::widen(outside).c_str(), 1 /* a folder */) ||
      attributes(root + "\\link") == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no symbolic links here";
  }
  ASSERT_TRUE(fs.exists(root + "\\link\\precious.txt", AttrMask::Plain));
  const FsResult r = fs.deleteTree(root);
  EXPECT_TRUE(r.ok()) << r.describe();
  EXPECT_FALSE(fs.exists(root, AttrMask::Folder));
  EXPECT_EQ(fs.readFile(outside + "\\precious.txt"), "keep");
}

TEST_F(Win32Files, FailuresComeBackWithTheirReason) {
  EXPECT_EQ(fs.copyFile(base + "\\none.sys", base + "\\x.sys").error(), FsError::NotFound);
  EXPECT_EQ(fs.createDir(base + "\\a\\b").error(), FsError::NotFound);
  ASSERT_TRUE(fs.writeFile(base + "\\file", "x").ok());
  EXPECT_EQ(fs.createDir(base + "\\file").error(), FsError::AlreadyExists);
  EXPECT_EQ(fs.copyFile(base, base + "\\dir-copy").error(), FsError::NotAFile);
  EXPECT_EQ(fs.writeFile(base + "\\bad<name>.txt", "x").error(), FsError::BadName);

  // A file another program holds without sharing cannot be read or replaced.
  ASSERT_TRUE(fs.writeFile(base + "\\locked.sys", "locked").ok());
  HANDLE h = CreateFileW(base::widen(base + "\\locked.sys").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const FsResult from = fs.copyFile(base + "\\locked.sys", base + "\\copy.sys");
  const FsResult onto = fs.copyFile(base + "\\file", base + "\\locked.sys");
  CloseHandle(h);
  EXPECT_EQ(from.error(), FsError::InUse) << from.describe();
  EXPECT_EQ(onto.error(), FsError::InUse) << onto.describe();
  EXPECT_EQ(fs.readFile(base + "\\locked.sys"), "locked");
}

void writeRedirected(const std::wstring& path, const std::string& text) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
}

TEST_F(Win32Files, EveryOperationSeesTheRealSystem32) {
  ASSERT_TRUE(RunningUnderWow64()) << "the test prefix must be 64-bit";
  const std::string system = GetSystemDir();
  const std::string folder = system + "\\qelvaro-real";
  ASSERT_TRUE(fs.createDir(folder).ok());
  ASSERT_TRUE(fs.writeFile(folder + "\\real.sys", "real").ok());
  // A plain (redirected) look sees SysWOW64, where none of this is.
  EXPECT_EQ(GetFileAttributesW(base::widen(folder).c_str()), INVALID_FILE_ATTRIBUTES);
  writeRedirected(base::widen(system + "\\qelvaro-wow-only.dll"), "wow");
  EXPECT_FALSE(fs.exists(system + "\\qelvaro-wow-only.dll", AttrMask::Plain));

  EXPECT_EQ(names(fs.listDir(folder)), std::vector<std::string>{"real.sys"});
  bool listed = false;
  for (const auto& e : fs.listDir(system).entries) listed = listed || e.name == "qelvaro-real";
  EXPECT_TRUE(listed);
  ASSERT_TRUE(fs.copyFile(folder + "\\real.sys", base + "\\real.sys").ok());
  EXPECT_EQ(fs.readFile(base + "\\real.sys"), "real");
  ASSERT_TRUE(fs.deleteTree(folder).ok());
  EXPECT_FALSE(fs.exists(folder, AttrMask::Folder));
}

TEST_F(Win32Files, CollectorBacksUpFromTheRealSystem32) {
  const Win32SystemFolders folders;
  const std::string system = GetSystemDir();
  const std::string inf = "qelvaro-test-" + std::to_string(GetCurrentProcessId()) + ".inf";
  ASSERT_TRUE(fs.writeFile(InfDir(folders) + "\\" + inf,
                           "[Version]\r\n[DestinationDirs]\r\nDefaultDestDir=12\r\n"
                           "[SourceDisksFiles]\r\nqelvaro-real.sys=1\r\nqelvaro-store.dll=1\r\n").ok());
  ASSERT_TRUE(fs.writeFile(system + "\\drivers\\qelvaro-real.sys", "real").ok());
  CreateDirectoryW(base::widen(system + "\\drivers").c_str(), nullptr);  // redirected: SysWOW64\drivers
  writeRedirected(base::widen(system + "\\drivers\\qelvaro-real.sys"), "syswow64 copy");

  // Wine's setupapi has the function but answers "not implemented"; the registry's
  // driver database is what finds the package here.
  const SetupApiDriverStoreLookup setupapi(folders);
  EXPECT_TRUE(setupapi.available());
  EXPECT_EQ(setupapi.packageFolder(inf), std::nullopt);
  EXPECT_EQ(setupapi.lastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  HKEY key = nullptr;
  const std::wstring keyPath = base::widen("SYSTEM\\DriverDatabase\\DriverInfFiles\\" + inf);
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                            nullptr, &key, nullptr), ERROR_SUCCESS);
  const std::wstring package = L"qelvaro.inf_x86_0001";
  RegSetValueExW(key, L"Active", 0, REG_SZ, reinterpret_cast<const BYTE*>(package.c_str()),
                 static_cast<DWORD>((package.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  const std::string store = system + "\\DriverStore\\FileRepository\\qelvaro.inf_x86_0001";
  ASSERT_TRUE(fs.createDir(system + "\\DriverStore").ok());
  ASSERT_TRUE(fs.createDir(system + "\\DriverStore\\FileRepository").ok());
  ASSERT_TRUE(fs.createDir(store).ok());
  ASSERT_TRUE(fs.writeFile(store + "\\qelvaro-store.dll", "from the store").ok());
  const Win32Registry registry;
  const RegistryDriverStoreLookup database(registry, folders);
  const ChainedDriverStoreLookup lookup({&setupapi, &database});

  struct OneRow final : DriverRowSource {
    DriverRow row;
    std::size_t rowCount() const override { return 1; }
    bool rowTicked(std::size_t) const override { return true; }
    DriverRow rowAt(std::size_t) const override { return row; }
  } rows;
  rows.row = {"Test: device", "System", inf};
  BackupSink sink;
  BackupCollector collector(folders, fs, &lookup, NativeMachineArch());
  const BackupResult result = collector.run(rows, BackupRoot(base + "\\"), sink);
  ASSERT_TRUE(result.complete()) << result.drivers.at(0).problem();
  const std::string folder = base + "\\Quorvak\\System\\Test  device\\";
  EXPECT_EQ(fs.readFile(folder + "qelvaro-real.sys"), "real");
  EXPECT_EQ(fs.readFile(folder + "qelvaro-store.dll"), "from the store");
  EXPECT_TRUE(fs.exists(folder + inf, AttrMask::Plain));
}

}  // namespace
}  // namespace qelvaro
