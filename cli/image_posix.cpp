#include <filesystem>

#include "hivex_hive.h"
#include "image_system.h"
#include "windows_tree_file_system.h"

namespace qelvaro {

// The volume becomes drive C of a Windows tree, looked up without regard to case as
// Windows would; host paths (the backup target) stay reachable as "/...".
std::unique_ptr<ImageSystem> OpenImageSystem(const std::string& root, const OfflineImageOptions& options,
                                             std::string& error) {
  std::error_code ec;
  const std::string host = std::filesystem::absolute(root, ec).lexically_normal().string();
  auto tree = std::make_unique<WindowsTreeFileSystem>();
  if (!std::filesystem::is_directory(host, ec)) {
    error = "the folder '" + root + "' does not exist";
    return nullptr;
  }
  if (auto problem = tree->mapDrive('C', host)) {
    error = *problem;
    return nullptr;
  }
  WindowsTreeFileSystem* treeFs = tree.get();
  const HiveOpener open = [](const std::string& bytes, std::string& why) { return OpenHivexHiveFromBytes(bytes, why); };
  OfflineImageOptions withPaths = options;
  withPaths.shownPath = [treeFs, host](const std::string& path) {
    return path == "C:\\" ? host : treeFs->hostPath(path).value_or(path);
  };
  auto system = std::make_unique<ImageSystem>();
  system->image = OpenOfflineImage(*tree, "C:\\", open, withPaths, error);
  if (!system->image) return nullptr;
  system->fs = std::make_unique<CodePageFileSystem>(*tree, AnsiDecoderForCodePage(system->image->ansiCodePage()));
  system->store = std::make_unique<DatabaseOrSearchLookup>(system->image->registry(), *system->fs,
                                                           system->image->folders(),
                                                           system->image->arch().value_or(DefaultMachineArch()));
  system->userPath = [](const std::string& p) {
    std::error_code e;
    std::string path = std::filesystem::absolute(p, e).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
  };
  system->zipPath = [treeFs](const std::string& p) { return treeFs->hostPath(p).value_or(p); };
  system->platformFs = std::move(tree);
  return system;
}

}  // namespace qelvaro
