#pragma once
// Replays the transaction logs of a hive that was not closed cleanly, in memory, the
// way Windows does when it loads such a hive: the logs of Windows 8.1 and later
// (SYSTEM.LOG1 and SYSTEM.LOG2, base block file type 6) hold log entries ("HvLE"),
// each a numbered write of dirty pages of the hive bins, checked by two Marvin32
// hashes. The entries from the hive's secondary sequence number on are applied in
// order, the log that starts earlier first; a torn or broken entry ends the replay,
// and what came before it stands. The hive file itself is never changed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive_header.h"

namespace qelvaro {

struct HiveLog {
  std::string name;   // for messages
  std::string bytes;  // the whole log file
};

struct ReplayedHive {
  std::string bytes;            // the hive with the logs applied, its base block clean
  std::size_t entriesApplied = 0;
};

// The hive `hive` (whole file, dirty) with `logs` applied; none with `error` set when
// no log can be applied (old-format logs, logs of another write, damaged logs).
std::optional<ReplayedHive> ReplayHiveLogs(std::string_view hive, const std::vector<HiveLog>& logs,
                                           std::string& error);

// Whether the log whose base block is `logHead` (its first 4096 bytes) is one that can
// be replayed into the dirty hive of `hive`: only such a log is worth reading further.
bool LogMayApply(const HiveHeader& hive, std::string_view logHead);

// Marvin32 of `data` with `seed`, the hash the log entries carry.
std::uint64_t Marvin32(std::string_view data, std::uint64_t seed);

}  // namespace qelvaro
