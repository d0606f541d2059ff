// Helpers shared by the zip component tests: a scratch folder, file helpers, and a file
// access that injects faults on request.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "zipcomp/file_access.h"
#include "zipcomp/zip_component.h"

namespace ziptest {

// Paths in the tests are UTF-8 text, as in the component.

// The component set up as the backup sets it up: `base` packed whole with its paths at
// level 6 into `archive`; the sources deleted afterwards when `move`.
zipcomp::ZipComponent& configure(zipcomp::ZipComponent& zip, const std::string& base, const std::string& archive,
                                 bool move = false);
std::filesystem::path fsPath(const std::string& utf8);
std::string utf8Of(const std::filesystem::path& p);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// Files below `root` (relative '/' paths) with their contents.
std::map<std::string, std::string> snapshotTree(const std::string& root);
// Names in a folder, for spotting leftover temporary files.
std::vector<std::string> namesIn(const std::string& dir);
std::string randomBytes(std::size_t n, std::uint32_t seed);

class FaultyFileAccess : public zipcomp::FileAccess {
public:
    explicit FaultyFileAccess(std::shared_ptr<zipcomp::FileAccess> inner = zipcomp::platformFileAccess())
        : inner_(std::move(inner)) {}

    std::atomic<std::uint64_t> spaceLeft{UINT64_MAX};  // bytes writes may add before the disk is full
    std::string vanishOnOpen;                          // deleted for real just before it is opened
    std::string unreadable;                            // opening it is denied
    std::string growsOnOpen;                           // someone appends to it just before it is read
    bool denyCreate = false;
    bool denyReplace = false;
    std::string denyRemove;
    // Seams for races: run once, at the moment named, on the thread that does the work.
    std::function<void()> afterCreate;               // the temporary archive exists, nothing is read yet
    std::function<void()> afterReplace;              // the archive is in place, nothing is deleted yet
    std::function<void(const std::string&)> beforeOpen;  // a source is about to be opened

    zipcomp::IoStatus stat(const std::string& p, zipcomp::FileInfo& i) override { return inner_->stat(p, i); }
    zipcomp::IoStatus statEntry(const std::string& p, zipcomp::FileInfo& i) override {
        return inner_->statEntry(p, i);
    }
    zipcomp::IoStatus list(const std::string& d, std::vector<zipcomp::DirEntry>& e) override {
        return inner_->list(d, e);
    }
    zipcomp::IoStatus realPath(const std::string& p, std::string& out) override { return inner_->realPath(p, out); }
    zipcomp::IoStatus openRead(const std::string& p, std::unique_ptr<zipcomp::ReadStream>& s) override;
    zipcomp::IoStatus createNew(const std::string& p, std::unique_ptr<zipcomp::WriteStream>& s) override;
    zipcomp::IoStatus replace(const std::string& from, const std::string& to) override {
        if (denyReplace) return zipcomp::IoStatus::AccessDenied;
        zipcomp::IoStatus s = inner_->replace(from, to);
        if (afterReplace) std::exchange(afterReplace, nullptr)();
        return s;
    }
    zipcomp::IoStatus remove(const std::string& p) override {
        return p == denyRemove ? zipcomp::IoStatus::AccessDenied : inner_->remove(p);
    }
    zipcomp::IoStatus removeSource(const std::string& base, const std::string& rel,
                                   const zipcomp::FileStamp& expected) override {
        if (!denyRemove.empty() && base + "/" + rel == denyRemove) return zipcomp::IoStatus::AccessDenied;
        return inner_->removeSource(base, rel, expected);
    }
    bool sameFile(const std::string& a, const std::string& b) override { return inner_->sameFile(a, b); }

private:
    std::shared_ptr<zipcomp::FileAccess> inner_;
};

}  // namespace ziptest
