#include "backup_root.h"

namespace qelvaro {

std::string BackupRoot(const std::string& chosenFolder) {
  if (!chosenFolder.empty() && chosenFolder.back() == '\\') return chosenFolder + "Quorvak";
  return chosenFolder + "\\Quorvak";
}

FsResult DeleteDir(const std::string& Path, FileSystem& fs) { return fs.deleteTree(Path); }

double BackupProgress(std::size_t row, std::size_t rowCount) {
  if (rowCount <= 1 || row + 1 >= rowCount) return 1.0;
  return static_cast<double>(row) / static_cast<double>(rowCount - 1);
}

}  // namespace qelvaro
