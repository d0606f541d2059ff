// The driver inventory over the platform's registry, seeded from the .reg fixture
// by the platform's own registry editor.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "driver_inventory.h"
#include "inventory_expectations.h"
#include "recording_ui.h"
#include "win32_registry.h"
#include "win32_text.h"

namespace qelvaro {
namespace {

namespace fixture = inventory_fixture;

void importWithRegedit(const std::string& unixPath) {
  std::string dos = "Z:" + unixPath;
  for (char& c : dos) if (c == '/') c = '\\';
  std::wstring command = L"regedit.exe /s \"" + widen(dos) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  WaitForSingleObject(pi.hProcess, 60000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

TEST(DriverInventoryWin32, FixtureImportedIntoThePlatformRegistry) {
  importWithRegedit((std::filesystem::path(QELVARO_FIXTURES_DIR) / "registry" / "inventory.reg").generic_string());
  const Win32Registry reg;
  RecordingUi ui;
  fixture::expectFiltered(ScanDrivers(reg, ui, true, fixture::kRoot));
  fixture::expectUnfiltered(ScanDrivers(reg, ui, false, fixture::kRoot));
  EXPECT_TRUE(ui.messages.empty());
}

TEST(DriverInventoryWin32, MissingClassRootGivesOneMessageAndNoRows) {
  const Win32Registry reg;
  RecordingUi ui;
  EXPECT_TRUE(ScanDrivers(reg, ui, true, "SYSTEM\\QelvaroNowhere\\Class").drivers.empty());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Cannot Open Key");
}

TEST(DriverInventoryWin32, TheRealClassRootOpensForReading) {
  // Read access is all the scan asks for, so it works without administrator rights.
  const Win32Registry reg;
  RecordingUi ui;
  const auto all = ScanDrivers(reg, ui, false);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(all.driverKeys.empty());
}

}  // namespace
}  // namespace qelvaro
