#include "setup_texts.h"

#include <gtest/gtest.h>

#include <set>

namespace qelvaro::restore {
namespace {

DriverResult result(DriverStatus status) {
  DriverResult r;
  r.status = status;
  return r;
}

TEST(SetupTexts, StatusNamesWhatHappenedToEachDriver) {
  EXPECT_EQ(setup_text::Status(result(DriverStatus::Installed)), "已安装");
  EXPECT_EQ(setup_text::Status(result(DriverStatus::Staged)), "已添加到驱动库（设备不在）");
  DriverResult kept = result(DriverStatus::Staged);
  kept.install.devicesKept = 1;
  EXPECT_EQ(setup_text::Status(kept), "已添加到驱动库（设备保留同等或更新的驱动）");
  EXPECT_EQ(setup_text::Status(result(DriverStatus::NeedsRestart)), "已安装，需要重新启动");

  DriverResult incomplete = result(DriverStatus::Incomplete);
  incomplete.missing = {"qv.cat", "qv.sys"};
  EXPECT_EQ(setup_text::Status(incomplete), "不完整：缺少 qv.cat、qv.sys");

  DriverResult refused = result(DriverStatus::Failed);
  refused.installerCalled = true;
  refused.install.code = 0xE000022F;
  refused.install.systemText = "第三方 INF 不包含数字签名信息。";
  EXPECT_EQ(setup_text::Status(refused),
            "失败：0xE000022F ERROR_NO_CATALOG_FOR_OEM_INF: 第三方 INF 不包含数字签名信息。");

  DriverResult denied = result(DriverStatus::Failed);
  denied.installerCalled = true;
  denied.install.code = 5;
  EXPECT_EQ(setup_text::Status(denied), "失败：5");

  DriverResult unsafe = result(DriverStatus::Failed);
  unsafe.problemKind = Problem::UnsafePath;
  unsafe.unsafe = {"..\\x.sys"};
  EXPECT_EQ(setup_text::Status(unsafe), "失败：INF 文件指向驱动包以外的路径 ..\\x.sys");
  DriverResult staging = result(DriverStatus::Failed);
  staging.problemKind = Problem::StagingFailed;
  EXPECT_EQ(setup_text::Status(staging), "失败：无法把驱动文件复制到临时文件夹");
  DriverResult damaged = result(DriverStatus::Failed);
  damaged.problemKind = Problem::Damaged;
  damaged.damaged = {"x.sys", "sub/y.dll"};
  EXPECT_EQ(setup_text::Status(damaged), "文件已损坏: x.sys、sub/y.dll");

  // Each reason found before the installer is told apart in the window.
  std::set<std::string> said;
  for (Problem p : {Problem::InfUnreadable, Problem::InfTooLarge, Problem::InfDeviceName, Problem::InfStyle,
                    Problem::NoModels, Problem::BadName, Problem::Link}) {
    DriverResult early = result(DriverStatus::Failed);
    early.problemKind = p;
    early.badNames = {"CON"};
    const std::string text = setup_text::Status(early);
    EXPECT_EQ(text.rfind("失败：", 0), 0u) << text;
    EXPECT_TRUE(said.insert(text).second) << text;
  }

  DriverResult arm = result(DriverStatus::Unsupported);
  EXPECT_EQ(setup_text::Status(arm), "不适用于本机的系统架构");
  arm.installerCalled = true;
  EXPECT_EQ(setup_text::Status(arm), "失败：不支持 ARM64 版 Windows");
}

TEST(SetupTexts, StatusLineAndLog) {
  EXPECT_EQ(setup_text::Found(0, "C:\\x"), "在 C:\\x 下没有找到驱动程序。");
  EXPECT_EQ(setup_text::Found(3, "C:\\x"), "找到 3 个驱动程序。");
  EXPECT_EQ(setup_text::Progress(2, 5, "网卡"), "正在安装 (2/5)：网卡");
  EXPECT_EQ(setup_text::Finished(4, 1, "C:\\x\\restore-log.txt"), "完成：成功 4 个，失败 1 个。日志：C:\\x\\restore-log.txt");
  DriverResult done = result(DriverStatus::Installed);
  done.installerCalled = true;
  done.install.storedInf = "oem4.inf";
  EXPECT_EQ(setup_text::LogLine("网卡", "Net\\网卡\\n.inf", done), "[已安装] 网卡 (Net\\网卡\\n.inf) -> oem4.inf");
  EXPECT_EQ(setup_text::ArchWarning(MachineArch::X86, MachineArch::Amd64, {"网卡", "显卡"}),
            "此备份来自 x86 架构的 Windows，本机是 amd64 架构。以下驱动程序没有本机架构的版本，无法安装：网卡、显卡");
}

}  // namespace
}  // namespace qelvaro::restore
