// `qelvaro verify` on a folder, a Zip file and a package made from it, each with one
// kind of damage.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "backup_collector.h"
#include "checksum_list.h"
#include "cmd_verify.h"
#include "fake_windows_tree.h"
#include "sfx_packaging.h"
#include "shown_text.h"
#include "zip_packaging.h"

namespace qelvaro {
namespace {

const std::string kRoot = "D:\\Quorvak";

// Enough of a Windows program for the component: "MZ", and at 60 the offset of "PE".
std::string fakeStub() {
  std::string s(512, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  s[60] = static_cast<char>(128);
  s.replace(128, 4, std::string("PE\0\0", 4));
  return s;
}

struct Verify : ::testing::Test {
  testing::FakeWindowsTree tree;

  // A backup folder with its checksum list, then `damage` done to it.
  void makeBackup(const std::string& damage) {
    tree.put(kRoot + "\\Display\\Acme GPU\\acme.inf", "[Version]\r\n");
    tree.put(kRoot + "\\Display\\Acme GPU\\acme.sys", std::string(200000, 'x'));
    tree.put(kRoot + "\\Net\\网卡\\net.sys", "network");
    std::string failed;
    ASSERT_TRUE(WriteBackupChecksums(tree.fs(), kRoot, BackupResult{}, failed));
    const std::string sys = kRoot + "\\Display\\Acme GPU\\acme.sys";
    if (damage == "flipped") tree.put(sys, std::string(100000, 'x') + "y" + std::string(99999, 'x'));
    if (damage == "truncated") tree.put(sys, std::string(150000, 'x'));
    if (damage == "removed") std::remove(tree.host(kRoot + "\\Net\\网卡\\net.sys").c_str());
    if (damage == "added") tree.put(kRoot + "\\Net\\网卡\\extra.dll", "?");
  }

  // The backup in `form`; its path. A signed package has a certificate table (here
  // bytes of one's size, beyond the room of a Zip comment) after its archive.
  std::string pack(const std::string& form) {
    if (form == "folder") return kRoot;
    const std::string stub = tree.host("D:\\stub.bin");
    std::ofstream(stub, std::ios::binary) << fakeStub();
    const std::string target = form == "zip" ? "D:\\Quorvak.zip" : "D:\\Quorvak.exe";
    const ZipOutcome r = form == "zip" ? PackBackupAsZip(tree.host(kRoot), tree.host(target), nullptr, nullptr)
                                       : PackBackupAsSfx(tree.host(kRoot), tree.host(target), stub, "", nullptr, nullptr);
    EXPECT_TRUE(r.ok()) << r.description;
    if (form == "signed package") std::ofstream(tree.host(target), std::ios::binary | std::ios::app) << std::string(200 << 10, '\x30');
    return target;
  }

  int verify(const std::string& path, std::string& out) {
    std::ostringstream o, e;
    const auto open = [this](const std::string& p, FsResult& why) {
      return OpenArchiveInput(tree.fs().hostPath(p).value_or(p), why);
    };
    const int code = RunVerifyCommand({path, "--json"}, tree.fs(), nullptr, open, o, e);
    out = o.str() + e.str();
    return code;
  }
};

TEST_F(Verify, EachDamageIsNamedInEveryForm) {
  const struct {
    const char* damage;
    int code;
    const char* named;  // in the JSON report
  } cases[] = {
      {"", 0, "\"filesChecked\": 3"},
      {"flipped", 1, "\"changed\": [\n        \"Display/Acme GPU/acme.sys\""},
      {"truncated", 1, "\"changed\": [\n        \"Display/Acme GPU/acme.sys\""},
      {"removed", 1, "\"missing\": [\n        \"Net/\\u7f51\\u5361/net.sys\""},
      {"added", 1, "\"unexpected\": [\n        \"Net/\\u7f51\\u5361/extra.dll\""},
  };
  for (const char* form : {"folder", "zip", "package", "signed package"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(form) + " " + c.damage);
      (void)std::system(("rm -rf '" + tree.host("D:\\") + "'/*").c_str());
      makeBackup(c.damage);
      std::string out;
      EXPECT_EQ(verify(pack(form), out), c.code) << out;
      EXPECT_NE(out.find(c.named), std::string::npos) << out;
    }
  }
}

TEST_F(Verify, ArchiveCrcsOlderBackupsAndWhatIsNoBackup) {
  std::string out;
  // A byte flipped inside the archive itself: its CRC catches it.
  makeBackup("");
  const std::string zip = pack("zip");
  std::string bytes = tree.read(zip);
  const auto at = bytes.find("network");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'N';
  tree.put(zip, bytes);
  EXPECT_EQ(verify(zip, out), 1) << out;
  EXPECT_NE(out.find("\"changed\": [\n        \"Net/\\u7f51\\u5361/net.sys\""), std::string::npos) << out;

  // Made before backups carried the list: a Zip by its CRCs, a folder has nothing.
  std::remove(tree.host(zip).c_str());
  makeBackup("");
  std::remove(tree.host(kRoot + "\\SHA256SUMS").c_str());
  EXPECT_EQ(verify(pack("zip"), out), 0) << out;
  EXPECT_NE(out.find("\"checksumList\": false"), std::string::npos) << out;
  makeBackup("");
  std::remove(tree.host(kRoot + "\\SHA256SUMS").c_str());
  EXPECT_EQ(verify(kRoot, out), 3) << out;
  EXPECT_EQ(verify("D:\\stub.bin", out), 2) << out;
  EXPECT_EQ(verify("D:\\nothing-here", out), 2) << out;
}

// Names from a checksum list are printed with their control characters and broken
// UTF-8 escaped: an ESC never reaches the terminal, a line break never forges a line.
TEST_F(Verify, TextOutputEscapesWhatTheListNames) {
  makeBackup("");
  const std::string sums = kRoot + "\\SHA256SUMS";
  tree.put(sums, tree.read(sums) + std::string(64, '0') + "  Net/网卡/a\tb\x1b[2J\xFF" + std::string(1, '\0') +
                     "\x7f\xc2\x9b.sys\n");
  std::ostringstream o, e;
  EXPECT_EQ(RunVerifyCommand({kRoot}, tree.fs(), nullptr, nullptr, o, e), 1) << e.str();
  EXPECT_NE(o.str().find("FAILED Net/网卡: missing a\\tb\\x1B[2J\\xFF\\x00\\x7F\\u009B.sys;\n"), std::string::npos)
      << o.str();
}

TEST(ShownText, ControlCharactersAndBrokenUtf8) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"plain 网卡 C:\\x", "plain 网卡 C:\\x"},
      {"a\tb\rc\nd", "a\\tb\\rc\\nd"},
      {std::string("\0\x01\x1b\x1f\x7f", 5), "\\x00\\x01\\x1B\\x1F\\x7F"},
      {"\xc2\x80\xc2\x9f\xc2\xa0", "\\u0080\\u009F\xc2\xa0"},    // C1 controls; U+00A0 stays
      {"\xff\xe7\xbd\x91\xe7\xbd", "\\xFF网\\xE7\\xBD"},            // a stray byte, a cut sequence
      {"\xc0\xaf\xed\xa0\x80", "\\xC0\\xAF\\xED\\xA0\\x80"},     // overlong, a surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(ShownText(c.text), c.shown) << c.shown;
}

}  // namespace
}  // namespace qelvaro
