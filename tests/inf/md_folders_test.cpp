// The Windows and system directories, long paths, and the real System32 for a
// 32-bit process on 64-bit Windows (the test prefix is 64-bit).

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

#include "folder_ids.h"
#include "md_folders.h"
#include "win32_file_system.h"
#include "base/win32/wide_string.h"
#include "wow64_redirection.h"

namespace qelvaro {
namespace {

TEST(Folders, DirectoriesOfTheRunningSystem) {
  const std::string windows = GetWindowsDir();
  const std::string system = GetSystemDir();
  ASSERT_GE(windows.size(), 3u);
  EXPECT_EQ(windows.substr(1, 2), ":\\");
  EXPECT_NE(windows.back(), '\\');
  EXPECT_EQ(system.rfind(windows, 0), 0u) << system;
  const Win32SystemFolders folders;
  const Win32FileSystem files;
  EXPECT_TRUE(files.exists(InfDir(folders), AttrMask::Folder));
  EXPECT_FALSE(files.exists(InfDir(folders), AttrMask::Plain));
  EXPECT_EQ(WhereIsDir("01", folders), windows.substr(0, 3));
}

void writeWith(const std::wstring& path, const std::string& text) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << base::narrow(path);
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
}

TEST(Folders, ThirtyTwoBitProcessSeesTheRealSystem32) {
  ASSERT_TRUE(RunningUnderWow64()) << "the test prefix must be 64-bit";
  const std::string windows = GetWindowsDir();
  const std::wstring name = L"\\qelvaro-wow64-probe.txt";
  const std::wstring real = base::widen(GetSystemDir()) + name;
  const std::wstring wow = base::widen(windows) + L"\\SysWOW64" + name;
  writeWith(wow, "syswow64");
  {
    Wow64RedirectionOff off;
    writeWith(real, "system32");
  }
  // A plain open is redirected: without the mend we would back up this file.
  std::string seen;
  std::ifstream(real.c_str()) >> seen;
  EXPECT_EQ(seen, "syswow64");

  const Win32FileSystem files;
  EXPECT_EQ(files.readFile(GetSystemDir() + base::narrow(name)), "system32");
  EXPECT_TRUE(files.exists(GetSystemDir() + base::narrow(name), AttrMask::Plain));

  // The file only in SysWOW64 is not taken for one in System32.
  const std::wstring onlyWow = base::widen(windows) + L"\\SysWOW64\\qelvaro-only-wow.txt";
  writeWith(onlyWow, "x");
  EXPECT_FALSE(files.exists(GetSystemDir() + "\\qelvaro-only-wow.txt", AttrMask::Plain));
}

TEST(Folders, AttributeMasksAndLongPaths) {
  const std::string base = GetWindowsDir() + "\\Temp\\qelvaro-masks";
  CreateDirectoryW(base::widen(base).c_str(), nullptr);
  const Win32FileSystem files;
  writeWith(base::widen(base + "\\plain.sys"), "p");
  writeWith(base::widen(base + "\\system.sys"), "s");
  writeWith(base::widen(base + "\\hidden.sys"), "h");
  SetFileAttributesW(base::widen(base + "\\system.sys").c_str(), FILE_ATTRIBUTE_SYSTEM);
  SetFileAttributesW(base::widen(base + "\\hidden.sys").c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(files.exists(base + "\\plain.sys", AttrMask::Plain));
  EXPECT_FALSE(files.exists(base + "\\system.sys", AttrMask::Plain));
  EXPECT_TRUE(files.exists(base + "\\system.sys", AttrMask::System));
  EXPECT_FALSE(files.exists(base + "\\hidden.sys", AttrMask::System));
  EXPECT_TRUE(files.exists(base, AttrMask::Folder));
  EXPECT_FALSE(files.exists(base, AttrMask::System));

  // A path well past MAX_PATH.
  std::string deep = base;
  for (int i = 0; i < 6; ++i) {
    deep += "\\" + std::string(60, static_cast<char>('a' + i));
    ASSERT_TRUE(CreateDirectoryW(ToWin32Path(deep).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  }
  ASSERT_GT(deep.size(), 300u);
  writeWith(ToWin32Path(deep + "\\deep.inf"), "[Version]\r\nCatalogFile=deep.cat\r\n");
  EXPECT_TRUE(files.exists(deep + "\\deep.inf", AttrMask::Plain));
  EXPECT_EQ(files.readFile(deep + "\\deep.inf").value_or(""), "[Version]\r\nCatalogFile=deep.cat\r\n");
}

}  // namespace
}  // namespace qelvaro
