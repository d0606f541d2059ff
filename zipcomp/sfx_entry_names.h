// The names of a self-extracting package's entries, checked before anything is written
// the way its stub will check them when it unpacks: a package the stub would refuse
// (a device name such as aux.cat, a name ending in a dot or blank, two names that are
// one file on Windows because they differ only in case) is never built.
#pragma once

#include <string>
#include <vector>

#include "zipcomp/archive_writer.h"
#include "zipcomp/zip_errors.h"

namespace zipcomp {

// Ok, or the first refusal with the source path of the file it is about in `path`.
ZipResult checkSfxEntryNames(const std::vector<SourceFile>& files, std::string& path);

// `name` upper-cased the way Windows compares file names.
std::string foldForWindows(const std::string& name);

}  // namespace zipcomp
