// Feeds arbitrary bytes to the offline-image path as the SYSTEM hive of an image: the
// base-block checks, hivex and our own hive reader behind them, the control set, the
// inventory's scan of every class key and the driver-store lookup. Checks that nothing crashes, that a
// refused hive comes with a message, and that every row the scan gives has a
// description (the inventory's own rule).

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "base/bytes.h"
#include "driver_inventory.h"
#include "hive_header.h"
#include "driver_store.h"
#include "hive_log_replay.h"
#include "hivex_hive.h"
#include "offline_image.h"
#include "regf_hive.h"

using namespace qelvaro;

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

// A volume holding only Windows\System32\config\SYSTEM.
class OneHiveVolume final : public FileSystem {
 public:
  explicit OneHiveVolume(std::string hive) : hive_(std::move(hive)) {}
  bool exists(const std::string& path, AttrMask mask) const override {
    return path == "C:\\Windows" ? mask == AttrMask::Folder : path == kHive;
  }
  std::optional<std::string> readFile(const std::string& path) const override {
    if (path == kHive) return hive_;
    return std::nullopt;
  }

  static constexpr const char* kHive = "C:\\Windows\\System32\\config\\SYSTEM";

 private:
  std::string hive_;
};

class SilentUi final : public Ui {
 public:
  void showMessage(const std::string&, const std::string&, MessageIcon) override {}
  void pumpMessages() override {}
  void setBusyCursor(bool) override {}
};

std::string readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Mutations nearly always break the base block's checksum, which stops everything
// behind it; every input is also tried with its checksum made right.
std::string withChecksum(std::string bytes) {
  if (bytes.size() < 4096) return bytes;
  base::storeLe32(bytes, 0x1FC, HiveBaseBlockChecksum(bytes));
  return bytes;
}

void tryHive(const std::string& bytes) {
  const OneHiveVolume volume(bytes);
  const HiveOpener hivex = [](const std::string& hive, std::string& why) { return OpenHivexHiveFromBytes(hive, why); };
  const HiveOpener ours = [](const std::string& hive, std::string& why) { return OpenRegfHive(hive, why); };

  for (const auto& [open, allowDirty] : {std::pair{&hivex, false}, {&hivex, true}, {&ours, false}, {&ours, true}}) {
    std::string error;
    const auto image = OpenOfflineImage(volume, "C:\\", *open, OfflineImageOptions{allowDirty, {}}, error);
    require(image != nullptr || !error.empty());
    if (!image) continue;
    SilentUi ui;
    const DriverInventory inventory = ScanDrivers(image->registry(), ui, false);
    const RegistryDriverStoreLookup store(image->registry(), image->folders());
    for (const DriverRecord& d : inventory.drivers) {
      require(!d.description.empty());
      if (auto folder = store.packageFolder(d.infName)) require(folder->find("FileRepository\\") != std::string::npos);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  tryHive(bytes);
  const std::string fixed = withChecksum(bytes);
  if (fixed != bytes) tryHive(fixed);
  // The same bytes as the log of a small dirty hive of the corpus (whose logs are
  // seeds): the replay must stay inside both and leave a hive whose base block is sound.
  static const std::string dirty = readFile(QELVARO_CORPUS_DIR "/registry/edge-hives/yarp__NewDirtyHive1__NewDirtyHive");
  std::string error;
  if (const auto replayed = ReplayHiveLogs(dirty, {{"log", fixed}}, error)) {
    const std::string_view head = std::string_view(replayed->bytes).substr(0, 4096);
    require(CheckHiveHeader(head, replayed->bytes.size()).state == HiveState::Clean);
    tryHive(replayed->bytes);
  }
  return 0;
}
