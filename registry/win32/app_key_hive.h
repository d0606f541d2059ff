#pragma once
// A hive file of an offline Windows read through RegLoadAppKeyW: Windows' own hive
// reader, without administrator rights and without mounting anything in the live
// registry. It works on a private copy in the temporary folder, since the hive is
// locked while loaded and the image may be read-only or in use.

#include <memory>
#include <string>

#include "file_system.h"
#include "offline_registry.h"

namespace qelvaro {

// The hive whose whole file is `bytes`, written to a private copy; null with `error`
// saying why Windows does not load it.
std::unique_ptr<Hive> OpenAppKeyHive(FileSystem& fs, const std::string& bytes, std::string& error);

}  // namespace qelvaro
