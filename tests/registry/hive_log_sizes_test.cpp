// A log entry whose pages add up past 4 GiB: in a 32-bit build (this test runs in the
// Windows one too) the sum must not wrap round to a size the entry seems to hold.

#include <gtest/gtest.h>

#include <string>

#include "base/bytes.h"
#include "hive_header.h"
#include "hive_log_replay.h"

namespace qelvaro {
namespace {

using base::storeLe32;
using base::storeLe64;

// A base block of format 1.5, its checksum made right.
std::string baseBlock(std::uint32_t primary, std::uint32_t secondary, std::uint32_t fileType, std::uint32_t bins) {
  std::string b = "regf" + std::string(kHiveBaseBlockSize - 4, '\0');
  for (auto [at, v] : {std::pair{4u, primary}, {8u, secondary}, {0x14u, 1u}, {0x18u, 5u}, {0x1Cu, fileType}, {0x28u, bins}})
    storeLe32(b, at, v);
  storeLe32(b, 0x1FC, HiveBaseBlockChecksum(b));
  return b;
}

TEST(HiveLogReplay, PagesAddingUpPast4GiBAreABrokenEntry) {
  const std::uint32_t page = 1 << 20;
  const std::string hive = baseBlock(2, 1, 0, page) + std::string(page, '\0');
  // Two pages whose bytes the entry holds apply; 4096 pages of 1 MiB (4 GiB, which is 0
  // in 32 bits) of which it holds none do not.
  for (const std::uint32_t pages : {2u, 4096u}) {
    const std::size_t data = pages == 2 ? 2 * page : 0, size = (40 + 8 * pages + data + 511) / 512 * 512;
    std::string entry = "HvLE" + std::string(size - 4, '\0');
    for (auto [at, v] : {std::pair{4u, std::uint32_t(size)}, {12u, 1u}, {16u, page}, {20u, pages}}) storeLe32(entry, at, v);
    for (std::size_t i = 0; i < pages; ++i) storeLe32(entry, 40 + 8 * i + 4, page);
    storeLe64(entry, 24, Marvin32(std::string_view(entry).substr(40), 0x82EF4D887A4E55C5ull));
    storeLe64(entry, 32, Marvin32(std::string_view(entry).substr(0, 32), 0x82EF4D887A4E55C5ull));
    std::string error;
    const auto replayed = ReplayHiveLogs(hive, {{"LOG1", baseBlock(1, 1, 6, 0).substr(0, 512) + entry}}, error);
    EXPECT_EQ(replayed.has_value(), pages == 2) << pages << " pages: " << error;
  }
}

}  // namespace
}  // namespace qelvaro
