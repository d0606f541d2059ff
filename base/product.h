#pragma once
// The product's names, shown in the main window's caption and the About message.

#include "qelvaro_version.h"

namespace qelvaro {

inline constexpr char kProductName[] = "Qelvaro";
inline constexpr char kMakerWebAddress[] = "https://www.qelvaro.com";
// The version set in CMakeLists.txt's project(); the version resources carry it too.
inline constexpr char kProductVersion[] = QELVARO_VERSION;

}  // namespace qelvaro
