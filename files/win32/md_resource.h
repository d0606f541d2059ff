#pragma once
// Writes a resource of the running program to a file.

#include <cstdint>
#include <string>

namespace qelvaro {

// Writes resource `name` of type `type` to `path`. With `size` > 0 and a last byte
// of zero, the data is cut or zero-padded to `size` bytes first. The file holds
// exactly those bytes afterwards (an older, longer file leaves nothing behind).
// 0 on success, else the failure's Windows error code. Shows nothing.
std::int32_t SaveResourceToFile(const std::string& name, const std::string& type, const std::string& path,
                                double size);

// The length in bytes of one of the program's own resources; 0 when it has none such.
std::uint32_t OwnResourceSize(const std::string& name, const std::string& type);

// The bytes of one of the program's own resources; false when it has none such.
bool LoadOwnResource(const std::string& name, const std::string& type, std::string& bytes,
                     std::uint32_t& error);

}  // namespace qelvaro
