#include "file_system.h"

#include "text_encoding.h"

namespace qelvaro {

std::string FileSystem::decodeAnsi(std::string_view bytes) const { return windows1252ToUtf8(bytes); }

}  // namespace qelvaro
