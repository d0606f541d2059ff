// `qelvaro verify` on a folder, a Zip file and a package made from it, each with one
// kind of damage.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "backup_collector.h"
#include "checksum_list.h"
#include "cmd_verify.h"
#include "fake_windows_tree.h"
#include "sfx_format/sfx_archive.h"
#include "sfx_packaging.h"
#include "base/sha256.h"
#include "zip_builder.h"
#include "shown_text.h"
#include "zip_packaging.h"

namespace qelvaro {
namespace {

const std::string kRoot = "D:\\Quorvak";

std::string run(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  char buf[4096];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  if (p) pclose(p);
  return out;
}

// A throwaway key and its self-signed certificate, made once.
const std::string& signingFolder() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/qelvaro-sign-XXXXXX";
    const std::string d = mkdtemp(pattern);
    run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Qelvaro-test -keyout '" + d + "/key.pem' -out '" +
        d + "/cert.pem'");
    static char removal[64];
    std::snprintf(removal, sizeof removal, "rm -rf '%s'", d.c_str());
    std::atexit([] { (void)std::system(removal); });
    return d;
  }();
  return dir;
}

// Signs a program in place as its user would, with osslsigncode (scripts/deps.sh
// installs it).
void sign(const std::string& program) {
  const std::string& d = signingFolder();
  const std::string out = run("osslsigncode sign -certs '" + d + "/cert.pem' -key '" + d + "/key.pem' -in '" + program +
                              "' -out '" + program + ".signed' && mv '" + program + ".signed' '" + program + "'");
  ASSERT_NE(out.find("Succeeded"), std::string::npos) << "osslsigncode could not sign (scripts/deps.sh installs it): "
                                                      << out;
}

std::string sha256(const std::string& bytes) {
  Sha256 h;
  h.update(bytes.data(), bytes.size());
  return h.hexDigest();
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

  // The backup in `form`; its path. A signed package has a certificate table after its archive.
  std::string pack(const std::string& form) {
    if (form == "folder") return kRoot;
    const std::string stub = tree.host("D:\\stub.bin");
    std::ofstream(stub, std::ios::binary) << sfxtest::peHeaders();
    const std::string target = form == "zip" ? "D:\\Quorvak.zip" : "D:\\Quorvak.exe";
    const ZipOutcome r = form == "zip" ? PackBackupAsZip(tree.host(kRoot), tree.host(target), nullptr, nullptr)
                                       : PackBackupAsSfx(tree.host(kRoot), tree.host(target), stub, "", nullptr, nullptr);
    EXPECT_TRUE(r.ok()) << r.description;
    if (form == "signed package") sign(tree.host(target));
    return target;
  }

  int verify(const std::string& path, std::string& out, bool json = true) {
    std::ostringstream o, e;
    const auto open = [this](const std::string& p, FsResult& why) {
      return OpenArchiveInput(tree.fs().hostPath(p).value_or(p), why);
    };
    const int code = RunVerifyCommand(json ? Args{path, "--json"} : Args{path}, tree.fs(), nullptr, open, o, e);
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
  // A list damaged in the archive is named, and the backup is still one with a list.
  const auto list = bytes.find("SHA256SUMS");
  ASSERT_NE(list, std::string::npos);
  bytes[list + 10 + std::uint8_t(bytes[list - 2]) + 3] ^= 0x55;  // past the name and the extra field
  tree.put(zip, bytes);
  EXPECT_EQ(verify(zip, out), 1) << out;
  EXPECT_NE(out.find("\"checksumList\": true"), std::string::npos) << out;
  EXPECT_EQ(out.find("\"unexpected\": [\n"), std::string::npos) << out;

  // Made before backups carried the list (or with it taken out): CRCs say nothing of
  // files changed or taken out before packing, so neither form has anything to compare.
  std::remove(tree.host(zip).c_str());
  makeBackup("");
  std::remove(tree.host(kRoot + "\\SHA256SUMS").c_str());
  EXPECT_EQ(verify(pack("zip"), out), 3) << out;
  EXPECT_NE(out.find("\"checksumList\": false"), std::string::npos) << out;
  makeBackup("");
  std::remove(tree.host(kRoot + "\\SHA256SUMS").c_str());
  EXPECT_EQ(verify(kRoot, out), 3) << out;
  EXPECT_EQ(verify("D:\\stub.bin", out), 2) << out;
  EXPECT_EQ(verify("D:\\nothing-here", out), 2) << out;
}

// Names that are one file on Windows, and Zip files that hold no backup.
TEST_F(Verify, ArchiveEntriesOfOneNameAndArchivesThatAreNoBackup) {
  const std::string inf = "[Version]\r\n", sys = "driver";
  const sfxtest::BuildEntry list{"SHA256SUMS", sha256(inf) + "  Net/X/x.inf\n" + sha256(sys) + "  Net/X/x.sys\n"};
  const struct {
    const char* what;
    std::vector<sfxtest::BuildEntry> entries;
    int code;
    const char* named;
  } cases[] = {
      {"whole", {{"Net/X/x.inf", inf}, {"Net/X/x.sys", sys}, list}, 0, "everything matches"},
      {"a name twice, the listed bytes last",
       {{"Net/X/x.inf", inf}, {"Net/X/x.sys", "other"}, {"Net/X/x.sys", sys}, list}, 1,
       "unexpected x.sys (a second entry of a name already in the archive)"},
      {"a name in two cases", {{"Net/X/x.inf", inf}, {"Net/X/x.sys", sys}, {"Net/X/X.SYS", "other"}, list}, 1,
       "unexpected X.SYS (a second entry"},
      {"non-ASCII names in two cases", {{"Net/X/x.inf", inf}, {"Net/X/x.sys", sys}, {"Net/X/é", "1"}, {"Net/X/É", "2"}, list},
       1, "unexpected É (a second entry"},
      {"the list twice", {{"Net/X/x.inf", inf}, {"Net/X/x.sys", sys}, list, {"sha256sums", ""}}, 1,
       "unexpected sha256sums (a second entry"},
      {"no entry", {}, 2, "holds no files"},
      {"no driver", {{"holiday.jpg", "jpeg"}, {"SHA256SUMS", sha256("jpeg") + "  holiday.jpg\n"}}, 2,
       "holds no driver"},
  };
  for (const auto& c : cases) {
    tree.put("D:\\case.zip", sfxtest::buildZip(c.entries));
    std::string out;
    EXPECT_EQ(verify("D:\\case.zip", out, false), c.code) << c.what << "\n" << out;
    EXPECT_NE(out.find(c.named), std::string::npos) << c.what << "\n" << out;
  }
}

// A signed package whose certificate table (outside what the signature covers) holds a
// second backup Zip, its size fields grown over it: the signature still checks, and the
// archive taken is the signed one, so the package is refused as damaged.
TEST_F(Verify, AnArchiveHiddenInTheSignatureIsRefused) {
  makeBackup("");
  const std::string package = tree.host(pack("signed package"));
  std::string bytes = tree.read("D:\\Quorvak.exe");
  tree.put(kRoot + "\\Net\\网卡\\net.sys", "another program");
  std::string failed;
  ASSERT_TRUE(WriteBackupChecksums(tree.fs(), kRoot, BackupResult{}, failed));
  ASSERT_TRUE(PackBackupAsZip(tree.host(kRoot), tree.host("D:\\other.zip"), nullptr, nullptr).ok());
  const auto le32 = [&bytes](std::size_t at) {
    return std::uint32_t(std::uint8_t(bytes[at])) | std::uint32_t(std::uint8_t(bytes[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(bytes[at + 2])) << 16 | std::uint32_t(std::uint8_t(bytes[at + 3])) << 24;
  };
  const auto put32 = [&bytes](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
  };
  const std::size_t directory = sfxtest::securityDirectory(bytes), table = le32(directory);
  ASSERT_EQ(table + le32(directory + 4), bytes.size()) << "a signed package ends with its table";
  bytes += tree.read("D:\\other.zip");
  bytes.append((8 - bytes.size() % 8) % 8, '\0');
  put32(directory + 4, static_cast<std::uint32_t>(bytes.size() - table));
  put32(table, static_cast<std::uint32_t>(bytes.size() - table));  // the one certificate's length
  tree.put("D:\\Quorvak.exe", bytes);

  const std::string checked = run("osslsigncode verify -CAfile '" + signingFolder() + "/cert.pem' -in '" + package + "'");
  EXPECT_NE(checked.find("Signature verification: ok"), std::string::npos) << checked;
  struct BytesInput : qsfx::Input {
    std::string b;
    std::uint64_t size() const override { return b.size(); }
    bool readAt(std::uint64_t o, void* to, std::size_t n) override {
      if (o > b.size() || b.size() - o < n) return false;
      std::memcpy(to, b.data() + o, n);
      return true;
    }
  } in;
  in.b = bytes;
  qsfx::Archive archive;
  EXPECT_EQ(archive.open(in), qsfx::Status::Damaged);
  std::string out;
  EXPECT_EQ(verify("D:\\Quorvak.exe", out), 2) << out;
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
