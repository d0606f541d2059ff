#pragma once
// Every text the main window shows of its own, in one place: its controls, its grid's
// column captions and its messages. UTF-8. The end messages and the report of a
// backup are the backup library's (backup_texts.h), the scan's messages the registry
// library's. Texts with {0}, {1}... take values through FormatText.

namespace qelvaro::texts {

// Controls.
inline constexpr char kCheck1[] = "非微软驱动程序";
inline constexpr char kSelectAll[] = "全选";
inline constexpr char kDoBackup[] = "开始备份";
inline constexpr char kInvertSelection[] = "全不选";
inline constexpr char kLabel1[] = "备份方式:";
inline constexpr char kAbout[] = "关于软件";
inline constexpr char kTargetFolder[] = "备份驱动到文件夹";
inline constexpr char kTargetZip[] = "备份驱动为Zip压缩文件";
inline constexpr char kTargetSfx[] = "备份驱动为自解压文件";
inline constexpr char kWebAddressLabel[] = "网址：";

// Column captions of the driver list.
inline constexpr char kColumnDescription[] = "驱动描述";
inline constexpr char kColumnClass[] = "类型";
inline constexpr char kColumnProvider[] = "提供商";
inline constexpr char kColumnId[] = "ID";
inline constexpr char kColumnConfig[] = "配置信息";
inline constexpr char kColumnSignature[] = "数字签名";

// Packing without the zip component's DLL: the reason, then the line the report gets.
inline constexpr char kZipDllNotWritten[] = "无法写入 {0} (结果 {1})";
inline constexpr char kZipDllNotRegistered[] = "无法注册 {0} (结果 {1})";
inline constexpr char kZipDllNotLoaded[] = "无法加载 {0} (错误 {1})";
inline constexpr char kZipDllNotComponent[] = "{0} 不是压缩组件";
inline constexpr char kZipDllUnused[] = "压缩组件 qzip.dll 不可用: {0}; 本次打包使用了程序内置的压缩组件.";
inline constexpr char kGridFontName[] = "宋体";

// Titles and status lines.
inline constexpr char kNotice[] = "提示";
inline constexpr char kErrorTitle[] = "错误";
inline constexpr char kBrowseTitle[] = "选择要备份的文件夹.";
inline constexpr char kCollecting[] = "正在搜索和存储驱动程序...";
inline constexpr char kZipping[] = "正在压缩驱动程序文件..";

// Messages of a run.
inline constexpr char kNoTick[] = "选择需要备份文件存放的磁盘目录.";
inline constexpr char kBusy[] = "正在扫描或备份驱动程序, 请等待完成后再关闭窗口.";
inline constexpr char kReportFailed[] = "无法写入备份报告 {0}: {1}";
inline constexpr char kZipFailed[] = "创建失败. 创建ZIP压缩文件时发生错误. ";
inline constexpr char kDescription[] = "描述: ";
inline constexpr char kRunCrashed[] = "备份过程中出现意外错误: {0}";
inline constexpr char kKeptInFolder[] = "驱动程序文件已保留在: {0}";
inline constexpr char kRootNotDeleted[] = "未能删除临时文件夹: {0}";

// The self-extracting target.
inline constexpr char kSfxBuilding[] = "正在创建自解压文件...";
inline constexpr char kSfxFailed[] = "失败. 创建自解压文件时发生错误. ";
inline constexpr char kSfxPayloadFailed[] = "失败. 无法写入创建自解压文件所需的文件 {0}: {1}";
inline constexpr char kSfxPayloadMissing[] = "程序中缺少 {0}";

// Reading the backup back after it is written.
inline constexpr char kVerifying[] = "正在校验备份...";

}  // namespace qelvaro::texts
