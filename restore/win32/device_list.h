#pragma once
// The devices of this PC as SetupAPI knows them, for matching a backup's drivers.

#include <vector>

#include "device_match.h"

namespace qelvaro::restore {

// Every device Plug and Play has seen (DIGCF_ALLCLASSES), each marked present when the
// same listing with DIGCF_PRESENT holds it too, with its hardware and compatible ids,
// its name and the DriverVer of the driver it has now. Empty when SetupAPI cannot be
// loaded. (Wine 8 ignores DIGCF_PRESENT: there every device counts as present.)
std::vector<PcDevice> ListPcDevices();

}  // namespace qelvaro::restore
