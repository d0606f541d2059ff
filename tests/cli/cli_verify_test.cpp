// `qelvaro verify` on a folder, a Zip file and a package made from it, each with one
// kind of damage.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "backup_collector.h"
#include "checksum_list.h"
#include "cmd_verify.h"
#include "fake_windows_tree.h"
#include "sfx_packaging.h"
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

// What a folder walk must not trust: links (never followed, so a loop of them ends at
// once), names that are one file on Windows, and a list that is not one to read.
TEST_F(Verify, LinksCaseTwinsAndUnreadableListsInAFolder) {
  namespace stdfs = std::filesystem;
  const std::string gpu = kRoot + "\\Display\\Acme GPU\\";
  const std::string sums = kRoot + "\\SHA256SUMS";
  const struct {
    const char* what;
    int code;
    std::vector<std::string> named;  // in the JSON report
  } cases[] = {
      {"file link out", 1, {"\"link\": [\n        \"Display/Acme GPU/extra.sys\""}},
      {"listed file a link to equal bytes", 1, {"\"link\": [\n        \"Display/Acme GPU/acme.sys\""}},
      {"loop", 1, {"\"link\": [\n        \"Net/a\",\n        \"Net/b\""}},
      {"twin", 1, {"\"duplicate\": [\n        \"Display/Acme GPU/ACME.SYS\",\n        \"Display/Acme GPU/acme.sys\""}},
      {"twin beyond ASCII", 1, {"\"duplicate\": [\n        \"Display/Acme GPU/\\u00c9.txt\",\n        \"Display/Acme GPU/\\u00e9.txt\""}},
      {"list a folder", 2, {"not a file"}},
      {"list of 3 GiB", 1, {"\"changed\": [\n        \"SHA256SUMS\""}},
      {"huge line", 1, {"\"changed\": [\n        \"SHA256SUMS\""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    (void)std::system(("rm -rf '" + tree.host("D:\\") + "'/*").c_str());
    const std::string what = c.what;
    if (what == "twin beyond ASCII") tree.put(gpu + "\xC3\x89.txt", "listed");
    makeBackup("");
    tree.put("D:\\copy.sys", tree.read(gpu + "acme.sys"));
    if (what == "file link out") stdfs::create_symlink(tree.host("D:\\copy.sys"), tree.host(gpu + "extra.sys"));
    if (what == "listed file a link to equal bytes") {
      stdfs::remove(tree.host(gpu + "acme.sys"));
      stdfs::create_symlink(tree.host("D:\\copy.sys"), tree.host(gpu + "acme.sys"));
    }
    if (what == "loop") {
      stdfs::create_directory_symlink(".", tree.host(kRoot + "\\Net\\a"));
      stdfs::create_directory_symlink(".", tree.host(kRoot + "\\Net\\b"));
    }
    if (what == "twin") tree.put(gpu + "ACME.SYS", "other bytes");
    if (what == "twin beyond ASCII") tree.put(gpu + "\xC3\xA9.txt", "other bytes");
    if (what == "list a folder") {
      stdfs::remove(tree.host(sums));
      stdfs::create_directory(tree.host(sums));
    }
    if (what == "list of 3 GiB") stdfs::resize_file(tree.host(sums), std::uintmax_t{3} << 30);
    if (what == "huge line") tree.put(sums, std::string(64, 'a') + "  " + std::string(200000, 'x') + "\n");
    std::string out;
    EXPECT_EQ(verify(kRoot, out), c.code) << out;
    for (const std::string& named : c.named) EXPECT_NE(out.find(named), std::string::npos) << named << "\n" << out;
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

}  // namespace
}  // namespace qelvaro
