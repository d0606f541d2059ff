#pragma once
// Texts of the main window, as a user reads them.

namespace qelvaro::frm_main_texts {

// The self-extracting target.
inline constexpr char kSfxBuilding[] = "正在创建自解压文件...";
inline constexpr char kSfxFailed[] = "失败. 创建自解压文件时发生错误. ";

}  // namespace qelvaro::frm_main_texts
