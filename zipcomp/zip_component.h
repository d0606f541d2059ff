// The zip component the backup program drives: properties set before a run, Zip() to
// pack, GlobalStatus to follow the progress. Zip() blocks its caller but keeps it
// serving its WaitHost (a window program's message loop) and raises GlobalStatus on
// the caller's thread; the work itself runs on other threads.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zipcomp/file_access.h"
#include "zipcomp/source_scan.h"
#include "zipcomp/wait_host.h"
#include "zipcomp/zip_errors.h"

namespace zipcomp {

struct GlobalStatusArgs {
    std::int32_t lFilesTotal = 0;
    std::int32_t lFilesProcessed = 0;
    std::int32_t lFilesSkipped = 0;
    std::int16_t nFilesPercent = 0;
    // Byte counts are 64-bit here; a Long-typed boundary narrows them itself.
    std::int64_t lBytesTotal = 0;
    std::int64_t lBytesProcessed = 0;
    std::int64_t lBytesSkipped = 0;
    std::int16_t nBytesPercent = 0;
    std::int64_t lBytesOutput = 0;
    std::int16_t nCompressionRatio = 0;  // share of the input saved, 0 to 100
};

// Dialog texts of the self-extractor stub, kept for the package it builds.
enum class SfxMessage { Title, Confirm, Progress, Done, Failed, PasswordPrompt, Count };
inline constexpr std::size_t kSfxMessageCount = static_cast<std::size_t>(SfxMessage::Count);

class ZipComponent {
public:
    explicit ZipComponent(std::shared_ptr<FileAccess> fs = platformFileAccess());
    ZipComponent(const ZipComponent&) = delete;
    ZipComponent& operator=(const ZipComponent&) = delete;

    bool PreservePaths = true;
    bool DeleteZippedFiles = false;
    bool ProcessSubfolders = true;
    std::string BasePath;
    std::string FilesToProcess = "*.*";
    std::string ZipFilename;
    std::int32_t CompressionLevel = 6;
    std::string EncryptionPassword;

    std::string SfxDefaultPassword;
    std::string SfxBinaryModule;
    std::string SfxIconFilename;
    std::string SfxExecuteAfter;
    std::string SfxDefaultUnzipToFolder;
    bool SfxInstallMode = false;
    std::array<std::string, kSfxMessageCount> SfxMessages;

    std::function<void(const GlobalStatusArgs&)> GlobalStatus;

    void SfxClearMessages();
    // 0 on success, else a ZipResult code. Sources are deleted (DeleteZippedFiles) only
    // once the archive is complete on disk; on any failure the sources and an earlier
    // archive of the same name are left as they were.
    std::int32_t Zip();
    std::string GetErrorDescription(std::int16_t xType, std::int32_t lValue) const;

    // Links to files outside BasePath are packed, with their target's content, only
    // when true; otherwise they are left out and listed in lastSkipped().
    bool FollowLinks = false;
    // What the last run found below BasePath but did not pack (links to folders, pipes,
    // links that lead nowhere, links out of the folder), in the order found.
    const std::vector<SkippedEntry>& lastSkipped() const { return lastSkipped_; }

    void setWaitHost(std::shared_ptr<WaitHost> host);
    // The file behind the last failure, when there is one.
    const std::string& lastErrorPath() const { return lastErrorPath_; }

    // Tuning for tests and benchmarks; the defaults suit the program.
    void setInMemoryLimit(std::size_t bytes) { inMemoryLimit_ = bytes; }
    void setThreads(unsigned threads) { threads_ = threads; }

private:
    struct Run;
    struct Settings;
    void work(Run& run, Settings& s);
    static bool buildSfxPrefix(FileAccess& fs, Settings& s, ZipResult& code, std::string& path);

    std::shared_ptr<FileAccess> fs_;
    std::shared_ptr<WaitHost> host_;
    std::string lastErrorPath_;
    std::vector<SkippedEntry> lastSkipped_;
    std::size_t inMemoryLimit_ = std::size_t{32} << 20;
    unsigned threads_ = 0;
    bool running_ = false;
};

}  // namespace zipcomp
