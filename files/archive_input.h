#pragma once
// Archives read in place: a Zip file or a self-extracting package opened for random
// reads, for the archive reader.

#include <functional>
#include <memory>
#include <string>

#include "file_system.h"
#include "sfx_format/sfx_archive.h"

namespace qelvaro {

// Opens a file for random reads (an archive) by the platform's own path; null, with
// the reason, when it cannot.
std::unique_ptr<qsfx::Input> OpenArchiveInput(const std::string& platformPath, FsResult& why);

// Opens an archive named as the file system names it.
using ArchiveOpener = std::function<std::unique_ptr<qsfx::Input>(const std::string& path, FsResult& why)>;

}  // namespace qelvaro
