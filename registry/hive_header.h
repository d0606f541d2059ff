#pragma once
// The base block of a registry hive file (regf), checked before any reader is let
// near the file: a file that is not a hive, a truncated or damaged one, or one that
// was not closed cleanly is told apart here, with a message a person can act on.

#include <cstdint>
#include <string>
#include <string_view>

namespace qelvaro {

enum class HiveState {
  Clean,
  NotRegf,      // no "regf" signature: some other file
  Windows9x,    // a Windows 95/98/ME registry file ("CREG"), a different format
  BadChecksum,  // the base block's checksum does not match: damaged
  BadVersion,   // a format version no Windows NT writes
  Truncated,    // shorter than the base block and the hive bins it declares
  Dirty,        // the two sequence numbers differ: the newest changes sit in the logs
};

struct HiveHeader {
  HiveState state = HiveState::NotRegf;
  std::uint32_t primarySequence = 0;
  std::uint32_t secondarySequence = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint64_t declaredSize = 0;  // base block and hive bins
};

inline constexpr std::size_t kHiveBaseBlockSize = 4096;

// `head` is the start of the file (the first 4096 bytes or all of a shorter file);
// `fileSize` its whole length.
HiveHeader CheckHiveHeader(std::string_view head, std::uint64_t fileSize);

// The checksum a base block (at least 512 bytes) should hold at offset 0x1FC: its
// first 508 bytes XORed as 32-bit words, never 0 nor 0xFFFFFFFF.
std::uint32_t HiveBaseBlockChecksum(std::string_view block);

// An English sentence for a state other than Clean, naming `file`.
std::string DescribeHiveState(HiveState state, const std::string& file);

}  // namespace qelvaro
