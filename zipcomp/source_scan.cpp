#include "zipcomp/source_scan.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "zipcomp/zip_format.h"
#include "zipcomp/zip_paths.h"

namespace zipcomp {
namespace {

class Scanner {
public:
    Scanner(FileAccess& fs, const ScanOptions& o) : fs_(fs), o_(o), filter_(o.filesToProcess) {
        FileInfo info;
        if (!o.excludedFile.empty() && fs_.stat(o.excludedFile, info) == IoStatus::Ok && info.isFile)
            archive_ = info.stamp;
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

    void skip(const std::string& rel, SkipReason reason) { result_.skipped.push_back({rel, reason}); }

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
            switch (e.kind) {
            case EntryKind::Dir:
                if (o_.processSubfolders && !walk(full, rel)) return false;
                break;
            case EntryKind::File:
            case EntryKind::LinkToFile:
                if (filter_.matches(rel) && !addFile(full, rel, e.name, e.kind == EntryKind::LinkToFile)) return false;
                break;
            case EntryKind::Other:
                if (o_.processSubfolders) skip(rel, SkipReason::FolderLink);
                break;
            case EntryKind::Special:
                if (filter_.matches(rel)) skip(rel, SkipReason::Special);
                break;
            case EntryKind::BrokenLink:
                if (filter_.matches(rel)) skip(rel, SkipReason::BrokenLink);
                break;
            }
        }
        return true;
    }

    // A link may name its target by any path; only the resolved paths tell whether it
    // stays inside the base folder.
    bool insideBase(const std::string& full) {
        if (baseReal_.empty() && fs_.realPath(o_.basePath, baseReal_) != IoStatus::Ok) return false;
        std::string target;
        if (fs_.realPath(full, target) != IoStatus::Ok) return false;
        std::string prefix = baseReal_;
        if (prefix.empty() || !isSeparator(prefix.back(), kNativePathStyle)) prefix += kNativePathStyle == PathStyle::Windows ? '\\' : '/';
        return target.size() > prefix.size() && target.compare(0, prefix.size(), prefix) == 0;
    }

    bool addFile(const std::string& full, const std::string& rel, const std::string& name, bool link) {
        if (link && !o_.followLinks && !insideBase(full)) {
            skip(rel, SkipReason::OutsideLink);
            return true;
        }
        FileInfo entry, info;
        IoStatus s = fs_.statEntry(full, entry);
        if (s == IoStatus::Ok) s = link ? fs_.stat(full, info) : (info = entry, IoStatus::Ok);
        if (s != IoStatus::Ok) {
            fail(s == IoStatus::NotFound ? ZipResult::SourceVanished : ZipResult::SourceUnreadable, full);
            return false;
        }
        if (!info.isFile) {
            skip(rel, link ? SkipReason::BrokenLink : SkipReason::Special);
            return true;
        }
        // Packing the archive's own earlier version and then replacing it with the new
        // archive would leave its content in neither place.
        if (archive_ && info.stamp.sameFile(*archive_)) {
            fail(ZipResult::ArchiveInsideSource, full);
            return false;
        }
        std::string entryName = o_.preservePaths ? rel : name;
        if (entryName.size() > kMax16) {
            fail(ZipResult::SourceUnreadable, full);
            return false;
        }
        if (!names_.insert(entryName).second) {
            fail(ZipResult::DuplicateName, full);
            return false;
        }
        result_.files.push_back({full, std::move(entryName), info.size, info.mtime, rel, info.stamp, entry.stamp});
        return true;
    }

    FileAccess& fs_;
    const ScanOptions& o_;
    FileFilter filter_;
    std::optional<FileStamp> archive_;
    std::string baseReal_;
    std::unordered_set<std::string> names_;
    ScanResult result_;
};

}  // namespace

ScanResult scanSources(FileAccess& fs, const ScanOptions& options) {
    return Scanner(fs, options).run();
}

}  // namespace zipcomp
