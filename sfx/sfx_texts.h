// Texts the self-extractor shows, in one place.
#pragma once

namespace qsfx::texts {

inline constexpr const char kTitle[] = "Qelvaro 自解压文件";
inline constexpr const char kDamaged[] = "此自解压文件已损坏或不完整, 无法解压. 请重新复制或重新创建此文件.";
inline constexpr const char kWrongPassword[] = "此自解压文件的密码不正确, 无法解压.";
inline constexpr const char kUnsafeName[] =
    "此自解压文件中有指向解压文件夹之外的文件名, 为安全起见没有解压任何文件.";
inline constexpr const char kUnsupported[] = "此自解压文件使用了不支持的压缩或加密方式, 无法解压.";
inline constexpr const char kDiskFull[] = "磁盘空间不足, 无法解压到: ";
inline constexpr const char kWriteFailed[] = "无法写入解压文件夹: ";
inline constexpr const char kNoMemory[] = "内存不足, 无法解压.";
inline constexpr const char kRunFailed[] = "文件已解压, 但无法启动: ";
inline constexpr const char kSelfUnreadable[] = "无法读取此程序文件本身: ";
inline constexpr const char kUnpacking[] = "正在解压驱动程序, 请稍候...";
inline constexpr const char kBusy[] = "此文件已在运行 (正在解压或安装), 请等它结束后再运行: ";

}  // namespace qsfx::texts
