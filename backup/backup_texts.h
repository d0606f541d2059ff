#pragma once
// What a backup tells the user, in Chinese: the end message of a run, a driver's
// problems, why a file operation failed, the report written beside the backup and the
// outcome of reading it back. UTF-8. Texts with {0}, {1}... take values through
// FormatText.

namespace qelvaro::texts {

// The end of a run.
inline constexpr char kSuccess[] = "恭喜，驱动程序文件备份创建成功！.";
inline constexpr char kAllUnticked[] = "备份过程中所有驱动程序都已取消勾选, 没有备份任何驱动程序.";
inline constexpr char kNothingBackedUp[] = "没有备份任何驱动程序.";
inline constexpr char kPartial[] = "备份已创建, 但有 {0} 个驱动程序和 {1} 个文件未能备份:";
inline constexpr char kMoreDrivers[] = "...以及另外 {0} 个驱动程序.";
inline constexpr char kReportAt[] = "完整列表见: {0}";
inline constexpr char kZipCrashed[] = "压缩组件出现意外错误: {0}";
inline constexpr char kOutOfMemory[] = "内存不足";
inline constexpr char kZipCompleteSourcesKept[] = "Zip压缩文件已完整创建: {0}\r\n以下文件未能从临时文件夹删除, 仍保留在 {1}:";

// A driver's problem, as one line: {0} is the driver (its description and INF).
inline constexpr char kDriverName[] = "“{0}” ({1})";
inline constexpr char kNoInfFile[] = "无 INF 文件";
inline constexpr char kProblemNoInf[] = "{0}: 驱动程序没有指定 INF 文件";
inline constexpr char kProblemInfNotFound[] = "{0}: 找不到 INF 文件 {1}";
inline constexpr char kProblemInfNotCopied[] = "{0}: 无法复制 {1}: {2}";
inline constexpr char kProblemFolder[] = "{0}: 无法创建文件夹 {1}: {2}";
inline constexpr char kProblemUnsafeName[] = "{0}: “{1}” 不能用作文件夹或文件名";
inline constexpr char kProblemLinkFolder[] = "{0}: 文件夹 {1} 是符号链接或连接点, 不会通过它写入任何文件";
inline constexpr char kProblemNotCopied[] = "{0} 个文件未能复制: ";
inline constexpr char kProblemNotFound[] = "{0} 个文件未找到: ";
inline constexpr char kBadNameReason[] = "名称无效";
inline constexpr char kListSeparator[] = ", ";
inline constexpr char kClauseSeparator[] = "; ";

// Why a file operation failed.
inline constexpr char kFsNotFound[] = "找不到";
inline constexpr char kFsAccessDenied[] = "拒绝访问";
inline constexpr char kFsDiskFull[] = "磁盘已满";
inline constexpr char kFsInUse[] = "正被其他程序使用";
inline constexpr char kFsAlreadyExists[] = "已存在同名文件";
inline constexpr char kFsNotAFolder[] = "不是文件夹";
inline constexpr char kFsNotAFile[] = "不是文件";
inline constexpr char kFsBadName[] = "名称无效";
inline constexpr char kFsNotSupported[] = "文件系统不支持此操作";
inline constexpr char kFsLink[] = "是链接 (符号链接或联接点), 未跟随";
inline constexpr char kFsOther[] = "失败";
inline constexpr char kFsSystemCode[] = " (错误 {0})";

// The report written beside a backup.
// What a driver's signature is, as the windows show it.
inline constexpr char kSignatureWhql[] = "微软 WHQL 认证";
inline constexpr char kSignatureAttestation[] = "微软证明签名";
inline constexpr char kSignatureWindows[] = "Windows 自带";
inline constexpr char kSignaturePublisher[] = "发布者签名";
inline constexpr char kSignatureUnsigned[] = "未签名";
inline constexpr char kSignatureBroken[] = "签名已损坏";
inline constexpr char kReportSignature[] = "数字签名: {0} ({1}), 目录文件 {2}";
inline constexpr char kReportUnsigned[] = "数字签名: 未签名 (INF 未指定目录文件); 64 位 Windows 不会安装未签名的驱动程序";
inline constexpr char kReportBrokenSignature[] = "数字签名: 签名已损坏: {0}";

inline constexpr char kReportFileSuffix[] = " 备份报告.txt";
inline constexpr char kReportTitle[] = "Quorvak 驱动程序备份报告";
inline constexpr char kReportTool[] = "{0} {1}";
inline constexpr char kReportRoot[] = "备份文件夹: {0}";
inline constexpr char kReportSummary[] = "共 {0} 个驱动程序: 完整备份 {1} 个, 部分备份 {2} 个, 未备份 {3} 个.";
inline constexpr char kReportDriverWhole[] = "[完整] {0}";
inline constexpr char kReportDriverPartial[] = "[部分] {0}";
inline constexpr char kReportDriverSkipped[] = "[未备份] {0}";
inline constexpr char kReportFolder[] = "    文件夹: {0}";
inline constexpr char kReportCopied[] = "    已备份 {0} <- {1}";
inline constexpr char kReportNotCopied[] = "    未能复制 {0} <- {1}: {2}";
inline constexpr char kReportBadName[] = "    未能复制 {0}: 名称无效";
inline constexpr char kReportMissing[] = "    未找到 {0}, 查找位置: {1}";
inline constexpr char kReportFromStore[] = "    来自驱动程序存储区: {0}";
inline constexpr char kReportWithDriver[] = "    随 {0} 一起备份 (同一设备的扩展包或软件组件包)";
inline constexpr char kReportNotNeeded[] = "    未找到 {0} (安装时不复制此文件, 不影响还原), 查找位置: {1}";
inline constexpr char kReportArch[] = "系统架构: {0}";
inline constexpr char kReportWindows[] = "Windows 版本: {0}";
inline constexpr char kReportCodePage[] = "ANSI 代码页: {0}";
inline constexpr char kReportUnknown[] = "未知";
inline constexpr char kReportChecksums[] =
    "校验和列表: 备份根目录中的 {0} (每个文件的 SHA-256, 可用 qelvaro verify、sha256sum -c 或 certutil -hashfile 核对), "
    "备份说明: {1}";

inline constexpr char kVerifyAllMatch[] = "已校验 {0} 个文件, 全部与校验和列表一致.";
inline constexpr char kVerifyMismatch[] = "校验发现 {0} 个文件与备份时不一致 (共校验 {1} 个文件):";
inline constexpr char kVerifyChanged[] = "{0} (已更改)";
inline constexpr char kVerifyMissing[] = "{0} (缺失)";
inline constexpr char kVerifyUnexpected[] = "{0} (多余)";
inline constexpr char kVerifyUnreadable[] = "{0} (无法读取: {1})";
inline constexpr char kVerifyLink[] = "{0} (是链接, 未跟随)";
inline constexpr char kVerifyDuplicate[] = "{0} (与 {1} 仅大小写不同)";
inline constexpr char kVerifyFailed[] = "无法校验备份: {0}";
inline constexpr char kVerifySignature[] = "{0} (Windows 会拒绝它的数字签名: {1})";
inline constexpr char kVerifyUnsignedOn64[] = "{0} 个驱动程序未签名, 64 位 Windows 不会安装它们.";
inline constexpr char kSealFailed[] = "无法写入校验和列表 (backup.json, SHA256SUMS): {0}: {1}";

}  // namespace qelvaro::texts
