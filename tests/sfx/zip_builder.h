// Builds small zip archives byte by byte for the self-extractor's tests: any entry name
// (hostile ones included), stored or deflated, optionally encrypted, with or without a
// data descriptor, with Zip64 records, and a prefix (a stub with its settings).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sfxtest {

struct BuildEntry {
    std::string name;
    std::string data;
    bool deflate = false;
    std::string password;  // empty: not encrypted
    bool descriptor = false;
    bool utf8Flag = true;
};

struct BuildOptions {
    std::string prefix;
    bool zip64 = false;          // Zip64 end records and extra fields
    bool relativeOffsets = false;  // offsets counted from the archive, not the file
    std::string trailing;        // bytes after the end record
};

std::string buildZip(const std::vector<BuildEntry>& entries, const BuildOptions& options = {});

// The settings block for a stub, from key/value pairs.
std::string settingsBlock(const std::vector<std::pair<std::string, std::string>>& values);

std::string deflateRaw(const std::string& data);

}  // namespace sfxtest
