// Replaying the transaction logs of dirty hives: the Windows 10 SYSTEM hive of the
// corpus with its two logs, and a small dirty hive whose four log entries are spread
// over both logs.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "base/bytes.h"
#include "hive_header.h"
#include "hive_log_replay.h"
#include "hivex_hive.h"

namespace qelvaro {
namespace {

std::string corpus(const std::string& name) {
  std::ifstream in(std::string(QELVARO_CORPUS_DIR) + "/registry/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) ADD_FAILURE() << "corpus file missing: " << name;
  return bytes.str();
}

HiveHeader headerOf(const std::string& hive) {
  return CheckHiveHeader(std::string_view(hive).substr(0, kHiveBaseBlockSize), hive.size());
}

// Every key path below `root`, one per line.
std::string dump(const std::string& bytes, const std::string& root = "") {
  std::string error;
  const auto hive = OpenHivexHiveFromBytes(bytes, error);
  if (!hive) return "unreadable: " + error;
  std::string text;
  std::function<void(const std::string&)> walk = [&](const std::string& path) {
    std::unique_ptr<RegistryKey> key;
    if (hive->open(path, key) != kRegSuccess) {
      text += path + " <cannot open>\n";
      return;
    }
    text += path + "\n";
    std::string name;
    for (std::uint32_t i = 0; key->enumSubKey(i, name) == kRegSuccess; ++i) walk(path.empty() ? name : path + "\\" + name);
  };
  walk(root);
  return text;
}

TEST(HiveLogReplay, Marvin32MatchesTheLogsOwnHashes) {
  // The first entry of the Windows 10 hive's LOG1: its second hash covers its first 32 bytes.
  const std::string log = corpus("hives/regipy__SYSTEM_B.LOG1");
  std::uint64_t stored = 0;
  for (int i = 7; i >= 0; --i) stored = (stored << 8) | static_cast<unsigned char>(log[512 + 32 + static_cast<std::size_t>(i)]);
  EXPECT_EQ(Marvin32(std::string_view(log).substr(512, 32), 0x82EF4D887A4E55C5ull), stored);
  EXPECT_NE(Marvin32(std::string_view(log).substr(513, 32), 0x82EF4D887A4E55C5ull), stored);
}

TEST(HiveLogReplay, Windows10HiveTakesBothLogsInOrder) {
  const std::string hive = corpus("hives/regipy__SYSTEM_B");
  const std::vector<HiveLog> logs = {{"LOG2", corpus("hives/regipy__SYSTEM_B.LOG2")},
                                     {"LOG1", corpus("hives/regipy__SYSTEM_B.LOG1")}};
  std::string error;
  const auto replayed = ReplayHiveLogs(hive, logs, error);
  ASSERT_TRUE(replayed) << error;
  EXPECT_EQ(replayed->entriesApplied, 24u);  // LOG1 2107-2110, then LOG2 2111-2130
  const HiveHeader h = headerOf(replayed->bytes);
  EXPECT_EQ(h.state, HiveState::Clean);
  EXPECT_EQ(h.primarySequence, 2131u);
  EXPECT_EQ(h.declaredSize, 4096u + 12591104u);  // the bins grew with the last entries
  EXPECT_EQ(replayed->bytes.size(), h.declaredSize);
  EXPECT_NE(replayed->bytes.compare(4096, hive.size() - 4096, hive, 4096), 0);  // real changes
  const std::string classes = dump(replayed->bytes, "ControlSet001\\Control\\Class");
  EXPECT_EQ(classes.find("unreadable"), std::string::npos) << classes.substr(0, 200);
  EXPECT_EQ(classes.find("<cannot open>"), std::string::npos);
  EXPECT_NE(classes.find("{4d36e968-e325-11ce-bfc1-08002be10318}\\0001"), std::string::npos);

  // LOG2 alone still begins after the hive's own last write: its entries apply.
  const auto onlyLog2 = ReplayHiveLogs(hive, {logs[0]}, error);
  ASSERT_TRUE(onlyLog2) << error;
  EXPECT_EQ(onlyLog2->entriesApplied, 20u);
}

TEST(HiveLogReplay, SmallDirtyHiveAcrossBothLogs) {
  const std::string hive = corpus("edge-hives/yarp__NewDirtyHive1__NewDirtyHive");
  const std::vector<HiveLog> logs = {{"LOG1", corpus("edge-hives/yarp__NewDirtyHive1__NewDirtyHive.LOG1")},
                                     {"LOG2", corpus("edge-hives/yarp__NewDirtyHive1__NewDirtyHive.LOG2")}};
  std::string error;
  const auto replayed = ReplayHiveLogs(hive, logs, error);
  ASSERT_TRUE(replayed) << error;
  EXPECT_EQ(replayed->entriesApplied, 4u);
  EXPECT_EQ(headerOf(replayed->bytes).primarySequence, 6u);
  EXPECT_EQ(dump(replayed->bytes).find("unreadable"), std::string::npos);
}

TEST(HiveLogReplay, BrokenLogsAreNotApplied) {
  const std::string hive = corpus("edge-hives/yarp__NewDirtyHive1__NewDirtyHive");
  std::string log1 = corpus("edge-hives/yarp__NewDirtyHive1__NewDirtyHive.LOG1");
  std::string log2 = corpus("edge-hives/yarp__NewDirtyHive1__NewDirtyHive.LOG2");
  std::string error;

  // A flipped byte in LOG2's second entry: its hash fails, so it and what follows stay out.
  std::string torn = log2;
  torn[8192 + 40 + 8 + 100] ^= 0x01;
  auto replayed = ReplayHiveLogs(hive, {{"LOG1", log1}, {"LOG2", torn}}, error);
  ASSERT_TRUE(replayed) << error;
  EXPECT_EQ(replayed->entriesApplied, 2u);

  // Without LOG1 the hive's next write (sequence 2) is nowhere: LOG2 starts later, which
  // is still after the hive's own state, so its entries apply.
  replayed = ReplayHiveLogs(hive, {{"LOG2", log2}}, error);
  ASSERT_TRUE(replayed) << error;
  EXPECT_EQ(replayed->entriesApplied, 3u);

  // Logs that are not logs, or of the old format, give nothing to apply, and say why.
  EXPECT_FALSE(ReplayHiveLogs(hive, {{"junk", std::string(8192, 'x')}}, error));
  EXPECT_NE(error.find("junk: not a log"), std::string::npos) << error;
  std::string old = log1;
  old[0x1C] = 2;  // type 2: a log of the format before Windows 8.1
  base::storeLe32(old, 0x1FC, HiveBaseBlockChecksum(old));
  EXPECT_FALSE(ReplayHiveLogs(hive, {{"old", old}}, error));
  EXPECT_NE(error.find("before Windows 8.1"), std::string::npos) << error;
  EXPECT_FALSE(ReplayHiveLogs(hive, {}, error));
  // A clean hive is not replayed at all.
  EXPECT_FALSE(ReplayHiveLogs(corpus("hives/regipy__SYSTEM"), {{"LOG1", log1}}, error));
}

}  // namespace
}  // namespace qelvaro
