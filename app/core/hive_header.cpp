#include "hive_header.h"

#include <cstring>

namespace qelvaro {
namespace {

std::uint32_t le32(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return v;
}

}  // namespace

HiveHeader CheckHiveHeader(std::string_view head, std::uint64_t fileSize) {
  HiveHeader h;
  if (head.size() >= 4 && head.substr(0, 4) == "CREG") {
    h.state = HiveState::Windows9x;
    return h;
  }
  if (head.size() < 4 || head.substr(0, 4) != "regf") {
    h.state = HiveState::NotRegf;
    return h;
  }
  if (head.size() < kHiveBaseBlockSize || fileSize < kHiveBaseBlockSize) {
    h.state = HiveState::Truncated;
    return h;
  }
  h.primarySequence = le32(head, 4);
  h.secondarySequence = le32(head, 8);
  h.majorVersion = le32(head, 0x14);
  h.minorVersion = le32(head, 0x18);
  h.declaredSize = kHiveBaseBlockSize + static_cast<std::uint64_t>(le32(head, 0x28));

  // The checksum covers the first 508 bytes, XORed as 32-bit words.
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 127; ++i) sum ^= le32(head, i * 4);
  if (sum == 0xFFFFFFFFu) sum = 0xFFFFFFFEu;
  if (sum == 0) sum = 1;
  if (sum != le32(head, 0x1FC)) {
    h.state = HiveState::BadChecksum;
  } else if (h.majorVersion != 1 || h.minorVersion < 2 || h.minorVersion > 6) {
    h.state = HiveState::BadVersion;
  } else if (fileSize < h.declaredSize || le32(head, 0x28) % 4096 != 0) {
    h.state = HiveState::Truncated;
  } else if (h.primarySequence != h.secondarySequence) {
    h.state = HiveState::Dirty;
  } else {
    h.state = HiveState::Clean;
  }
  return h;
}

std::string DescribeHiveState(HiveState state, const std::string& file) {
  switch (state) {
    case HiveState::Clean:
      return file + " is a sound registry hive";
    case HiveState::NotRegf:
      return file + " is not a registry hive (no regf signature)";
    case HiveState::Windows9x:
      return file + " is a Windows 95/98/ME registry file; only Windows NT hives (XP and later) can be read";
    case HiveState::BadChecksum:
      return file + " is damaged: the checksum of its base block does not match";
    case HiveState::BadVersion:
      return file + " has a registry format version that no Windows writes";
    case HiveState::Truncated:
      return file + " is truncated: it is shorter than the hive it declares";
    case HiveState::Dirty:
      return file + " was not closed cleanly: its newest changes are in its transaction logs";
  }
  return file;
}

}  // namespace qelvaro
