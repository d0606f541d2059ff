#pragma once
// What setup.exe's window and its log say, in simplified Chinese. Every text the
// user reads on that surface is in setup_texts.cpp.

#include <string>

#include "device_match.h"
#include "restore_run.h"

namespace qelvaro::restore::setup_text {

extern const char* const kTitle;
extern const char* const kSelectAll;
extern const char* const kSelectNone;
extern const char* const kStart;
extern const char* const kColDescription;
extern const char* const kColClass;
extern const char* const kColProvider;
extern const char* const kColVersion;
extern const char* const kColInf;
extern const char* const kColStatus;
extern const char* const kColMatch;
extern const char* const kColSignature;
extern const char* const kCheckingSignatures;
extern const char* const kNewerInstalled;
extern const char* const kWaiting;
extern const char* const kInstalling;
extern const char* const kNothingTicked;
extern const char* const kBusy;
extern const char* const kArm64;
extern const char* const kRestartQuestion;
extern const char* const kNoTempFolder;

// The one warning when the backup comes from a Windows of another architecture, with
// the drivers that cannot install here.
std::string ArchWarning(MachineArch backup, MachineArch machine, const std::vector<std::string>& cannotInstall);

// "找到 3 个驱动程序。"; "在 X 下没有找到驱动程序。" when there are none.
std::string Found(std::size_t count, const std::string& folder);
// "正在安装 (2/5)：描述"
std::string Progress(std::size_t done, std::size_t total, const std::string& description);
// "完成：成功 4 个，失败 1 个。日志：path"
std::string Finished(std::size_t succeeded, std::size_t failed, const std::string& logPath);
// The status cell of a driver after its run, with what went wrong.
std::string Status(const DriverResult& result);
// The "匹配设备" cell: the device the driver fits best, "未连接" when only devices that
// are not plugged in fit, "无" when none does.
std::string MatchCell(const DriverFit& fit, const std::vector<PcDevice>& devices);
// The "数字签名" cell: who signed the driver, "未签名" or "签名已损坏".
std::string SignatureCell(const PackageSignature& signature);
// The one question on 32-bit Windows before drivers without a sound signature are
// installed, naming them.
std::string UnsignedQuestion(const std::vector<std::string>& drivers);
// One line of the log: "[状态] 描述 (类\文件夹\x.inf) -> oem7.inf；数字签名：签名者".
std::string LogLine(const std::string& description, const std::string& location, const DriverResult& result);

}  // namespace qelvaro::restore::setup_text
