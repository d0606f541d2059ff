#include "commands.h"
#include "win32_file_system.h"

namespace qelvaro {
std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<Win32FileSystem>(); }
}  // namespace qelvaro
