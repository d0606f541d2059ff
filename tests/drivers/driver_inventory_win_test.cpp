// The driver inventory over the platform's registry, seeded from the .reg fixture
// by the platform's own registry editor.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "driver_inventory.h"
#include "e2e_support.h"
#include "inventory_expectations.h"
#include "recording_ui.h"
#include "win32_registry.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

namespace fixture = inventory_fixture;

TEST(DriverInventoryWin32, FixtureImportedIntoThePlatformRegistry) {
  ASSERT_TRUE(e2e::importRegFile(std::string(QELVARO_FIXTURES_DIR) + "/registry/inventory.reg"));
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
  EXPECT_EQ(ui.messages[0].text, "无法打开注册表项");
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
