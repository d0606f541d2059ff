#include "image_system.h"

namespace qelvaro {

bool TakeImageOptions(Args& args, std::string& root, OfflineImageOptions& options, std::string& error) {
  Args rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--image") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = "--image needs the root folder of a Windows volume";
        return false;
      }
      root = args[++i];
    } else if (args[i] == "--allow-dirty") {
      options.allowDirty = true;
    } else {
      rest.push_back(args[i]);
    }
  }
  args = std::move(rest);
  return true;
}

std::unique_ptr<ImageSystem> OpenImageForCommand(const std::string& command, const std::string& root,
                                                 const OfflineImageOptions& options, std::ostream& err) {
  std::string error;
  std::unique_ptr<ImageSystem> system = OpenImageSystem(root, options, error);
  if (!system) {
    err << "qelvaro " << command << ": " << error << "\n";
    return nullptr;
  }
  const OfflineImage& image = *system->image;
  for (const std::string& n : system->notes) err << "qelvaro " << command << ": note: " << n << "\n";
  for (const std::string& w : image.warnings()) err << "qelvaro " << command << ": warning: " << w << "\n";
  const std::string& windowsDir = image.folders().windowsDir();
  err << "image " << root << ": " << (system->zipPath ? system->zipPath(windowsDir) : windowsDir) << ", "
      << image.controlSet() << ", "
      << (image.archText().empty() ? std::string("architecture not recorded") : image.archText())
      << ", ANSI code page " << (image.ansiCodePage() ? std::to_string(image.ansiCodePage()) : "not recorded")
      << (image.hasDriversHive() ? ", DRIVERS hive" : "") << "\n";
  return system;
}

}  // namespace qelvaro
