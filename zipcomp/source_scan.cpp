#include "zipcomp/source_scan.h"

#include <algorithm>
#include <unordered_set>

#include "zipcomp/zip_format.h"
#include "zipcomp/zip_paths.h"

namespace zipcomp {
namespace {

class Scanner {
public:
    Scanner(FileAccess& fs, const ScanOptions& o) : fs_(fs), o_(o), filter_(o.filesToProcess) {
        FileInfo info;
        if (!o.excludedFile.empty() && fs_.stat(o.excludedFile, info) == IoStatus::Ok)
            excludedName_ = splitPath(o.excludedFile).name;
    }

    ScanResult run() {
        FileInfo info;
        if (!filter_.valid())
            fail(ZipResult::InvalidPattern, o_.filesToProcess);
        else if (o_.basePath.empty() || fs_.stat(o_.basePath, info) != IoStatus::Ok || !info.isDir)
            fail(ZipResult::BasePathMissing, o_.basePath);
        else
            walk(o_.basePath, "");
        return std::move(result_);
    }

private:
    void fail(ZipResult code, std::string path) {
        result_.code = code;
        result_.path = std::move(path);
        result_.files.clear();
    }

    bool walk(const std::string& dir, const std::string& prefix) {
        std::vector<DirEntry> entries;
        if (IoStatus s = fs_.list(dir, entries); s != IoStatus::Ok) {
            fail(s == IoStatus::NotFound ? ZipResult::SourceVanished : ZipResult::SourceUnreadable, dir);
            return false;
        }
        std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
        for (const auto& e : entries) {
            std::string full = joinPath(dir, e.name);
            std::string rel = prefix.empty() ? e.name : prefix + "/" + e.name;
            if (e.kind == EntryKind::Dir) {
                if (o_.processSubfolders && !walk(full, rel)) return false;
            } else if (e.kind == EntryKind::File && filter_.matches(rel)) {
                if (!addFile(full, rel, e.name)) return false;
            }
        }
        return true;
    }

    bool addFile(const std::string& full, const std::string& rel, const std::string& name) {
        if (!excludedName_.empty() && name == excludedName_ && fs_.sameFile(full, o_.excludedFile)) return true;
        FileInfo info;
        if (IoStatus s = fs_.stat(full, info); s != IoStatus::Ok) {
            fail(s == IoStatus::NotFound ? ZipResult::SourceVanished : ZipResult::SourceUnreadable, full);
            return false;
        }
        std::string entry = o_.preservePaths ? rel : name;
        if (entry.size() > kMax16) {
            fail(ZipResult::SourceUnreadable, full);
            return false;
        }
        if (!names_.insert(entry).second) {
            fail(ZipResult::DuplicateName, full);
            return false;
        }
        result_.files.push_back({full, std::move(entry), info.size, info.mtime});
        return true;
    }

    FileAccess& fs_;
    const ScanOptions& o_;
    FileFilter filter_;
    std::string excludedName_;
    std::unordered_set<std::string> names_;
    ScanResult result_;
};

}  // namespace

ScanResult scanSources(FileAccess& fs, const ScanOptions& options) {
    return Scanner(fs, options).run();
}

}  // namespace zipcomp
