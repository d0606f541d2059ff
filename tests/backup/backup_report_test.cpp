// What the window says after a backup and the report it writes beside it: Chinese
// throughout, up to ten drivers in the message, every file in the report.

#include "backup_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "backup_manifest.h"
#include "checksum_list.h"
#include "fake_windows_tree.h"
#include "backup_texts.h"
#include "qelvaro_version.h"

namespace qelvaro {
namespace {

bool hasAsciiWord(const std::string& text, const std::string& word) { return text.find(word) != std::string::npos; }

DriverReport whole(const std::string& name) {
  DriverReport r;
  r.driver = {name, "Net", name + ".inf"};
  r.folder = "D:\\Quorvak\\Net\\" + name;
  r.copied = {{name + ".inf", "C:\\Windows\\inf\\" + name + ".inf"}, {name + ".sys", "C:\\Windows\\System32\\drivers\\" + name + ".sys"}};
  return r;
}

DriverReport withProblems(const std::string& name) {
  DriverReport r = whole(name);
  r.skippedFiles.push_back({"locked.dll", "C:\\Windows\\System32\\locked.dll", FsResult::Failure(FsError::InUse, 32)});
  r.missing.push_back({name + ".cat", {"C:\\Windows\\System32\\CatRoot\\*\\" + name + ".cat"}});
  return r;
}

TEST(BackupEndMessage, SuccessOnlyWhenEverythingWasBackedUp) {
  BackupResult result;
  result.root = "D:\\Quorvak";
  result.drivers = {whole("a"), whole("b")};
  EXPECT_EQ(BackupEndMessage(result, {}), texts::kSuccess);

  // Every row unticked during the run: nothing was backed up, and no success is claimed.
  BackupResult none;
  EXPECT_EQ(BackupEndMessage(none, {"D:\\Quorvak 备份报告.txt", "", "", {}, ""}), texts::kAllUnticked);

  DriverReport gone;
  gone.driver = {"Gone", "Net", "oem9.inf"};
  gone.skip = DriverSkip::InfNotFound;
  gone.skipPath = "C:\\Windows\\inf\\oem9.inf";
  BackupResult failed;
  failed.drivers = {gone};
  const std::string text = BackupEndMessage(failed, {"D:\\Quorvak 备份报告.txt", "", "", {}, ""});
  EXPECT_EQ(text.rfind(texts::kNothingBackedUp, 0), 0u) << text;
  EXPECT_NE(text.find("“Gone” (oem9.inf): 找不到 INF 文件 C:\\Windows\\inf\\oem9.inf"), std::string::npos) << text;
  EXPECT_NE(text.find("完整列表见: D:\\Quorvak 备份报告.txt"), std::string::npos) << text;
  EXPECT_EQ(text.find(texts::kSuccess), std::string::npos);
}

TEST(BackupEndMessage, NamesTenDriversInChineseAndPointsToTheReport) {
  BackupResult result;
  result.root = "D:\\Quorvak";
  result.drivers.push_back(whole("fine"));
  for (int i = 0; i < 12; ++i) result.drivers.push_back(withProblems("drv" + std::to_string(i)));
  const std::string text = BackupEndMessage(result, {"D:\\Quorvak 备份报告.txt", "", "", {}, ""});
  EXPECT_EQ(text.rfind("备份已创建, 但有 0 个驱动程序和 24 个文件未能备份:", 0), 0u) << text;
  EXPECT_NE(text.find("“drv0” (drv0.inf): 1 个文件未能复制: locked.dll (正被其他程序使用 (错误 32)); "
                      "1 个文件未找到: drv0.cat"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("drv9"), std::string::npos);
  EXPECT_EQ(text.find("drv10"), std::string::npos);
  EXPECT_NE(text.find("...以及另外 2 个驱动程序."), std::string::npos) << text;
  EXPECT_NE(text.find("完整列表见: D:\\Quorvak 备份报告.txt"), std::string::npos);
  EXPECT_EQ(text.find("“fine”"), std::string::npos);
  // No English reasons from the file-system layer.
  for (const char* word : {"in use", "not found", "access denied", "files not copied"}) {
    EXPECT_FALSE(hasAsciiWord(text, word)) << word;
  }
}

TEST(BackupEndMessage, AZipWithKeptSourcesIsCompleteAndNamesThem) {
  BackupResult result;
  result.root = "D:\\Quorvak";
  result.drivers = {whole("a")};
  const std::string text =
      BackupEndMessage(result, {"", "", "D:\\Quorvak.zip", {"D:\\Quorvak\\Net\\a\\a.sys"}, ""});
  EXPECT_EQ(text.rfind(texts::kSuccess, 0), 0u) << text;
  EXPECT_NE(text.find("Zip压缩文件已完整创建: D:\\Quorvak.zip"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nD:\\Quorvak\\Net\\a\\a.sys"), std::string::npos) << text;

  const std::string unwritten = BackupEndMessage(result, {"", "无法写入备份报告 X: 拒绝访问", "", {}, ""});
  EXPECT_NE(unwritten.find("无法写入备份报告 X: 拒绝访问"), std::string::npos);
}

TEST(BackupReport, EveryDriverWithEachFileItsSourceOrWhyItIsMissing) {
  BackupResult result;
  result.root = "D:\\Quorvak";
  DriverReport bad;
  bad.driver = {"Evil", "Net", "evil.inf"};
  bad.skip = DriverSkip::UnsafeName;
  bad.skipPath = "..";
  DriverReport refused = whole("r");
  refused.skippedFiles.push_back({"..\\x.dll", "", FsResult::Failure(FsError::BadName)});
  DriverReport stored = whole("s");
  stored.package = "C:\\Windows\\System32\\DriverStore\\FileRepository\\s.inf_amd64_1";
  stored.notNeeded.push_back({"s64.hlp", {"C:\\Windows\\help\\s64.hlp"}});
  result.drivers = {whole("a"), withProblems("b"), bad, refused, stored};
  const std::string report = BackupReportText(result);
  EXPECT_EQ(report.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(report.find("\n"), report.find("\r\n") + 1);
  EXPECT_NE(report.find("备份文件夹: D:\\Quorvak\r\n"), std::string::npos);
  EXPECT_NE(report.find("\r\nQelvaro " QELVARO_VERSION "\r\n"), std::string::npos) << "the tool and its version";
  EXPECT_NE(report.find("共 5 个驱动程序: 完整备份 2 个, 部分备份 2 个, 未备份 1 个."), std::string::npos) << report;
  // A package from the store says so; a file the install never copies is named but
  // leaves the driver whole.
  EXPECT_NE(report.find("[完整] “s” (s.inf)\r\n    文件夹: D:\\Quorvak\\Net\\s\r\n"
                        "    来自驱动程序存储区: C:\\Windows\\System32\\DriverStore\\FileRepository\\s.inf_amd64_1\r\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("    未找到 s64.hlp (安装时不复制此文件, 不影响还原), 查找位置: C:\\Windows\\help\\s64.hlp\r\n"),
            std::string::npos);
  EXPECT_NE(report.find("[完整] “a” (a.inf)\r\n    文件夹: D:\\Quorvak\\Net\\a\r\n"
                        "    已备份 a.inf <- C:\\Windows\\inf\\a.inf\r\n"
                        "    已备份 a.sys <- C:\\Windows\\System32\\drivers\\a.sys\r\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("[部分] “b” (b.inf)"), std::string::npos);
  EXPECT_NE(report.find("    未能复制 locked.dll <- C:\\Windows\\System32\\locked.dll: 正被其他程序使用 (错误 32)\r\n"),
            std::string::npos);
  EXPECT_NE(report.find("    未找到 b.cat, 查找位置: C:\\Windows\\System32\\CatRoot\\*\\b.cat\r\n"), std::string::npos);
  EXPECT_NE(report.find("[未备份] “Evil” (evil.inf): “..” 不能用作文件夹或文件名\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("    未能复制 ..\\x.dll: 名称无效\r\n"), std::string::npos);
  EXPECT_EQ(BackupReportPath("D:\\Quorvak"), "D:\\Quorvak 备份报告.txt");
}

// The report names where the backup came from and its checksum list; the end
// message's line after reading the backup back counts the files or names those that
// do not match.
TEST(BackupReport, OriginChecksumListAndTheReadBack) {
  BackupResult result;
  result.root = "D:\\Quorvak";
  const BackupOrigin origin{MachineArch::X86, "6.1.7601", "2026-01-02T03:04:05Z"};
  const std::string report = BackupReportText(result, &origin);
  EXPECT_NE(report.find("系统架构: x86\r\nWindows 版本: 6.1.7601\r\n校验和列表: 备份根目录中的 SHA256SUMS"),
            std::string::npos)
      << report;
  const BackupOrigin named{MachineArch::Amd64, "10.0.19045", "2026-01-02T03:04:05Z", "Windows 10 Pro 22H2", 936};
  EXPECT_NE(BackupReportText(result, &named).find("Windows 版本: Windows 10 Pro 22H2 (10.0.19045)\r\nANSI 代码页: 936\r\n"),
            std::string::npos);
  EXPECT_EQ(VerifyEndText(18, {}, ""), "已校验 18 个文件, 全部与校验和列表一致.");
  EXPECT_EQ(VerifyEndText(18, {{VerifyIssueKind::Changed, "Net/n/n.sys", ""}, {VerifyIssueKind::Missing, "Net/n/n.inf", ""}}, ""),
            "校验发现 2 个文件与备份时不一致 (共校验 18 个文件):\r\nNet/n/n.sys (已更改)\r\nNet/n/n.inf (缺失)");
}

// Each driver's signature in the report, in backup.json, and read back from it: a
// Windows driver in a folder whose name needs escaping is still found.
TEST(BackupReport, SignaturesInTheReportAndBackupJson) {
  BackupResult result;
  result.root = "D:\\Quorvak";
  struct Given {
    const char* name;
    SignatureKind kind;
    const char* reportLine;
  };
  const Given drivers[] = {
      {"pub", SignatureKind::Publisher, "数字签名: Acme (发布者签名), 目录文件 pub.cat"},
      {"none", SignatureKind::Unsigned, "数字签名: 未签名 (INF 未指定目录文件)"},
      {"bad", SignatureKind::Broken, "数字签名: 签名已损坏: bad.sys: not in catalog bad.cat"},
      {"in \"box\\", SignatureKind::Windows, "数字签名: Microsoft Windows (Windows 自带), 目录文件 nt.cat"},
  };
  for (const Given& g : drivers) {
    DriverReport r = whole(g.name);
    PackageSignature sig;
    sig.kind = g.kind;
    sig.signer = g.kind == SignatureKind::Windows ? "Microsoft Windows" : "Acme";
    sig.catalog = g.kind == SignatureKind::Windows ? "nt.cat" : std::string(g.name) + ".cat";
    if (g.kind == SignatureKind::Broken) sig.problem = "bad.sys: not in catalog bad.cat";
    r.signature = sig;
    result.drivers.push_back(r);
  }
  const std::string report = BackupReportText(result);
  for (const Given& g : drivers) EXPECT_NE(report.find(g.reportLine), std::string::npos) << g.name << "\n" << report;
  const std::string json = BackupManifestText(result, BackupOrigin{});
  EXPECT_NE(json.find("\"folder\": \"Net/pub\", \"signature\": \"publisher\", \"signer\": \"Acme\""), std::string::npos)
      << json;
  // The folder's backslash is a separator there: written as "/".
  EXPECT_EQ(ManifestWindowsDrivers(json), std::vector<std::string>{"Net/in \"box/"});
  EXPECT_TRUE(ManifestWindowsDrivers("{\"folder\": \"Net/x\\\", \"signature\": \"windows\"").empty());
  EXPECT_EQ(SignatureColumnText(result.drivers[0].signature.value()), "Acme");
  EXPECT_EQ(SignatureColumnText(result.drivers[2].signature.value()), "签名已损坏");
}

TEST(BackupReport, FilesLeftBelowAFolder) {
  testing::FakeWindowsTree tree;
  tree.put("D:\\Quorvak\\Net\\a\\a.sys", "x");
  tree.put("D:\\Quorvak\\Net\\b\\b.sys", "x");
  tree.put("D:\\Quorvak\\top.txt", "x");
  std::vector<std::string> files = FilesBelow("D:\\Quorvak", tree.fs()).files;
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"D:\\Quorvak\\Net\\a\\a.sys", "D:\\Quorvak\\Net\\b\\b.sys",
                                             "D:\\Quorvak\\top.txt"}));
  EXPECT_TRUE(FilesBelow("D:\\Nothing", tree.fs()).files.empty());
}

// The tree's view with one folder that cannot be listed.
class OneUnlistable final : public FileSystem {
 public:
  OneUnlistable(FileSystem& fs, std::string folder) : fs_(fs), folder_(std::move(folder)) {}
  bool exists(const std::string& p, AttrMask m) const override { return fs_.exists(p, m); }
  std::optional<std::string> readFile(const std::string& p) const override { return fs_.readFile(p); }
  DirListing listDir(const std::string& p) const override {
    return p == folder_ ? DirListing{FsResult::Failure(FsError::AccessDenied, 13), {}} : fs_.listDir(p);
  }
  FsResult hashFile(const std::string& p, std::string& sum, std::uint64_t& size) const override {
    return fs_.hashFile(p, sum, size);
  }
  FsResult writeFile(const std::string& p, std::string_view bytes) override { return fs_.writeFile(p, bytes); }
  bool isLink(const std::string& p) const override { return fs_.isLink(p); }

 private:
  FileSystem& fs_;
  std::string folder_;
};

// A checksum list covers the whole backup or is not written: a folder it cannot see
// fails it, and so does a link (never hashed through) or a pair of names that are one
// file on Windows; the failure names the entry.
TEST(BackupReport, ChecksumsAreNeverWrittenOverWhatCannotBeSeen) {
  namespace stdfs = std::filesystem;
  const struct {
    const char* what;
    const char* failed;  // below D:\Quorvak
    FsError error;
  } cases[] = {
      {"unlistable", "Net\\sub", FsError::AccessDenied},
      {"folder link", "Net\\sub\\up", FsError::Link},
      {"file link", "Net\\sub\\x.sys", FsError::Link},
      {"twins", "Net\\sub\\A.SYS", FsError::AlreadyExists},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::FakeWindowsTree tree;
    tree.put("D:\\Quorvak\\Net\\n.inf", "x");
    tree.put("D:\\Quorvak\\Net\\sub\\A.SYS", "x");
    tree.put("D:\\outside.sys", "not of the backup");
    const std::string what = c.what;
    if (what == "folder link") stdfs::create_directory_symlink(tree.host("D:\\Quorvak"), tree.host("D:\\Quorvak\\Net\\sub\\up"));
    if (what == "file link") stdfs::create_symlink(tree.host("D:\\outside.sys"), tree.host("D:\\Quorvak\\Net\\sub\\x.sys"));
    if (what == "twins") tree.put("D:\\Quorvak\\Net\\sub\\a.sys", "y");
    OneUnlistable fs(tree.fs(), what == "unlistable" ? "D:\\Quorvak\\Net\\sub" : "");
    std::string failed;
    const FsResult r = WriteBackupChecksums(fs, "D:\\Quorvak", BackupResult{}, failed);
    EXPECT_EQ(r.error(), c.error) << r.describe();
    if (what == "twins") EXPECT_TRUE(failed == "D:\\Quorvak\\Net\\sub\\A.SYS" || failed == "D:\\Quorvak\\Net\\sub\\a.sys") << failed;
    else EXPECT_EQ(failed, std::string("D:\\Quorvak\\") + c.failed);
    EXPECT_FALSE(tree.onDisk("D:\\Quorvak\\SHA256SUMS"));
  }
  // Checked later, a folder that cannot be listed is named once, not each file in it as missing.
  testing::FakeWindowsTree tree;
  tree.put("D:\\Quorvak\\Net\\sub\\A.SYS", "x");
  std::string failed;
  ASSERT_TRUE(WriteBackupChecksums(tree.fs(), "D:\\Quorvak", BackupResult{}, failed));
  const OneUnlistable fs(tree.fs(), "D:\\Quorvak\\Net\\sub");
  std::size_t checked = 0;
  const auto issues = CompareFolderWithList(fs, "D:\\Quorvak", {{"Net/sub/A.SYS", std::string(64, '0')}}, "", checked);
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_EQ(issues[0].kind, VerifyIssueKind::Unreadable);
  EXPECT_EQ(issues[0].path, "Net/sub");
  EXPECT_EQ(issues[0].detail, "cannot list it: access denied (error 13)");
}

TEST(FormatText, PlaceholdersInAnyOrder) {
  EXPECT_EQ(FormatText("{1}-{0}-{1}", {"a", "b"}), "b-a-b");
  EXPECT_EQ(FormatText("{2} {x}", {"a"}), "{2} {x}");
}

}  // namespace
}  // namespace qelvaro
