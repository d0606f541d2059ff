// Start-up helpers: writing the carried DLL out of the program's resources, and
// registering a DLL on a worker thread with a time limit.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>

#include "md_reg_dll.h"
#include "md_resource.h"
#include "md_folders.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

std::string dosPath(std::string unixPath) {
  for (char& c : unixPath) if (c == '/') c = '\\';
  return "Z:" + unixPath;
}

std::string readAll(const std::string& path) {
  std::ifstream in(base::widen(path).c_str(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string fixture(const char* name) {
  return readAll(dosPath(std::string(QELVARO_FIXTURES_DIR) + "/resources/" + name));
}

std::string tempFile(const char* name) { return GetWindowsDir() + "\\Temp\\" + name; }

TEST(SaveResourceToFile, SizesPaddingAndCutting) {
  const std::string zero = fixture("ends_with_zero.bin");
  const std::string data = fixture("ends_with_data.bin");
  ASSERT_FALSE(zero.empty());
  const std::string out = tempFile("qelvaro-res.bin");

  EXPECT_EQ(SaveResourceToFile("ENDSZERO", "CUSTOM", out, 0), 0);
  EXPECT_EQ(readAll(out), zero);
  EXPECT_EQ(SaveResourceToFile("ENDSZERO", "CUSTOM", out, static_cast<double>(zero.size())), 0);
  EXPECT_EQ(readAll(out), zero);
  EXPECT_EQ(SaveResourceToFile("ENDSZERO", "CUSTOM", out, zero.size() + 100.0), 0);
  EXPECT_EQ(readAll(out), zero + std::string(100, '\0'));
  EXPECT_EQ(SaveResourceToFile("ENDSZERO", "CUSTOM", out, 10), 0);
  EXPECT_EQ(readAll(out), zero.substr(0, 10));
  // A last byte that is not zero: the size is ignored.
  EXPECT_EQ(SaveResourceToFile("ENDSDATA", "CUSTOM", out, 5), 0);
  EXPECT_EQ(readAll(out), data);
}

TEST(SaveResourceToFile, ResourceSizesAreExact) {
  EXPECT_EQ(OwnResourceSize("ENDSZERO", "CUSTOM"), fixture("ends_with_zero.bin").size());
  EXPECT_EQ(OwnResourceSize("NOSUCHRES", "CUSTOM"), 0u);
}

TEST(SaveResourceToFile, AnOlderLongerFileLeavesNothingBehind) {
  const std::string out = tempFile("qelvaro-longer.bin");
  { std::ofstream(base::widen(out).c_str(), std::ios::binary) << std::string(5000, 'X'); }
  EXPECT_EQ(SaveResourceToFile("ENDSDATA", "CUSTOM", out, 0), 0);
  EXPECT_EQ(readAll(out), fixture("ends_with_data.bin"));
}

TEST(SaveResourceToFile, FailuresReturnTheirErrorCode) {
  const std::string out = tempFile("qelvaro-missing.bin");
  DeleteFileW(base::widen(out).c_str());
  EXPECT_EQ(SaveResourceToFile("NOSUCHRES", "CUSTOM", out, 0), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesW(base::widen(out).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(SaveResourceToFile("ENDSDATA", "CUSTOM", GetWindowsDir() + "\\no\\such\\folder\\x.dll", 0),
            ERROR_PATH_NOT_FOUND);
  // A folder that is a drive root gives a doubled separator, which works.
  const std::string root = GetWindowsDir().substr(0, 3) + "\\qelvaro-root.bin";
  EXPECT_EQ(SaveResourceToFile("ENDSDATA", "CUSTOM", root, 0), 0);
  EXPECT_EQ(readAll(root), fixture("ends_with_data.bin"));
}

TEST(RegisterServerDll, StatusCodes) {
  EXPECT_EQ(regdll::kTimeLimitMs, 10000u);
  EXPECT_EQ(RegisterServerDll(""), regdll::kEmptyPath);
  const std::string notDll = tempFile("qelvaro-not-a-dll.dll");
  { std::ofstream(base::widen(notDll).c_str()) << "not a library"; }
  EXPECT_EQ(RegisterServerDll(notDll), regdll::kLoadFailed);
  EXPECT_EQ(RegisterServerDll(tempFile("qelvaro-absent.dll")), regdll::kLoadFailed);

  const std::string noEntry = dosPath(QELVARO_TESTDLL_NOENTRY);
  EXPECT_EQ(RegisterServerDll(noEntry), regdll::kNoEntry);
  EXPECT_EQ(GetModuleHandleW(base::widen(noEntry).c_str()), nullptr) << "the library must be unloaded again";

  const std::string marker = tempFile("qelvaro-registered.txt");
  DeleteFileW(base::widen(marker).c_str());
  SetEnvironmentVariableW(L"QELVARO_TEST_MARKER", base::widen(marker).c_str());
  const std::string ok = dosPath(QELVARO_TESTDLL_OK);
  EXPECT_EQ(RegisterServerDll(ok), regdll::kCompleted);
  EXPECT_EQ(readAll(marker), "registered");
  EXPECT_EQ(GetModuleHandleW(base::widen(ok).c_str()), nullptr);
}

TEST(RegisterServerDll, AHangingEntryCostsTenSecondsAtMost) {
  const DWORD start = GetTickCount();
  EXPECT_EQ(RegisterServerDll(dosPath(QELVARO_TESTDLL_HANG)), regdll::kTimedOut);
  EXPECT_GE(GetTickCount() - start, 9900u);
}

TEST(RegisterServerDll, AHangingEntryIsEndedAtTheTimeLimit) {
  const DWORD start = GetTickCount();
  EXPECT_EQ(RegisterServerDll(dosPath(QELVARO_TESTDLL_HANG), 300), regdll::kTimedOut);
  const DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 290u);
  EXPECT_LT(took, 5000u);
}

}  // namespace
}  // namespace qelvaro
