#include "commands.h"
#include "posix_file_system.h"

namespace qelvaro {
std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<PosixFileSystem>(); }
}  // namespace qelvaro
