#pragma once
// What reading the device class keys tells the user when a key cannot be read. UTF-8;
// {0}, {1}... take values through FormatText.

namespace qelvaro::texts {

// The driver scan.
inline constexpr char kCannotOpenKey[] = "无法打开注册表项";
inline constexpr char kCannotListKey[] = "无法列出注册表项 {0} 的子项 (错误 {1}), 其中的驱动程序未列出";

}  // namespace qelvaro::texts
