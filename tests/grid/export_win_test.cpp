// The export's and the layout store's Windows side under Wine: the desktop, a file
// replaced only when written whole, the ANSI check, and the per-user registry store.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "grid_error.h"
#include "grid_export.h"
#include "win32_export.h"
#include "win32_locale.h"

namespace qelvaro::grid {
namespace {

std::string readFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ExportWin, FileIsReplacedOnlyWhenWrittenWhole) {
  Win32ExportPort port(nullptr);
  const std::optional<std::string> desktop = port.DesktopFolder();
  ASSERT_TRUE(desktop);
  CreateDirectoryW(std::wstring(desktop->begin(), desktop->end()).c_str(), nullptr);
  const std::string path = *desktop + "\\grid.csv";
  EXPECT_FALSE(port.WriteReplacing(path, "first"));
  EXPECT_FALSE(port.WriteReplacing(path, "second"));
  const std::wstring wpath(path.begin(), path.end());
  EXPECT_EQ(readFile(wpath), "second");
  EXPECT_TRUE(port.WriteReplacing(*desktop + "\\no such folder\\grid.csv", "x"));
  EXPECT_EQ(GetFileAttributesW((wpath + L".part").c_str()), INVALID_FILE_ATTRIBUTES);

  EXPECT_EQ(port.ToAnsi("plain, text"), std::optional<std::string>("plain, text"));
  // A driver name in Chinese has no form in a Western code page.
  if (GetACP() == 1252) EXPECT_FALSE(port.ToAnsi("\xE9\xA9\xB1\xE5\x8A\xA8"));
}

TEST(ExportWin, LayoutKeptPerUserUnderTheProgramsTitle) {
  RegistrySettingsStore store(L"GridTest");
  CellGrid grid(Win32Locale::user());
  for (const char* c : {"a", "b", "c"}) grid.AddColumn(c, 700);
  grid.SetColumnOrder({1, 2, 0});
  ColOrderSave(grid, store, "drivers");
  ColWidthsSave(grid, store, "drivers");
  wchar_t value[32] = {};
  DWORD size = sizeof value;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Qelvaro\\GridTest\\drivers", L"Count", RRF_RT_REG_SZ, nullptr,
                         value, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(value, L"2");
  CellGrid other(Win32Locale::user());
  for (const char* c : {"a", "b", "c"}) other.AddColumn(c, 100);
  ColOrderLoad(other, store, "drivers");
  ColWidthsLoad(other, store, "drivers");
  EXPECT_EQ(other.ColumnOrder(), (std::vector<std::int32_t>{1, 2, 0}));
  EXPECT_FLOAT_EQ(other.ColWidth(2), grid.ColWidth(2));
}

// A save that the registry refuses, or a setting that cannot be read, reaches the
// caller; only a layout never saved loads as nothing.
TEST(ExportWin, LayoutStoreFailuresReachTheCaller) {
  RegistrySettingsStore store(L"GridTest");
  HKEY hkey = nullptr;
  // A volatile key takes no lasting subkey, so a section below it cannot be written.
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Qelvaro\\GridTest\\volatile", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &hkey, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(hkey);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Qelvaro\\GridTest\\unreadable", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &hkey, nullptr),
            ERROR_SUCCESS);
  const DWORD number = 2;
  for (const wchar_t* name : {L"Count", L"W0"})
    RegSetValueExW(hkey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  RegCloseKey(hkey);

  CellGrid grid(Win32Locale::user());
  for (const char* c : {"a", "b", "c"}) grid.AddColumn(c, 700);
  EXPECT_THROW(ColOrderSave(grid, store, "volatile\\drivers"), GridError);
  EXPECT_THROW(ColWidthsSave(grid, store, "volatile\\drivers"), GridError);
  EXPECT_THROW(ColOrderLoad(grid, store, "unreadable"), GridError);
  EXPECT_THROW(ColWidthsLoad(grid, store, "unreadable"), GridError);
  EXPECT_NO_THROW(ColOrderLoad(grid, store, "never saved"));
  EXPECT_NO_THROW(ColWidthsLoad(grid, store, "never saved"));
  EXPECT_EQ(grid.ColumnOrder(), (std::vector<std::int32_t>{0, 1, 2}));
}

}  // namespace
}  // namespace qelvaro::grid
