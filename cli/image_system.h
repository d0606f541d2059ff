#pragma once
// An offline Windows image opened for the command line: the image's registry and
// folders, and the file system that reaches its files on this platform.

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "commands.h"
#include "driver_store.h"
#include "code_page_file_system.h"
#include "offline_image.h"

namespace qelvaro {

struct ImageSystem {
  std::unique_ptr<FileSystem> platformFs;  // the image's volume, and the host's own files
  std::unique_ptr<OfflineImage> image;
  std::unique_ptr<CodePageFileSystem> fs;  // platformFs, reading ANSI text in the image's code page
  std::unique_ptr<DriverStoreLookup> store;
  // The path of `fs` for a folder the user named on the command line.
  std::function<std::string(const std::string&)> userPath;
  // The path the zip component opens for a path of `fs`; unset when they are the same.
  std::function<std::string(const std::string&)> zipPath;
  // How the image was read, where the user should know (printed before its summary).
  std::vector<std::string> notes;
};

// Opens the Windows volume at `root` (a folder of this machine); null with `error`
// set when it cannot be opened.
std::unique_ptr<ImageSystem> OpenImageSystem(const std::string& root, const OfflineImageOptions& options,
                                             std::string& error);

// Takes `--image ROOT` and `--allow-dirty` out of `args`. False with `error` set for
// an --image without a folder.
bool TakeImageOptions(Args& args, std::string& root, OfflineImageOptions& options, std::string& error);

// Opens the image and tells `err` what was found in it (and any warning); null after
// printing why it cannot be opened. `command` prefixes the messages.
std::unique_ptr<ImageSystem> OpenImageForCommand(const std::string& command, const std::string& root,
                                                 const OfflineImageOptions& options, std::ostream& err);

// `qelvaro backup --image ROOT ...`.
int RunImageBackup(const Args& args, std::ostream& out, std::ostream& err);

// `qelvaro list [--image ROOT] [--all] [--json]`.
int RunListCommand(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace qelvaro
