#include <windows.h>

#include "app_key_hive.h"
#include "image_system.h"
#include "win32_file_system.h"
#include "win32_text.h"

namespace qelvaro {
namespace {

std::string fullPath(const std::string& path) {
  const std::wstring wide = widen(path);
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (written == 0 || written >= n) return path;
  full.resize(written);
  return narrow(full);
}

}  // namespace

// The volume is a drive or a folder of this machine; Windows matches names without
// regard to case by itself. Hives load through RegLoadAppKeyW from private copies.
std::unique_ptr<ImageSystem> OpenImageSystem(const std::string& root, const OfflineImageOptions& options,
                                             std::string& error) {
  auto fs = std::make_unique<Win32FileSystem>();
  const std::string volume = fullPath(root);
  if (!fs->exists(volume, AttrMask::Folder)) {
    error = "the folder '" + root + "' does not exist";
    return nullptr;
  }
  Win32FileSystem* files = fs.get();
  const HiveOpener open = [files](const std::string& bytes, std::string& why) {
    return OpenAppKeyHive(*files, bytes, why);
  };
  auto system = std::make_unique<ImageSystem>();
  system->image = OpenOfflineImage(*fs, volume, open, options, error);
  if (!system->image) return nullptr;
  system->fs = std::make_unique<CodePageFileSystem>(*fs, AnsiDecoderForCodePage(system->image->ansiCodePage()));
  system->store = std::make_unique<RegistryDriverStoreLookup>(system->image->registry(), system->image->folders());
  system->userPath = fullPath;
  system->platformFs = std::move(fs);
  return system;
}

}  // namespace qelvaro
