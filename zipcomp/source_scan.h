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
    std::string excludedFile;  // the archive: refused when it is one of the files below
    // Links to files outside the base folder are packed with their target's content only
    // when asked: a folder others can write to may hold a link to anything.
    bool followLinks = false;
};

enum class SkipReason {
    FolderLink,   // a link to a folder or a junction: never followed
    Special,      // a pipe, device or socket
    BrokenLink,   // a link that leads nowhere, or an entry gone while listed
    OutsideLink,  // a link to a file outside the base folder
};

struct SkippedEntry {
    std::string path;  // below the base folder, '/'-separated
    SkipReason reason;
};

struct ScanResult {
    ZipResult code = ZipResult::Ok;
    std::string path;  // what failed
    std::vector<SourceFile> files;
    std::vector<SkippedEntry> skipped;  // what was found but is not packed
};

// Folders contribute no entries of their own, so empty folders are skipped. Entries that
// cannot be packed as files are left out and listed, never a failure of the run.
ScanResult scanSources(FileAccess& fs, const ScanOptions& options);

}  // namespace zipcomp
