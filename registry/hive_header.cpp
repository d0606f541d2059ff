#include "hive_header.h"

#include <cstring>

#include "base/bytes.h"

namespace qelvaro {
namespace {

using base::loadLe32;

}  // namespace

std::uint32_t HiveBaseBlockChecksum(std::string_view block) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 127; ++i) sum ^= loadLe32(block, i * 4);
  if (sum == 0xFFFFFFFFu) sum = 0xFFFFFFFEu;
  if (sum == 0) sum = 1;
  return sum;
}

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
  h.primarySequence = loadLe32(head, 4);
  h.secondarySequence = loadLe32(head, 8);
  h.majorVersion = loadLe32(head, 0x14);
  h.minorVersion = loadLe32(head, 0x18);
  h.declaredSize = kHiveBaseBlockSize + static_cast<std::uint64_t>(loadLe32(head, 0x28));

  if (HiveBaseBlockChecksum(head) != loadLe32(head, 0x1FC)) {
    h.state = HiveState::BadChecksum;
  } else if (h.majorVersion != 1 || h.minorVersion < 2 || h.minorVersion > 6) {
    h.state = HiveState::BadVersion;
  } else if (fileSize < h.declaredSize || loadLe32(head, 0x28) % 4096 != 0) {
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
