#include "posix_file_system.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>

namespace qelvaro {

bool PosixFileSystem::exists(const std::string& path, AttrMask mask) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if (S_ISREG(st.st_mode)) return true;
  return mask == AttrMask::Folder && S_ISDIR(st.st_mode);
}

std::optional<std::string> PosixFileSystem::readFile(const std::string& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace qelvaro
