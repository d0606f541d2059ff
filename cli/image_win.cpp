#include <windows.h>

#include "app_key_hive.h"
#include "image_system.h"
#include "regf_hive.h"
#include "win32_file_system.h"
#include "base/win32/wide_string.h"

namespace qelvaro {
namespace {

std::string fullPath(const std::string& path) {
  const std::wstring wide = base::widen(path);
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (written == 0 || written >= n) return path;
  full.resize(written);
  return base::narrow(full);
}

}  // namespace

// The volume is a drive or a folder of this machine; Windows matches names without
// regard to case by itself. Hives load through RegLoadAppKeyW from private copies;
// where this system cannot load them that way (Wine answers the call without loading
// anything), our own hive reader reads them, and the user is told so once.
std::unique_ptr<ImageSystem> OpenImageSystem(const std::string& root, const OfflineImageOptions& options,
                                             std::string& error) {
  auto fs = std::make_unique<Win32FileSystem>();
  const std::string volume = fullPath(root);
  if (!fs->exists(volume, AttrMask::Folder)) {
    error = "the folder '" + root + "' does not exist";
    return nullptr;
  }
  Win32FileSystem* files = fs.get();
  auto system = std::make_unique<ImageSystem>();
  std::vector<std::string>* notes = &system->notes;
  const HiveOpener open = [files, notes](const std::string& bytes, std::string& why) {
    std::string windows;
    if (auto hive = OpenAppKeyHive(*files, bytes, windows)) return hive;
    auto hive = OpenRegfHive(bytes, why);
    if (!hive) {
      why += "; " + windows;
      return hive;
    }
    if (notes->empty()) notes->push_back(windows + "; the hives are read by Qelvaro's own hive reader");
    return hive;
  };
  system->image = OpenOfflineImage(*fs, volume, open, options, error);
  if (!system->image) return nullptr;
  system->fs = std::make_unique<CodePageFileSystem>(*fs, AnsiDecoderForCodePage(system->image->ansiCodePage()));
  system->store = std::make_unique<DatabaseOrSearchLookup>(system->image->registry(), *system->fs,
                                                           system->image->folders(),
                                                           system->image->arch().value_or(DefaultMachineArch()));
  system->userPath = fullPath;
  system->platformFs = std::move(fs);
  return system;
}

}  // namespace qelvaro
