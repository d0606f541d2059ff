// Writes one zip archive from a list of files: compressed in parallel, written in order.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zipcomp/file_access.h"
#include "zipcomp/zip_errors.h"
#include "zipcomp/zip_format.h"

namespace zipcomp {

struct SourceFile {
    std::string path;       // for the file system
    std::string entryName;  // inside the archive, '/'-separated
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::string relative;   // below the base folder, '/'-separated
    FileStamp stamp;        // the file read, as listed (a link's target for a link)
    FileStamp entryStamp;   // the folder entry itself, as listed: what a move deletes
};

struct WriterOptions {
    int level = 6;  // 0 stores everything
    std::string password;
    // Files up to this size are read whole and compressed by libdeflate on the workers;
    // larger ones are streamed through zlib so that memory stays bounded.
    std::size_t inMemoryLimit = std::size_t{32} << 20;
    // Bytes of source data read ahead of the writer at most (one file may exceed it).
    std::size_t inFlightLimit = std::size_t{128} << 20;
    unsigned threads = 0;  // 0: one per core
    // Bytes the file starts with before the archive (a self-extractor and its settings).
    // Entry offsets count from the start of the file, so that readers need no guessing.
    std::vector<std::uint8_t> prefix;
};

// Shared with the thread that reports progress; only ever grows.
struct WriterProgress {
    std::atomic<std::uint64_t> bytesDone{0};
    std::atomic<std::uint64_t> bytesOutput{0};
    std::atomic<std::uint32_t> filesDone{0};
};

struct WriteResult {
    ZipResult code = ZipResult::Ok;
    std::string path;  // the file that caused the failure, if any
};

class ArchiveWriter {
public:
    ArchiveWriter(FileAccess& fs, WriterOptions options, WriterProgress& progress,
                  std::function<void()> onProgress = {}, const std::atomic<bool>* cancel = nullptr);

    // Writes the whole archive into `out`, which must be empty. On failure the stream
    // holds garbage; the caller discards it.
    WriteResult write(const std::vector<SourceFile>& files, WriteStream& out);

private:
    struct Prepared;
    class Sink;
    class CompressorPool;
    Prepared prepare(const SourceFile& f, CompressorPool& compressors, std::uint64_t random1,
                     std::uint64_t random2) const;
    WriteResult stream(const SourceFile& f, Sink& sink, std::uint64_t random1, std::uint64_t random2,
                       EntryRecord& rec);
    WriteResult streamPass(const SourceFile& f, Sink& sink, bool deflate, std::uint64_t random1,
                           std::uint64_t random2, EntryRecord& rec, std::uint32_t expectedCrc,
                           bool checkCrc);
    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    FileAccess& fs_;
    WriterOptions options_;
    WriterProgress& progress_;
    std::function<void()> onProgress_;
    const std::atomic<bool>* cancel_;
};

}  // namespace zipcomp
