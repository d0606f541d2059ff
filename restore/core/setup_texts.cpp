#include "setup_texts.h"

#include "setupapi_codes.h"

namespace qelvaro::restore::setup_text {

const char* const kTitle = "驱动还原";
const char* const kSelectAll = "全选";
const char* const kSelectNone = "全不选";
const char* const kStart = "开始安装";
const char* const kColDescription = "驱动描述";
const char* const kColClass = "类型";
const char* const kColProvider = "提供商";
const char* const kColVersion = "版本";
const char* const kColInf = "INF 文件";
const char* const kColStatus = "状态";
const char* const kColMatch = "匹配设备";
const char* const kColSignature = "数字签名";
const char* const kCheckingSignatures = "正在检查驱动程序的数字签名…";
const char* const kNewerInstalled = "已安装较新版本";
const char* const kWaiting = "等待安装";
const char* const kInstalling = "正在安装…";
const char* const kNothingTicked = "请先勾选要安装的驱动程序。";
const char* const kBusy = "正在安装驱动程序，请等待完成后再关闭。";
const char* const kArm64 = "本程序暂不支持 ARM64 版 Windows，无法安装驱动程序。";
const char* const kRestartQuestion = "部分驱动程序需要重新启动计算机才能完成安装。\r\n是否立即重新启动？";
const char* const kNoTempFolder = "无法创建临时文件夹，不能安装驱动程序。";

namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : "、") + n;
  return out;
}

// Why the signature is not sound: the files its catalog leaves out, or the catalog.
std::string signatureFault(const DriverResult& r) {
  if (!r.signature || r.signature->kind == SignatureKind::Unsigned) return "未签名，INF 文件没有指定目录文件 (.cat)";
  if (!r.signature->notCovered.empty()) {
    return "签名已损坏：" + joined(r.signature->notCovered) + " 不在目录文件 " + r.signature->catalog + " 中";
  }
  return "签名已损坏：目录文件 " + r.signature->catalog + " 已损坏或签名无效";
}

// What the status adds of the signature of a driver that was installed.
std::string signatureNote(const DriverResult& r) {
  std::string note;
  if (r.signatureDecision.verdict == SignatureVerdict::InstallWithWarning) note = "（警告：" + signatureFault(r) + "）";
  if (r.windowsTrust && r.windowsTrust->code != 0) {
    note += "（Windows 的签名检查未通过：" + r.windowsTrust->file + " " +
            DescribeInstallError(r.windowsTrust->code, r.windowsTrust->systemText) + "）";
  }
  return note;
}

}  // namespace

std::string SignatureCell(const PackageSignature& signature) {
  switch (signature.kind) {
    case SignatureKind::Unsigned: return "未签名";
    case SignatureKind::Broken: return "签名已损坏";
    default: break;
  }
  return signature.signer.empty() ? "已签名" : signature.signer;
}

std::string UnsignedQuestion(const std::vector<std::string>& drivers) {
  return "以下驱动程序未签名或签名已损坏，Windows 安装时会显示警告：\r\n" + joined(drivers) +
         "\r\n\r\n是否仍要安装？";
}

std::string ArchWarning(MachineArch backup, MachineArch machine, const std::vector<std::string>& cannotInstall) {
  std::string text = "此备份来自 " + std::string(ArchDecoration(backup)) + " 架构的 Windows，本机是 " +
                     std::string(ArchDecoration(machine)) + " 架构。";
  if (cannotInstall.empty()) return text + "其中的驱动程序都提供了本机架构的版本。";
  return text + "以下驱动程序没有本机架构的版本，无法安装：" + joined(cannotInstall);
}

std::string Found(std::size_t count, const std::string& folder) {
  if (count == 0) return "在 " + folder + " 下没有找到驱动程序。";
  return "找到 " + std::to_string(count) + " 个驱动程序。";
}

std::string Progress(std::size_t done, std::size_t total, const std::string& description) {
  return "正在安装 (" + std::to_string(done) + "/" + std::to_string(total) + ")：" + description;
}

std::string Finished(std::size_t succeeded, std::size_t failed, const std::string& logPath) {
  return "完成：成功 " + std::to_string(succeeded) + " 个，失败 " + std::to_string(failed) + " 个。日志：" + logPath;
}

namespace {

// What happened to the driver.
std::string outcome(const DriverResult& r) {
  switch (r.status) {
    case DriverStatus::Installed: return "已安装";
    case DriverStatus::Staged:
      return r.install.devicesKept > 0 ? "已添加到驱动库（设备保留同等或更新的驱动）" : "已添加到驱动库（设备不在）";
    case DriverStatus::NeedsRestart: return "已安装，需要重新启动";
    case DriverStatus::Incomplete: return "不完整：缺少 " + joined(r.missing);
    case DriverStatus::Ready: return "可以安装";
    case DriverStatus::Unsupported:
      return r.installerCalled ? "失败：不支持 ARM64 版 Windows" : "不适用于本机的系统架构";
    case DriverStatus::Failed: break;
  }
  switch (r.problemKind) {
    case Problem::InfUnreadable: return "失败：无法读取 INF 文件";
    case Problem::InfTooLarge: return "失败：INF 文件太大，无法读取";
    case Problem::InfDeviceName: return "失败：INF 文件名是 Windows 的设备名，未打开";
    case Problem::InfStyle: return "失败：INF 文件缺少 [Version] 节或有效的 Signature（文件已损坏？）";
    case Problem::InfSyntax: return "失败：INF 文件有缺少 ] 的节名（文件已损坏？）";
    case Problem::NoModels: return "失败：INF 文件既没有 [Manufacturer] 节也没有文件，无可安装";
    case Problem::BadName: return "失败：INF 文件使用了 Windows 不允许的文件名（设备名，或以点、空格结尾）" + joined(r.badNames);
    case Problem::UnsafePath: return "失败：INF 文件指向驱动包以外的路径 " + joined(r.unsafe);
    case Problem::StagingFailed: return "失败：无法把驱动文件复制到临时文件夹";
    case Problem::Damaged: return "文件已损坏: " + joined(r.damaged);
    case Problem::Link: return "失败：备份中有链接（符号链接或联接点），未跟随: " + joined(r.links);
    case Problem::Signature:
      return "未安装：" + signatureFault(r) + "。64 位 Windows 不会安装它 (" +
             DescribeInstallError(r.signatureDecision.code, "") + ")";
    case Problem::None: break;
  }
  return "失败：" + DescribeInstallError(r.install.code, r.install.systemText);
}

}  // namespace

std::string Status(const DriverResult& r) {
  const std::string status = outcome(r);
  return StatusSucceeded(r.status) || r.installerCalled ? status + signatureNote(r) : status;
}

std::string MatchCell(const DriverFit& fit, const std::vector<PcDevice>& devices) {
  switch (fit.fit) {
    case Fit::None: return "无";
    case Fit::NotConnected: return "未连接";
    case Fit::Present:
    case Fit::NewerInstalled: break;
  }
  return devices[fit.match.device].name;
}

std::string LogLine(const std::string& description, const std::string& location, const DriverResult& r) {
  std::string line = "[" + Status(r) + "] " + description + " (" + location + ")";
  if (r.installerCalled && !r.install.storedInf.empty()) line += " -> " + r.install.storedInf;
  if (r.signature) line += "；数字签名：" + SignatureCell(*r.signature);
  return line;
}

}  // namespace qelvaro::restore::setup_text
