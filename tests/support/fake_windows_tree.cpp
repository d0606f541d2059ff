#include "fake_windows_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace qelvaro::testing {

namespace stdfs = std::filesystem;

FakeWindowsTree::FakeWindowsTree() {
  std::string pattern = (stdfs::temp_directory_path() / "qelvaro-tree.XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  base_ = pattern;
  stdfs::create_directories(base_ + "/c/Windows/System32");
  stdfs::create_directories(base_ + "/c/Windows/inf");
  stdfs::create_directories(base_ + "/d");
  EXPECT_FALSE(fs_.mapDrive('C', base_ + "/c"));
  EXPECT_FALSE(fs_.mapDrive('D', base_ + "/d"));
}

FakeWindowsTree::~FakeWindowsTree() {
  std::error_code ec;
  // Undo what tests may have made unreadable, then remove everything.
  for (auto it = stdfs::recursive_directory_iterator(base_, ec); it != stdfs::recursive_directory_iterator();
       it.increment(ec)) {
    stdfs::permissions(it->path(), stdfs::perms::owner_all, stdfs::perm_options::add, ec);
  }
  stdfs::remove_all(base_, ec);
}

std::string FakeWindowsTree::host(const std::string& windowsPath) const {
  std::string p = base_ + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath.at(0))));
  for (std::size_t i = 2; i < windowsPath.size(); ++i) p += windowsPath[i] == '\\' ? '/' : windowsPath[i];
  return p;
}

void FakeWindowsTree::put(const std::string& windowsPath, const std::string& bytes) {
  const stdfs::path p = host(windowsPath);
  stdfs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

bool FakeWindowsTree::onDisk(const std::string& windowsPath) const {
  std::error_code ec;
  return stdfs::exists(stdfs::symlink_status(host(windowsPath), ec));
}

std::string FakeWindowsTree::read(const std::string& windowsPath) const {
  std::ifstream in(host(windowsPath), std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string FakeWindowsTree::listing(const std::string& windowsPath) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : stdfs::directory_iterator(host(windowsPath), ec)) {
    names.push_back(e.path().filename().string() + (e.is_directory() ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

}  // namespace qelvaro::testing
