#pragma once
// What the driver inventory must give for tests/fixtures/registry/inventory.reg,
// whichever registry (in memory, or the platform's) holds it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_inventory.h"

namespace qelvaro::inventory_fixture {

inline constexpr char kRoot[] = "SYSTEM\\QelvaroTest\\Class";
inline const std::string kDisplay = "{4d36e968-e325-11ce-bfc1-08002be10318}";
inline const std::string kNet = "{4d36e972-e325-11ce-bfc1-08002be10318}";
inline const std::string kNoNames = "{aaaaaaaa-0000-0000-0000-000000000001}";
inline const std::string kLong = "{cccccccc-0000-0000-0000-000000000003}";
inline const std::string kLongName = "L" + std::string(98, 'o') + "ng";

inline std::vector<std::string> descriptions(const DriverInventory& inv) {
  std::vector<std::string> out;
  for (const auto& d : inv.drivers) out.push_back(d.description);
  return out;
}

// Microsoft's drivers hidden.
inline void expectFiltered(const DriverInventory& inv) {
  using V = std::vector<std::string>;
  EXPECT_EQ(descriptions(inv), (V{"Qelvaro Demo Graphics Adapter", "Corporate NIC",
                                  "Qelvaro Demo Ethernet \xE4\xBB\xA5\xE5\xA4\xAA\xE7\xBD\x91", "-1",
                                  "Driver of a class without names", "Behind a long subkey name",
                                  "After the long name"}));
  ASSERT_EQ(inv.drivers.size(), 7u);
  const DriverRecord& display = inv.drivers[0];
  EXPECT_EQ(display.classDisplayName, "\xE6\x98\xBE\xE7\xA4\xBA\xE9\x80\x82\xE9\x85\x8D\xE5\x99\xA8");  // 显示适配器
  EXPECT_EQ(display.provider, "Qelvaro Demo Graphics");
  EXPECT_EQ(display.keyPath, kDisplay + "\\0000");
  EXPECT_EQ(display.className, "Display");
  EXPECT_EQ(display.infName, "oem3.inf");
  // An expandable string and a multi-string read as empty; numbers as decimal text.
  EXPECT_EQ(inv.drivers[2].infName, "");
  EXPECT_EQ(inv.drivers[3].provider, "42");
  EXPECT_EQ(inv.drivers[3].infName, "");
  EXPECT_EQ(inv.drivers[3].keyPath, kNet + "\\0006");
  // A class key without default value and "Class".
  EXPECT_EQ(inv.drivers[4].classDisplayName, "");
  EXPECT_EQ(inv.drivers[4].className, "");
  EXPECT_EQ(inv.drivers[4].keyPath, kNoNames + "\\0000");
  // A long subkey name neither ends the listing nor loses its class.
  EXPECT_EQ(inv.drivers[5].keyPath, kLong + "\\" + kLongName);
  EXPECT_EQ(inv.drivers[5].className, "LongNames");
  EXPECT_EQ(inv.drivers[6].keyPath, kLong + "\\Zz0000");
  EXPECT_EQ(inv.drivers[6].infName, "oem10.inf");
}

// Every driver key with a description.
inline void expectUnfiltered(const DriverInventory& inv) {
  using V = std::vector<std::string>;
  EXPECT_EQ(descriptions(inv),
            (V{"Qelvaro Demo Graphics Adapter", "Microsoft NIC", "Upper-case Microsoft NIC", "NIC without provider",
               "NIC with empty provider", "Corporate NIC", "Qelvaro Demo Ethernet \xE4\xBB\xA5\xE5\xA4\xAA\xE7\xBD\x91",
               "-1", "Driver of a class without names", "Behind a long subkey name", "After the long name"}));
  EXPECT_EQ(inv.driverKeys.size(), 14u);  // Properties and the description-less keys included
  EXPECT_EQ(inv.driverKeys[3], kDisplay + "\\Properties");
}

}  // namespace qelvaro::inventory_fixture
