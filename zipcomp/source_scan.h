// Finds the files to pack below the base folder, in a stable order.
#pragma once

#include <string>
#include <vector>

#include "zipcomp/archive_writer.h"
#include "zipcomp/file_access.h"
#include "zipcomp/zip_errors.h"

namespace zipcomp {

struct ScanOptions {
    std::string basePath;
    std::string filesToProcess = "*.*";
    bool processSubfolders = true;
    bool preservePaths = true;
    std::string excludedFile;  // the archive itself, when it lies below the base folder
};

struct ScanResult {
    ZipResult code = ZipResult::Ok;
    std::string path;  // what failed
    std::vector<SourceFile> files;
};

// Folders contribute no entries of their own, so empty folders are skipped.
ScanResult scanSources(FileAccess& fs, const ScanOptions& options);

}  // namespace zipcomp
