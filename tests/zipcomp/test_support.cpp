#include "test_support.h"

#include <fstream>
#include <utility>
#include <random>
#include <sstream>
#include <system_error>

namespace ziptest {

zipcomp::ZipComponent& configure(zipcomp::ZipComponent& zip, const std::string& base, const std::string& archive,
                                 bool move) {
    zip.PreservePaths = true;
    zip.DeleteZippedFiles = move;
    zip.ProcessSubfolders = true;
    zip.BasePath = base;
    zip.FilesToProcess = "*.*";
    zip.ZipFilename = archive;
    zip.CompressionLevel = 6;
    return zip;
}

std::filesystem::path fsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const std::filesystem::path& p) {
    std::u8string s = p.generic_u8string();
    return std::string(s.begin(), s.end());
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto p = base / ("qzip-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(p)) {
            path_ = utf8Of(p);
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(fsPath(path_), ec);
}

void writeFile(const std::string& path, const std::string& content) {
    auto p = fsPath(path);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string readFile(const std::string& path) {
    std::ifstream in(fsPath(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string& path) { return std::filesystem::exists(fsPath(path)); }

std::map<std::string, std::string> snapshotTree(const std::string& root) {
    std::map<std::string, std::string> out;
    auto base = fsPath(root);
    for (const auto& e : std::filesystem::recursive_directory_iterator(base))
        if (e.is_regular_file()) out[utf8Of(e.path().lexically_relative(base))] = readFile(utf8Of(e.path()));
    return out;
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(fsPath(dir))) out.push_back(utf8Of(e.path().filename()));
    return out;
}

std::string randomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

namespace {

class LimitedWriteStream : public zipcomp::WriteStream {
public:
    LimitedWriteStream(std::unique_ptr<zipcomp::WriteStream> inner, std::atomic<std::uint64_t>& space)
        : inner_(std::move(inner)), space_(space) {}
    zipcomp::IoStatus write(const void* d, std::size_t n) override {
        if (!take(n)) return zipcomp::IoStatus::DiskFull;
        return inner_->write(d, n);
    }
    zipcomp::IoStatus writeAt(std::uint64_t off, const void* d, std::size_t n) override {
        return inner_->writeAt(off, d, n);
    }
    zipcomp::IoStatus truncate(std::uint64_t size) override { return inner_->truncate(size); }
    zipcomp::IoStatus sync() override { return inner_->sync(); }
    zipcomp::IoStatus close() override { return inner_->close(); }

private:
    bool take(std::uint64_t n) {
        std::uint64_t cur = space_.load();
        while (true) {
            if (cur < n) return false;
            if (space_.compare_exchange_weak(cur, cur - n)) return true;
        }
    }
    std::unique_ptr<zipcomp::WriteStream> inner_;
    std::atomic<std::uint64_t>& space_;
};

}  // namespace

zipcomp::IoStatus FaultyFileAccess::openRead(const std::string& p, std::unique_ptr<zipcomp::ReadStream>& s) {
    if (beforeOpen) beforeOpen(p);
    if (p == unreadable) return zipcomp::IoStatus::AccessDenied;
    if (p == growsOnOpen) {
        std::ofstream(fsPath(p), std::ios::binary | std::ios::app) << "appended by another program";
    }
    if (p == vanishOnOpen) {
        std::error_code ec;
        std::filesystem::remove(fsPath(p), ec);
    }
    return inner_->openRead(p, s);
}

zipcomp::IoStatus FaultyFileAccess::createNew(const std::string& p, std::unique_ptr<zipcomp::WriteStream>& s) {
    if (denyCreate) return zipcomp::IoStatus::AccessDenied;
    std::unique_ptr<zipcomp::WriteStream> inner;
    zipcomp::IoStatus st = inner_->createNew(p, inner);
    if (st == zipcomp::IoStatus::Ok) s = std::make_unique<LimitedWriteStream>(std::move(inner), spaceLeft);
    if (st == zipcomp::IoStatus::Ok && afterCreate) std::exchange(afterCreate, nullptr)();
    return st;
}

}  // namespace ziptest
