#include "zipcomp/zip_errors.h"

namespace zipcomp {

std::string errorDescription(std::int16_t xType, std::int32_t value) {
    if (xType != 0) return "未知的值类型 (" + std::to_string(xType) + ")";
    switch (static_cast<ZipResult>(value)) {
    case ZipResult::Ok: return "操作成功完成";
    case ZipResult::NothingToDo: return "没有找到要压缩的文件";
    case ZipResult::BasePathMissing: return "要压缩的文件夹不存在或不是文件夹";
    case ZipResult::NoArchiveName: return "没有指定压缩文件名";
    case ZipResult::InvalidLevel: return "压缩级别无效, 必须在 0 到 9 之间";
    case ZipResult::InvalidPattern: return "要处理的文件列表无效, 不能指向基础文件夹之外";
    case ZipResult::SourceUnreadable: return "无法读取要压缩的文件";
    case ZipResult::SourceVanished: return "要压缩的文件在压缩过程中消失了";
    case ZipResult::SourceChanged: return "要压缩的文件在压缩过程中被修改了";
    case ZipResult::TargetNotWritable: return "无法在目标文件夹中写入压缩文件";
    case ZipResult::DiskFull: return "磁盘空间不足";
    case ZipResult::WriteFailed: return "写入压缩文件时出错";
    case ZipResult::ReplaceFailed: return "无法用新的压缩文件替换同名的旧文件";
    case ZipResult::SourcesKept: return "压缩文件已创建, 但部分源文件无法删除或已被修改, 因此保留";
    case ZipResult::DuplicateName: return "压缩文件中会出现重复的文件名";
    case ZipResult::OutOfMemory: return "内存不足";
    case ZipResult::Busy: return "另一个压缩操作正在进行";
    case ZipResult::SfxNotSupported: return "暂不支持创建自解压文件";
    case ZipResult::Cancelled: return "压缩操作已取消";
    case ZipResult::Internal: return "压缩组件内部错误";
    case ZipResult::SfxStubInvalid: return "无法读取自解压模块, 或它不是 Windows 程序";
    case ZipResult::SfxIconInvalid: return "无法读取图标文件, 或它不是有效的图标";
    case ZipResult::SfxIconNotWritten: return "无法把图标写入自解压文件 (此平台不能修改程序的资源)";
    case ZipResult::SfxSettingsInvalid: return "自解压设置无效: 没有指定解压文件夹";
    case ZipResult::ArchiveInsideSource: return "压缩文件是要压缩的文件夹中的一个已有文件, 替换它会丢失其内容";
    case ZipResult::TargetNotAFile: return "压缩文件名指向的不是普通文件 (文件夹、设备或管道)";
    case ZipResult::SfxNameRefused: return "文件名在 Windows 上无效 (设备名, 或以点或空格结尾), 自解压文件无法解压它";
    case ZipResult::SfxNameClash: return "两个文件名只有大小写不同, 在 Windows 上是同一个文件, 自解压文件无法解压";
    }
    return "未知错误 (代码 " + std::to_string(value) + ")";
}

const char* errorDescriptionEnglish(std::int32_t value) {
    switch (static_cast<ZipResult>(value)) {
    case ZipResult::Ok: return "done";
    case ZipResult::NothingToDo: return "no files to pack";
    case ZipResult::BasePathMissing: return "the folder to pack does not exist or is not a folder";
    case ZipResult::NoArchiveName: return "no archive name given";
    case ZipResult::InvalidLevel: return "the compression level must be 0 to 9";
    case ZipResult::InvalidPattern: return "the file list reaches outside the folder";
    case ZipResult::SourceUnreadable: return "cannot read a file to pack";
    case ZipResult::SourceVanished: return "a file to pack disappeared while packing";
    case ZipResult::SourceChanged: return "a file to pack was changed or replaced while packing";
    case ZipResult::TargetNotWritable: return "cannot write the archive in the target folder";
    case ZipResult::DiskFull: return "the disk is full";
    case ZipResult::WriteFailed: return "writing the archive failed";
    case ZipResult::ReplaceFailed: return "cannot replace the earlier archive of the same name";
    case ZipResult::SourcesKept: return "the archive is complete, but some files were changed or could not be deleted and were kept";
    case ZipResult::DuplicateName: return "two files would have the same name in the archive";
    case ZipResult::OutOfMemory: return "out of memory";
    case ZipResult::Busy: return "another zip is running";
    case ZipResult::SfxNotSupported: return "self-extracting archives are not supported here";
    case ZipResult::Cancelled: return "cancelled";
    case ZipResult::Internal: return "internal error of the zip component";
    case ZipResult::ArchiveInsideSource: return "the archive is an existing file inside the folder to pack; replacing it would lose its content";
    case ZipResult::TargetNotAFile: return "the archive name is not a regular file (a folder, device or pipe)";
    case ZipResult::SfxStubInvalid: return "the self-extractor stub cannot be read or is not a Windows program";
    case ZipResult::SfxIconInvalid: return "the icon cannot be read or is not an icon";
    case ZipResult::SfxIconNotWritten: return "the icon cannot be put into the program here (no resource writer on this platform)";
    case ZipResult::SfxSettingsInvalid: return "the self-extractor settings are not valid (no unpack folder)";
    case ZipResult::SfxNameRefused: return "a file name Windows cannot hold (a device name, or one ending in a dot or blank): the self-extractor would refuse it";
    case ZipResult::SfxNameClash: return "a file name differs only in case from another: one file on Windows, which the self-extractor would refuse";
    }
    return "unknown error";
}

}  // namespace zipcomp
