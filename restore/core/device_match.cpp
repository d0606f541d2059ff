#include "device_match.h"

#include <array>
#include <cstdint>
#include <tuple>

#include "inf_values.h"
#include "base/text_encoding.h"

namespace qelvaro::restore {

namespace {

// A position past what its field holds shares the field's last value, so that no
// match, however late its id stands, reaches the range of a worse kind of match.
unsigned position(std::size_t i, unsigned largest) {
  return static_cast<unsigned>(i < largest ? i : largest);
}

// "03/14/2025" or "3-14-2025": year, month, day; zeros for what is missing.
std::array<std::uint32_t, 3> parseDate(std::string_view text) {
  std::array<std::uint32_t, 3> mdy{};
  std::size_t part = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (mdy[part] < 100000) mdy[part] = mdy[part] * 10 + static_cast<std::uint32_t>(c - '0');
    } else if ((c == '/' || c == '-') && ++part == mdy.size()) {
      break;
    }
  }
  return {mdy[2], mdy[0], mdy[1]};
}

std::array<std::uint32_t, 4> parseVersion(std::string_view text) {
  std::array<std::uint32_t, 4> v{};
  std::size_t part = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (v[part] < 1000000) v[part] = v[part] * 10 + static_cast<std::uint32_t>(c - '0');
    } else if (c == '.' && ++part == v.size()) {
      break;
    }
  }
  return v;
}

}  // namespace

DeviceMatch MatchModelLine(const InfModelLine& line, const PcDevice& device) {
  DeviceMatch best;
  auto consider = [&](unsigned rank, const std::string& id) {
    if (rank < best.rank) {
      best.rank = rank;
      best.matchedId = id;
    }
  };
  const std::vector<std::string>* lists[] = {&device.hardwareIds, &device.compatibleIds};
  for (unsigned kind = 0; kind < 2; ++kind) {
    const auto& ids = *lists[kind];
    for (std::size_t i = 0; i < ids.size(); ++i) {
      if (ids[i].empty()) continue;
      if (!line.hardwareId.empty() && iequalsAscii(ids[i], line.hardwareId)) {
        consider((kind == 0 ? 0x0000 : 0x2000) + position(i, 0xFFF), line.hardwareId);
      }
      for (std::size_t j = 0; j < line.compatibleIds.size(); ++j) {
        if (!iequalsAscii(ids[i], line.compatibleIds[j])) continue;
        consider(kind == 0 ? 0x1000 + position(i, 0xFFF) : 0x3000 + position(i, 0xFF) + 0x100 * position(j, 0xF),
                 line.compatibleIds[j]);
      }
    }
  }
  return best;
}

DriverFit FitDriver(const std::vector<InfModelLine>& lines, std::string_view driverVer, std::string_view provider,
                    const std::vector<PcDevice>& devices) {
  DriverFit fit;
  // A device plugged in now before one that is not; then the better rank; then the
  // device listed first.
  auto better = [&](const DeviceMatch& a, const DeviceMatch& b) {
    return std::make_tuple(!devices[a.device].present, a.rank) < std::make_tuple(!devices[b.device].present, b.rank);
  };
  for (std::size_t d = 0; d < devices.size(); ++d) {
    for (const InfModelLine& line : lines) {
      DeviceMatch m = MatchModelLine(line, devices[d]);
      if (!m.found()) continue;
      m.device = d;
      if (!fit.match.found() || better(m, fit.match)) fit.match = std::move(m);
    }
  }
  if (!fit.match.found()) return fit;
  const PcDevice& device = devices[fit.match.device];
  if (!device.present) {
    fit.fit = Fit::NotConnected;
  } else if (!device.installedDriverVer.empty() && iequalsAscii(device.installedProvider, provider) &&
             CompareDriverVer(device.installedDriverVer, driverVer) > 0) {
    // Only a newer release of the same vendor's driver: another provider's newer
    // driver (a generic one matched on a compatible id) says nothing about this one.
    fit.fit = Fit::NewerInstalled;
  } else {
    fit.fit = Fit::Present;
  }
  return fit;
}

int CompareDriverVer(std::string_view a, std::string_view b) {
  const auto fa = InfFields(a), fb = InfFields(b);
  const auto key = [](const std::vector<std::string>& f) {
    return std::make_pair(parseDate(f[0]), parseVersion(f.size() > 1 ? f[1] : std::string()));
  };
  const auto ka = key(fa), kb = key(fb);
  return ka < kb ? -1 : (kb < ka ? 1 : 0);
}

}  // namespace qelvaro::restore
