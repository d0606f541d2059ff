// The Windows boundary of the base layer, under Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "base/win32/final_path.h"
#include "base/win32/handle.h"
#include "base/win32/system_dll.h"
#include "base/win32/whole_file.h"
#include "base/win32/wide_string.h"

namespace qelvaro::base {
namespace {

TEST(WideString, RoundTripsThroughTheWFunctions) {
  const std::string name = "驱动 \xF0\x9F\x98\x80.inf";
  const std::wstring wide = widen(name);
  EXPECT_EQ(wide, L"驱动 \U0001F600.inf");
  wchar_t buffer[64];
  ASSERT_GT(GetFullPathNameW(wide.c_str(), 64, buffer, nullptr), 0u);
  EXPECT_EQ(narrow(buffer).substr(narrow(buffer).size() - name.size()), name);
}

TEST(SystemDll, LoadsFromSystem32AndNeverBesideTheProgram) {
  wchar_t system[MAX_PATH], loaded[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  UniqueModule module(LoadSystemDll(L"version.dll"));
  ASSERT_TRUE(module);
  ASSERT_GT(GetModuleFileNameW(module.get(), loaded, MAX_PATH), 0u);
  EXPECT_EQ(CompareStringOrdinal(loaded, static_cast<int>(wcslen(system)), system, -1, TRUE), CSTR_EQUAL)
      << narrow(loaded);
  EXPECT_NE(DllEntry<FARPROC>(module.get(), "GetFileVersionInfoSizeW"), nullptr);
  EXPECT_EQ(DllEntry<FARPROC>(module.get(), "NoSuchFunction"), nullptr);
  EXPECT_EQ(LoadSystemDll(L"qelvaro-no-such.dll"), nullptr);
}

TEST(WholeFile, WritesReadsAndRefusesWhatItMustNotReplace) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"qelvaro-whole-file.bin";
  DeleteFileW(path.c_str());
  const std::string data(70000, 'x');
  ASSERT_TRUE(WriteWholeFile(path.c_str(), data.data(), data.size(), WriteMode::CreateNew));
  EXPECT_FALSE(WriteWholeFile(path.c_str(), "y", 1, WriteMode::CreateNew)) << "CreateNew never replaces";
  std::string read = "head:";
  ASSERT_TRUE(ReadWholeFile(path.c_str(), read));
  EXPECT_EQ(read, "head:" + data);
  ASSERT_TRUE(WriteWholeFile(path.c_str(), "y", 1, WriteMode::Replace));
  read.clear();
  ASSERT_TRUE(ReadWholeFile(path.c_str(), read));
  EXPECT_EQ(read, "y");
  DeleteFileW(path.c_str());
  EXPECT_FALSE(ReadWholeFile(path.c_str(), read));
}

// Entries told by name as Windows compares names, a drive's root (its final path ends
// with "\"), and final paths longer than MAX_PATH.
TEST(FinalPath, TellsEntriesRootsAndLongPaths) {
  auto open = [](const std::wstring& path) {
    return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  };
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(L"\\\\?\\") + temp + L"qelvaro-final-path";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring file = folder + L"\\Entry.txt";
  ASSERT_TRUE(WriteWholeFile(file.c_str(), "x", 1, WriteMode::Replace));
  HANDLE dir = open(folder), entry = open(file);
  ASSERT_NE(dir, INVALID_HANDLE_VALUE);
  ASSERT_NE(entry, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  wchar_t* dirFinal = FinalPathOf(dir, n);
  ASSERT_NE(dirFinal, nullptr);
  EXPECT_TRUE(IsEntryItself(entry, dirFinal, n, L"Entry.txt"));
  EXPECT_TRUE(IsEntryItself(entry, dirFinal, n, L"ENTRY.TXT"));
  EXPECT_FALSE(IsEntryItself(entry, dirFinal, n, L"Entry.tx"));
  EXPECT_FALSE(IsEntryItself(entry, dirFinal, n - 1, L"Entry.txt"));
  EXPECT_FALSE(IsEntryItself(dir, dirFinal, n, L"Entry.txt"));
  std::free(dirFinal);
  CloseHandle(entry);
  CloseHandle(dir);

  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 3u);
  HANDLE root = open(std::wstring(windows, 3)), win = open(windows);
  DWORD rootLength = 0;
  wchar_t* rootFinal = FinalPathOf(root, rootLength);
  ASSERT_NE(rootFinal, nullptr);
  EXPECT_EQ(rootFinal[rootLength - 1], L'\\');
  EXPECT_TRUE(IsEntryItself(win, rootFinal, rootLength, windows + 3));
  std::free(rootFinal);
  CloseHandle(win);
  CloseHandle(root);

  // Windows answers a short buffer with the size it needs; Wine 8 answers
  // ERROR_MORE_DATA for any final path over MAX_PATH, whatever the buffer, and then
  // no entry there passes as itself.
  for (int i = 0; i < 4; ++i) {
    folder += L"\\" + std::wstring(80, static_cast<wchar_t>(L'a' + i));
    CreateDirectoryW(folder.c_str(), nullptr);
  }
  HANDLE deep = open(folder);
  ASSERT_NE(deep, INVALID_HANDLE_VALUE);
  wchar_t* deepFinal = FinalPathOf(deep, n);
  if (deepFinal) {
    EXPECT_GT(n, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(std::wstring(deepFinal + n - 80), std::wstring(80, L'd'));
  }
  std::free(deepFinal);
  CloseHandle(deep);
}
}  // namespace
}  // namespace qelvaro::base
