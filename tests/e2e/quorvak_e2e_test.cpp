// Quorvak.exe as a user starts it, inside a Wine virtual desktop: it puts qzip.dll
// next to itself and registers it, shows its window with the drivers of the demo set,
// answers its buttons, and closes. Screenshots go to build/screenshots.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>

#include "e2e_support.h"
#include "frm_main.h"

namespace qelvaro::e2e {
namespace {

const std::wstring kCaption = L"Qelvaro https://www.qelvaro.com";
const std::wstring kFolder = L"C:\\Program Files\\Qelvaro";

std::string readAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::wstring registeredQzip() {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Qelvaro\\Components\\qzip", L"Path", RRF_RT_REG_SZ, nullptr,
                   buffer, &size) != ERROR_SUCCESS)
    return {};
  return buffer;
}

TEST(Quorvak, StartsShowsTheDriversAndCloses) {
  ASSERT_TRUE(importRegFile(std::string(QELVARO_FIXTURES_DIR) + "/registry/demo-drivers.reg"));
  ASSERT_TRUE(copyInto(dosPath(QELVARO_QUORVAK_EXE), kFolder, L"Quorvak.exe"));
  HANDLE process = startProgram(kFolder + L"\\Quorvak.exe", L"", kFolder);
  ASSERT_NE(process, nullptr);

  HWND main = waitForWindow(kCaption, 30000);
  ASSERT_NE(main, nullptr) << "no main window";
  // The carried component, written whole next to the program and registered.
  EXPECT_EQ(readAll(kFolder + L"\\qzip.dll"), readAll(dosPath(QELVARO_QZIP_DLL)));
  EXPECT_EQ(CompareStringOrdinal(registeredQzip().c_str(), -1, (kFolder + L"\\qzip.dll").c_str(), -1, TRUE),
            CSTR_EQUAL);

  HWND check1 = GetDlgItem(main, kCheck1);
  EXPECT_EQ(SendMessageW(check1, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(GetDlgItem(main, kCombo1), CB_GETCOUNT, 0, 0), 3);
  Sleep(500);
  screenshot("main-window");

  // Untick the filter: Microsoft's drivers join the list.
  SendMessageW(check1, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(check1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  Sleep(300);
  screenshot("main-window-all-drivers");

  PostMessageW(GetDlgItem(main, kCommand1), BM_CLICK, 0, 0);
  HWND about = waitForWindow(L"Quorvak", 10000, L"#32770");
  ASSERT_NE(about, nullptr);
  Sleep(300);
  screenshot("about-message");
  PostMessageW(about, WM_COMMAND, IDOK, 0);

  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(process);
}

}  // namespace
}  // namespace qelvaro::e2e

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return qelvaro::e2e::reportExitCode(RUN_ALL_TESTS());
}
