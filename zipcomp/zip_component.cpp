#include "zipcomp/zip_component.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <random>
#include <thread>

#include "sfx_format/sfx_settings.h"
#include "sfx_format/sfx_settings_writer.h"
#include "zipcomp/archive_writer.h"
#include "zipcomp/sfx_icon.h"
#include "zipcomp/interrupt_cleanup.h"
#include "zipcomp/sfx_entry_names.h"
#include "zipcomp/source_scan.h"
#include "zipcomp/zip_paths.h"

namespace zipcomp {
namespace {

const std::array<std::string, kSfxMessageCount> kDefaultSfxMessages = {
    "自解压文件",
    "是否解压此文件中的内容?",
    "正在解压...",
    "解压完成.",
    "解压失败.",
    "请输入密码:",
};

std::int32_t saturate32(std::uint64_t v) {
    return v > static_cast<std::uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(v);
}

std::int16_t percentOf(std::uint64_t part, std::uint64_t whole) {
    if (whole == 0) return 0;
    return static_cast<std::int16_t>(std::min<std::uint64_t>(100, part * 100 / whole));
}

std::string randomToken() {
    static const char kHex[] = "0123456789abcdef";
    std::random_device rd;
    std::string t;
    for (int i = 0; i < 2; ++i) {
        unsigned v = rd();
        for (int k = 0; k < 8; ++k, v >>= 4) t += kHex[v & 15];
    }
    return t;
}

bool readWhole(FileAccess& fs, const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<ReadStream> in;
    if (fs.openRead(path, in) != IoStatus::Ok) return false;
    bytes.clear();
    std::uint8_t buf[65536];
    for (;;) {
        std::size_t n = 0;
        if (in->read(buf, sizeof buf, n) != IoStatus::Ok) return false;
        if (n == 0) return true;
        if (bytes.size() + n > (std::size_t{64} << 20)) return false;  // no stub is that big
        bytes.insert(bytes.end(), buf, buf + n);
    }
}

// A Windows program starts with "MZ" and names where its "PE" header is.
bool looksLikeWindowsProgram(const std::vector<std::uint8_t>& b) {
    if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z') return false;
    const std::uint32_t pe = b[60] | (b[61] << 8) | (b[62] << 16) | (static_cast<std::uint32_t>(b[63]) << 24);
    return pe <= b.size() - 4 && b[pe] == 'P' && b[pe + 1] == 'E' && b[pe + 2] == 0 && b[pe + 3] == 0;
}

std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A signed stub ends with its certificate table, which the security entry of its data
// directories names. A signature covers the whole file and must be its end, so a
// package is signed after its archive is appended (see the README); the stub's own
// table, left in the middle, would stop that signing. It is cut off and its entry and
// the checksum cleared. A table that is not at the end is no signature Windows reads
// and stays as it is.
void dropCertificateTable(std::vector<std::uint8_t>& b) {
    const std::size_t pe = get32(b, 60);
    const std::size_t optional = pe + 24;
    if (optional + 2 > b.size()) return;
    const std::uint16_t magic = static_cast<std::uint16_t>(b[optional] | (b[optional + 1] << 8));
    const std::size_t count = optional + (magic == 0x20b ? 108 : 92);
    const std::size_t security = count + 4 + 4 * 8;  // the fifth directory
    if ((magic != 0x10b && magic != 0x20b) || security + 8 > b.size() || get32(b, count) < 5) return;
    const std::uint64_t offset = get32(b, security), size = get32(b, security + 4);
    if (size == 0 || offset + size != b.size()) return;
    b.resize(static_cast<std::size_t>(offset));
    std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(security), 8, 0);
    std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(optional + 64), 4, 0);
}

}  // namespace

struct ZipComponent::Settings {
    ScanOptions scan;
    std::string zipFilename;
    bool deleteZipped = false;
    WriterOptions writer;
    // A self-extractor: the stub, its icon and what the stub is told.
    std::string stubPath;
    std::string iconPath;
    std::vector<std::pair<std::string, std::string>> sfxValues;
};

// What the working thread shares with the caller's thread.
struct ZipComponent::Run {
    WriterProgress progress;
    std::atomic<bool> scanned{false};
    std::atomic<bool> done{false};
    std::atomic<bool> cancel{false};
    std::atomic<int> lastPercent{-1};
    std::uint32_t filesTotal = 0;  // written before `scanned` is set
    std::uint64_t bytesTotal = 0;
    ZipResult result = ZipResult::Ok;  // read after the join
    std::string errorPath;
    std::vector<SkippedEntry> skipped;
    WaitHost* host = nullptr;

    int bytesPercent() const {
        if (bytesTotal == 0) return percentOf(progress.filesDone.load(), filesTotal);
        return percentOf(progress.bytesDone.load(), bytesTotal);
    }
    // Wakes the caller only when the percentage moved, so that many small files do not
    // flood a window's message loop.
    void notify() {
        int p = bytesPercent();
        if (lastPercent.exchange(p) != p) host->wake();
    }
    GlobalStatusArgs status() const {
        GlobalStatusArgs a;
        std::uint64_t done = progress.bytesDone.load(), out = progress.bytesOutput.load();
        std::uint32_t files = progress.filesDone.load();
        a.lFilesTotal = saturate32(filesTotal);
        a.lFilesProcessed = saturate32(files);
        a.nFilesPercent = percentOf(files, filesTotal);
        a.lBytesTotal = static_cast<std::int64_t>(bytesTotal);
        a.lBytesProcessed = static_cast<std::int64_t>(std::min(done, bytesTotal));
        a.nBytesPercent = static_cast<std::int16_t>(bytesPercent());
        a.lBytesOutput = static_cast<std::int64_t>(out);
        a.nCompressionRatio = done == 0 || out >= done ? 0 : static_cast<std::int16_t>(100 - out * 100 / done);
        return a;
    }
};

ZipComponent::ZipComponent(std::shared_ptr<FileAccess> fs)
    : SfxMessages(kDefaultSfxMessages), fs_(std::move(fs)), host_(std::make_shared<BlockingWaitHost>()) {}

void ZipComponent::SfxClearMessages() {
    for (auto& m : SfxMessages) m.clear();
}

std::string ZipComponent::GetErrorDescription(std::int16_t xType, std::int32_t lValue) const {
    return errorDescription(xType, lValue);
}

void ZipComponent::setWaitHost(std::shared_ptr<WaitHost> host) {
    host_ = host ? std::move(host) : std::make_shared<BlockingWaitHost>();
}

std::int32_t ZipComponent::Zip() {
    // The caller's message loop runs during Zip, so a click could try to start another.
    if (running_) return static_cast<std::int32_t>(ZipResult::Busy);
    lastErrorPath_.clear();
    lastSkipped_.clear();
    if (CompressionLevel < 0 || CompressionLevel > 9) return static_cast<std::int32_t>(ZipResult::InvalidLevel);
    if (ZipFilename.empty()) return static_cast<std::int32_t>(ZipResult::NoArchiveName);
    // The stub could not know where to unpack.
    if (!SfxBinaryModule.empty() && SfxDefaultUnzipToFolder.empty())
        return static_cast<std::int32_t>(ZipResult::SfxSettingsInvalid);

    Settings s;
    s.scan = {BasePath, FilesToProcess, ProcessSubfolders, PreservePaths, ZipFilename, FollowLinks};
    s.zipFilename = ZipFilename;
    s.deleteZipped = DeleteZippedFiles;
    s.writer.level = CompressionLevel;
    s.writer.password = EncryptionPassword;
    s.writer.inMemoryLimit = inMemoryLimit_;
    s.writer.inFlightLimit = std::max(s.writer.inFlightLimit, inMemoryLimit_);
    s.writer.threads = threads_;
    if (!SfxBinaryModule.empty()) {
        s.stubPath = SfxBinaryModule;
        s.iconPath = SfxIconFilename;
        auto message = [this](SfxMessage m) { return SfxMessages[static_cast<std::size_t>(m)]; };
        s.sfxValues = {
            {qsfx::kKeyFolder, SfxDefaultUnzipToFolder},
            {qsfx::kKeyPassword, SfxDefaultPassword},
            {qsfx::kKeyRun, SfxExecuteAfter},
            {qsfx::kKeyInstall, SfxInstallMode ? "1" : "0"},
            {qsfx::kKeyTitle, message(SfxMessage::Title)},
            {qsfx::kKeyConfirm, message(SfxMessage::Confirm)},
            {qsfx::kKeyDone, message(SfxMessage::Done)},
            // Carried for stubs that show them; this one shows its own progress text
            // and never asks for a password.
            {"progress", message(SfxMessage::Progress)},
            {"failed", message(SfxMessage::Failed)},
            {"prompt", message(SfxMessage::PasswordPrompt)},
        };
    }

    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};

    std::shared_ptr<WaitHost> host = host_;
    Run run;
    run.host = host.get();
    std::thread worker([&] {
        work(run, s);
        run.done = true;
        host->wake();
    });

    bool reported = false;
    int lastFired = -1;
    std::uint32_t lastFiles = 0;
    auto report = [&](bool force) {
        if (!run.scanned.load() || !GlobalStatus) return;
        GlobalStatusArgs a = run.status();
        if (!force && reported && a.nBytesPercent == lastFired &&
            static_cast<std::uint32_t>(a.lFilesProcessed) == lastFiles)
            return;
        reported = true;
        lastFired = a.nBytesPercent;
        lastFiles = static_cast<std::uint32_t>(a.lFilesProcessed);
        GlobalStatus(a);
    };
    try {
        while (!run.done.load()) {
            host->wait(std::chrono::milliseconds(100));
            if (!run.done.load()) report(false);
        }
    } catch (...) {
        // A throwing handler must not leave the worker writing behind our back.
        run.cancel = true;
        worker.join();
        host->finished();
        throw;
    }
    worker.join();
    if (run.result == ZipResult::Ok || run.result == ZipResult::SourcesKept) report(true);
    host->finished();
    lastErrorPath_ = run.errorPath;
    lastSkipped_ = std::move(run.skipped);
    return static_cast<std::int32_t>(run.result);
}

// The stub (with the package icon put in) and its settings go before the archive.
bool ZipComponent::buildSfxPrefix(FileAccess& fs, Settings& s, ZipResult& code, std::string& path) {
    std::vector<std::uint8_t> stub;
    if (!readWhole(fs, s.stubPath, stub) || !looksLikeWindowsProgram(stub)) {
        code = ZipResult::SfxStubInvalid;
        path = s.stubPath;
        return false;
    }
    dropCertificateTable(stub);
    if (!s.iconPath.empty()) {
        std::vector<std::uint8_t> icon;
        const IconResult r = readWhole(fs, s.iconPath, icon) ? applyIcon(stub, icon) : IconResult::BadIcon;
        if (r != IconResult::Ok) {
            code = r == IconResult::BadIcon ? ZipResult::SfxIconInvalid : ZipResult::SfxIconNotWritten;
            path = s.iconPath;
            return false;
        }
    }
    std::vector<std::uint8_t> settings = qsfx::encodeSettings(s.sfxValues);
    s.writer.prefix = std::move(stub);
    s.writer.prefix.insert(s.writer.prefix.end(), settings.begin(), settings.end());
    return true;
}

void ZipComponent::work(Run& run, Settings& s) {
    auto fail = [&](ZipResult code, std::string path) {
        run.result = code;
        run.errorPath = std::move(path);
    };
    try {
        // Renaming over a device or pipe (as root, "/dev/null") or a folder would
        // replace it with a regular file.
        FileInfo target;
        if (fs_->stat(s.zipFilename, target) == IoStatus::Ok && !target.isFile)
            return fail(ZipResult::TargetNotAFile, s.zipFilename);
        ScanResult scan = scanSources(*fs_, s.scan);
        run.skipped = std::move(scan.skipped);
        if (scan.code != ZipResult::Ok) return fail(scan.code, scan.path);
        if (scan.files.empty()) return fail(ZipResult::NothingToDo, s.scan.basePath);
        run.filesTotal = static_cast<std::uint32_t>(scan.files.size());
        for (const auto& f : scan.files) run.bytesTotal += f.size;
        if (!s.stubPath.empty()) {
            std::string path;
            if (const ZipResult r = checkSfxEntryNames(scan.files, path); r != ZipResult::Ok) return fail(r, path);
        }
        run.scanned = true;
        run.host->wake();
        if (!s.stubPath.empty()) {
            ZipResult r = ZipResult::Ok;
            std::string path;
            if (!buildSfxPrefix(*fs_, s, r, path)) return fail(r, path);
        }

        // The archive grows under a name of its own beside the target; the target is
        // touched only by the final rename.
        std::string temp;
        std::unique_ptr<WriteStream> out;
        // Outlives the guard: the file leaves the list only once it is gone or kept.
        std::optional<TemporaryRegistration> registered;
        struct TempGuard {
            FileAccess& fs;
            std::string& path;
            std::unique_ptr<WriteStream>& stream;
            bool keep = false;
            ~TempGuard() {
                if (keep || path.empty()) return;
                stream.reset();
                fs.remove(path);
            }
        } guard{*fs_, temp, out};
        IoStatus created = IoStatus::Exists;
        for (int attempt = 0; attempt < 8 && created == IoStatus::Exists; ++attempt) {
            temp = temporaryPathFor(s.zipFilename, randomToken());
            created = fs_->createNew(temp, out);
        }
        if (created != IoStatus::Ok) {
            temp.clear();
            return fail(created == IoStatus::DiskFull ? ZipResult::DiskFull : ZipResult::TargetNotWritable, s.zipFilename);
        }
        registered.emplace(temp);

        ArchiveWriter writer(*fs_, s.writer, run.progress, [&run] { run.notify(); }, &run.cancel);
        WriteResult w = writer.write(scan.files, *out);
        if (w.code == ZipResult::Ok) {
            IoStatus st = out->sync();
            IoStatus cl = out->close();
            if (st == IoStatus::Ok) st = cl;
            if (st != IoStatus::Ok) w = {st == IoStatus::DiskFull ? ZipResult::DiskFull : ZipResult::WriteFailed, s.zipFilename};
        }
        if (w.code == ZipResult::Ok) {
            if (IoStatus r = fs_->replace(temp, s.zipFilename); r != IoStatus::Ok)
                w = {r == IoStatus::AccessDenied ? ZipResult::TargetNotWritable : ZipResult::ReplaceFailed, s.zipFilename};
        }
        if (w.code != ZipResult::Ok) return fail(w.code, w.path.empty() ? s.zipFilename : w.path);
        guard.keep = true;
        registered.reset();

        if (!s.deleteZipped) return;
        // Only the entry that was listed goes, and only while it is as it was then (to
        // the nanosecond, and its status-change time): one changed meanwhile may hold
        // data that is not in the archive, and one put in its place was never archived.
        for (const auto& f : scan.files) {
            if (run.cancel.load() || fs_->removeSource(s.scan.basePath, f.relative, f.entryStamp) != IoStatus::Ok) {
                if (run.result == ZipResult::Ok) fail(ZipResult::SourcesKept, f.path);
            }
        }
    } catch (const std::bad_alloc&) {
        fail(ZipResult::OutOfMemory, {});
    } catch (...) {
        fail(ZipResult::Internal, {});
    }
}

}  // namespace zipcomp
