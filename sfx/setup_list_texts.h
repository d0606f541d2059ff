// Texts of the driver list that stands in for the restore program.
#pragma once

namespace qelvaro::setup_list {

inline constexpr const char kTitle[] = "Qelvaro 驱动程序备份";
inline constexpr const char kIntro[] =
    "此备份包含以下驱动程序. 这个程序只列出它们, 不会安装任何驱动程序; 请用设备管理器从下面的文件夹安装:";
inline constexpr const char kNone[] = "此文件夹中没有找到驱动程序的 INF 文件: ";
inline constexpr const char kMore[] = "... 以及另外 %d 个驱动程序";

}  // namespace qelvaro::setup_list
