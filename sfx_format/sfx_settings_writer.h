// Writes the settings block a package carries for its stub (the format is in
// sfx_settings.h). Used by the zip component; the stub only reads.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qsfx {

// The block (text and trailer) for these key/value pairs, in this order.
std::vector<std::uint8_t> encodeSettings(const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace qsfx
