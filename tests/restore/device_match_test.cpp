#include "device_match.h"

#include <gtest/gtest.h>

#include "restore_inf.h"

namespace qelvaro::restore {
namespace {

// The model lines of a one-line INF for amd64 (an x86-only line beside it never counts).
std::vector<InfModelLine> linesOf(const std::string& ids) {
  const std::string inf = "[Version]\nSignature=$Windows NT$\n[Manufacturer]\nM=Mdl,NTamd64\n"
                          "[Mdl.NTamd64]\n%D%=Inst," + ids + "\n[Mdl.NTx86]\nOld=Inst,X86\\ONLY\n[Strings]\nD=Dev\n";
  return ReadInfPackage(IniDocument::parse(inf), MachineArch::Amd64).modelLines;
}

PcDevice device(const char* instance, std::vector<std::string> hardware, std::vector<std::string> compatible,
                bool present = true) {
  return PcDevice{instance, instance, std::move(hardware), std::move(compatible), present, "", ""};
}

TEST(DeviceMatch, RanksIdsAsWindowsDoes) {
  const PcDevice gpu =
      device("PCI\\1", {"PCI\\VEN_10DE&DEV_1C82&SUBSYS_1", "PCI\\VEN_10DE&DEV_1C82"}, {"PCI\\CC_0300"});
  const PcDevice unplugged = device("USB\\2", {"USB\\VID_0C45&PID_6366"}, {"USB\\Class_0e"}, false);
  PcDevice newer = gpu;
  newer.instanceId = "PCI\\3";
  newer.installedDriverVer = "5-1-2025,31.0.15.1000";
  newer.installedProvider = "nvidia";
  struct Case {
    const char* ids;
    std::vector<PcDevice> devices;
    Fit fit;
    const char* device;  // best device's instance
    const char* matched;
    unsigned rank;
  } cases[] = {
      // Hardware id against hardware id, case ignored; the device's first id wins.
      {"pci\\ven_10de&dev_1c82", {gpu}, Fit::Present, "PCI\\1", "pci\\ven_10de&dev_1c82", 1},
      {"PCI\\VEN_10DE&DEV_1C82&SUBSYS_1, PCI\\VEN_10DE&DEV_1C82", {gpu}, Fit::Present, "PCI\\1",
       "PCI\\VEN_10DE&DEV_1C82&SUBSYS_1", 0},
      // Device hardware id on the INF's compatible id, before a device compatible id on its hardware id.
      {"PCI\\CC_0300, PCI\\VEN_10DE&DEV_1C82", {gpu}, Fit::Present, "PCI\\1", "PCI\\VEN_10DE&DEV_1C82", 0x1001},
      {"PCI\\CC_0300", {gpu}, Fit::Present, "PCI\\1", "PCI\\CC_0300", 0x2000},
      {"ACPI\\X, PCI\\CC_0300", {gpu}, Fit::Present, "PCI\\1", "PCI\\CC_0300", 0x3000},
      // A driver for two devices: the present one, even on a worse rank; only an unplugged one: not connected.
      {"USB\\VID_0C45&PID_6366, PCI\\CC_0300", {unplugged, gpu}, Fit::Present, "PCI\\1", "PCI\\CC_0300", 0x3000},
      {"USB\\VID_0C45&PID_6366", {gpu, unplugged}, Fit::NotConnected, "USB\\2", "USB\\VID_0C45&PID_6366", 0},
      // No device, and the x86-only line never matches on amd64.
      {"HDAUDIO\\FUNC_01", {gpu, unplugged}, Fit::None, "", "", kNoMatch},
      {"X86\\ONLY2", {device("R\\1", {"X86\\ONLY"}, {})}, Fit::None, "", "", kNoMatch},
      // The device has a newer release of it (date first, version as numbers); an equal one, or
      // another provider's, does not count.
      {"PCI\\VEN_10DE&DEV_1C82", {newer}, Fit::NewerInstalled, "PCI\\3", "PCI\\VEN_10DE&DEV_1C82", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ids);
    const DriverFit fit = FitDriver(linesOf(c.ids), "04/30/2025,31.0.15.999", "NVIDIA", c.devices);
    EXPECT_EQ(fit.fit, c.fit);
    EXPECT_EQ(fit.match.rank, c.rank);
    EXPECT_EQ(fit.match.matchedId, c.matched);
    if (fit.match.found()) {
      EXPECT_EQ(c.devices[fit.match.device].instanceId, c.device);
    }
  }
  EXPECT_EQ(FitDriver(linesOf("PCI\\CC_0300"), "5/1/2025,31.0.15.1000", "NVIDIA", {newer}).fit, Fit::Present);
  EXPECT_EQ(FitDriver(linesOf("PCI\\CC_0300"), "1/1/2020,1.0", "Generic", {newer}).fit, Fit::Present);
  EXPECT_LT(CompareDriverVer("03/14/2025,2.5.0.7", "3-14-2025,2.5.0.10"), 0);
  EXPECT_GT(CompareDriverVer("01/01/2025,1.0", "12/31/2024,9.9.9.9"), 0);
}

// A device with many ids: however late the matching id stands in the device's list (or
// the line's), the match stays in its own tier's range, below every rank of a worse one.
TEST(DeviceMatch, LatePositionsStayWithinTheirTier) {
  const struct {
    std::size_t at;
    unsigned hwHw, hwCompat, compatHw, compatCompat, compatCompatLate;
  } cases[] = {
      {0, 0x0000, 0x1000, 0x2000, 0x3000, 0x3000},  {15, 0x000F, 0x100F, 0x200F, 0x300F, 0x3F00},
      {16, 0x0010, 0x1010, 0x2010, 0x3010, 0x3F00}, {255, 0x00FF, 0x10FF, 0x20FF, 0x30FF, 0x3F00},
      {300, 0x012C, 0x112C, 0x212C, 0x30FF, 0x3F00},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.at);
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < c.at; ++i) ids.push_back("X\\" + std::to_string(i));
    ids.push_back("THE\\ID");
    const PcDevice byHardware = device("R\\1", ids, {}), byCompatible = device("R\\2", {"OTHER"}, ids);
    std::string late = "A\\NONE";  // the line's compatible id `at`
    for (std::size_t j = 0; j < c.at; ++j) late += ", C\\" + std::to_string(j);
    const PcDevice first = device("R\\3", {}, {"THE\\ID"});
    EXPECT_EQ(FitDriver(linesOf("THE\\ID"), "", "", {byHardware}).match.rank, c.hwHw);
    EXPECT_EQ(FitDriver(linesOf("A\\NONE, THE\\ID"), "", "", {byHardware}).match.rank, c.hwCompat);
    EXPECT_EQ(FitDriver(linesOf("THE\\ID"), "", "", {byCompatible}).match.rank, c.compatHw);
    EXPECT_EQ(FitDriver(linesOf("A\\NONE, THE\\ID"), "", "", {byCompatible}).match.rank, c.compatCompat);
    EXPECT_EQ(FitDriver(linesOf(late + ", THE\\ID"), "", "", {first}).match.rank, c.compatCompatLate);
  }
}

}  // namespace
}  // namespace qelvaro::restore
