#pragma once
// A registry hive file read through hivex (Linux). Read-only: nothing is written
// back, and the file is never changed.

#include <memory>
#include <string>

#include "offline_registry.h"

namespace qelvaro {

// The hive at host path `file`, or null with `error` saying why hivex refuses it.
// The caller checks the base block first (CheckHiveHeader).
std::unique_ptr<Hive> OpenHivexHive(const std::string& file, std::string& error);

// The hive whose whole file is `bytes`, read from an anonymous in-memory file.
std::unique_ptr<Hive> OpenHivexHiveFromBytes(const std::string& bytes, std::string& error);

}  // namespace qelvaro
