#include <iostream>

#include "commands.h"
#include "posix_file_system.h"

namespace qelvaro {
std::unique_ptr<FileSystem> MakePlatformFileSystem() { return std::make_unique<PosixFileSystem>(); }
}  // namespace qelvaro

int main(int argc, char** argv) {
  qelvaro::Args args(argv + 1, argv + argc);
  return qelvaro::RunCommandLine(args, std::cout, std::cerr);
}
