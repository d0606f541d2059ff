#pragma once
// A registry hive file read by our own code: base block, hive bins, key nodes,
// subkey lists (lf, lh, li, ri), value lists and big data, read-only. Every offset
// is checked against the file, so a damaged hive gives an error and never a read
// outside it. Windows builds fall back on it where RegLoadAppKeyW cannot load a
// hive (Wine answers that call without loading anything); Linux builds use hivex and
// test this reader against it.

#include <memory>
#include <string>

#include "offline_registry.h"

namespace qelvaro {

// The hive whose whole file is `bytes` (its base block already checked with
// CheckHiveHeader); null with `error` saying why it cannot be read ("it is damaged
// (...)", following the file's name).
std::unique_ptr<Hive> OpenRegfHive(std::string bytes, std::string& error);

}  // namespace qelvaro
