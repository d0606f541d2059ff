#include "backup_root.h"

#include <cstdint>
#include <random>

namespace qelvaro {

std::string BackupRoot(const std::string& chosenFolder) {
  if (!chosenFolder.empty() && chosenFolder.back() == '\\') return chosenFolder + "Quorvak";
  return chosenFolder + "\\Quorvak";
}

std::optional<std::string> MakeCollectingFolder(FileSystem& fs, const std::string& root, FsResult& failure) {
  return MakeFreshFolder(fs, root + ".collect-", failure);
}

std::optional<std::string> MakeFreshFolder(FileSystem& fs, const std::string& prefix, FsResult& failure) {
  static const char kHex[] = "0123456789abcdef";
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::uint32_t n = random();
    std::string name = prefix;
    for (int i = 0; i < 8; ++i, n >>= 4) name += kHex[n & 15];
    failure = fs.createNewDir(name);
    if (failure) return name;
    if (failure.error() != FsError::AlreadyExists) return std::nullopt;
  }
  return std::nullopt;
}

FsResult DeleteDir(const std::string& Path, FileSystem& fs) { return fs.deleteTree(Path); }

double BackupProgress(std::size_t row, std::size_t rowCount) {
  if (rowCount <= 1 || row + 1 >= rowCount) return 1.0;
  return static_cast<double>(row) / static_cast<double>(rowCount - 1);
}

}  // namespace qelvaro
