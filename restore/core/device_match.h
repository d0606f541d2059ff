#pragma once
// Which devices of this PC a driver of a backup fits, decided the way Plug and Play
// ranks a driver for a device, so that a restore offers what this machine can use.
//
// The identifier part of Windows' driver rank (lower is better), each kind of match
// within its own range (positions count from 0 and stop at the largest their field
// holds, so a late id never reaches the next range):
//   0x0000 + i             the device's hardware id i is the model line's hardware id
//   0x1000 + i             the device's hardware id i is one of the line's compatible ids
//   0x2000 + i             the device's compatible id i is the line's hardware id
//   0x3000 + i + 0x100 j   the device's compatible id i (up to 0xFF) is the line's
//                          compatible id j (up to 0xF)
// Ids compare without regard to case. Between drivers, Windows takes the lower rank,
// then the newer DriverVer date, then the higher version; a backup's driver is not
// offered where the device already has a newer one.
//
// The device list comes from the platform (SetupAPI on Windows): devices plugged in
// now and those seen before but not connected.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "inf_install_model.h"

namespace qelvaro::restore {

struct PcDevice {
  std::string instanceId;                  // "PCI\VEN_8086&DEV_1C3A\3&11583659&0&B0"
  std::string name;                        // friendly name, else description, else the instance id
  std::vector<std::string> hardwareIds;    // most specific first
  std::vector<std::string> compatibleIds;  // most specific first
  bool present = true;                     // plugged in now
  std::string installedDriverVer;          // its driver now, "date,version" as a DriverVer; "" for none
  std::string installedProvider;           // that driver's provider
};

constexpr unsigned kNoMatch = 0xFFFFFFFFu;

struct DeviceMatch {
  std::size_t device = 0;  // index in the device list
  std::string matchedId;   // as the INF writes it
  unsigned rank = kNoMatch;
  bool found() const { return rank != kNoMatch; }
};

// The best rank of one model line for one device (kNoMatch when they share no id).
DeviceMatch MatchModelLine(const InfModelLine& line, const PcDevice& device);

enum class Fit {
  None,            // no device of this PC has any of its ids
  Present,         // a device plugged in now
  NotConnected,    // only devices that are not plugged in now
  NewerInstalled,  // the device it fits best has a newer version of it (same provider) already
};

struct DriverFit {
  Fit fit = Fit::None;
  DeviceMatch match;  // the device it fits best: a present one before one that is not
};

// Where a driver with these model lines, DriverVer and provider fits among `devices`.
DriverFit FitDriver(const std::vector<InfModelLine>& lines, std::string_view driverVer, std::string_view provider,
                    const std::vector<PcDevice>& devices);

// Orders two DriverVer values ("mm/dd/yyyy,w.x.y.z"; the registry's "m-d-yyyy" date
// form too) as Windows does: date, then version, each part as a number, missing parts
// as 0. Negative when `a` is older, 0 when equal, positive when newer.
int CompareDriverVer(std::string_view a, std::string_view b);

}  // namespace qelvaro::restore
