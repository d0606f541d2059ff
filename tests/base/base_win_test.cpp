// The Windows boundary of the base layer, under Wine.
#include <gtest/gtest.h>

#include <windows.h>

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

}  // namespace
}  // namespace qelvaro::base
