#include "zipcomp/archive_writer.h"

#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <random>

#include <libdeflate.h>
#include <zlib.h>

#include "sfx_format/pkware_crypt.h"
#include "zipcomp/worker_pool.h"

namespace zipcomp {
namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;
// A streamed file at least this big gets the Zip64 field in its local header up front,
// with room to grow a little while it is read.
constexpr std::uint64_t kReserveZip64From = 0xF0000000u;

ZipResult readFailure(IoStatus s) {
    if (s == IoStatus::NotFound) return ZipResult::SourceVanished;
    // A pipe or device in the place of a listed file.
    if (s == IoStatus::NotAFile || s == IoStatus::Changed) return ZipResult::SourceChanged;
    return ZipResult::SourceUnreadable;
}

// Opens a listed file and makes sure it is the one listed: a folder swapped for a link
// since the listing would otherwise put a file from elsewhere into the archive.
IoStatus openListed(FileAccess& fs, const SourceFile& f, std::unique_ptr<ReadStream>& in) {
    if (IoStatus s = fs.openRead(f.path, in); s != IoStatus::Ok) return s;
    if (f.stamp == FileStamp{}) return IoStatus::Ok;  // not from a listing
    FileStamp now;
    if (IoStatus s = in->stamp(now); s != IoStatus::Ok) return s;
    return now.sameFile(f.stamp) ? IoStatus::Ok : IoStatus::Changed;
}

ZipResult writeFailure(IoStatus s) {
    return s == IoStatus::DiskFull ? ZipResult::DiskFull : ZipResult::WriteFailed;
}

std::uint64_t splitmix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace

// Compressors are costly to set up, so workers borrow them from here and give them back.
// (A thread_local cache would be simpler, but mingw runs thread_local destructors after
// freeing the storage they work on.)
class ArchiveWriter::CompressorPool {
public:
    explicit CompressorPool(int level) : level_(level) {}
    CompressorPool(const CompressorPool&) = delete;
    CompressorPool& operator=(const CompressorPool&) = delete;
    ~CompressorPool() {
        for (auto* c : free_) libdeflate_free_compressor(c);
    }

    class Lease {
    public:
        Lease(CompressorPool& pool) : pool_(pool), c_(pool.take()) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease() {
            if (c_) pool_.give(c_);
        }
        libdeflate_compressor* get() const { return c_; }

    private:
        CompressorPool& pool_;
        libdeflate_compressor* c_;
    };

private:
    libdeflate_compressor* take() {
        {
            std::lock_guard lock(mutex_);
            if (!free_.empty()) {
                auto* c = free_.back();
                free_.pop_back();
                return c;
            }
        }
        return libdeflate_alloc_compressor(level_);
    }
    void give(libdeflate_compressor* c) {
        std::lock_guard lock(mutex_);
        free_.push_back(c);
    }
    int level_;
    std::mutex mutex_;
    std::vector<libdeflate_compressor*> free_;
};

// Buffers output and remembers the first failure; later writes do nothing.
class ArchiveWriter::Sink {
public:
    Sink(WriteStream& out, WriterProgress& progress) : out_(out), progress_(progress) { buf_.reserve(kChunk); }

    void write(const void* data, std::size_t n) {
        if (status_ != IoStatus::Ok) return;
        auto p = static_cast<const std::uint8_t*>(data);
        if (buf_.size() + n > kChunk) flush();
        if (n >= kChunk) {
            if (status_ == IoStatus::Ok) status_ = out_.write(p, n);
        } else {
            buf_.insert(buf_.end(), p, p + n);
        }
        position_ += n;
        progress_.bytesOutput.store(position_, std::memory_order_relaxed);
    }
    void write(const std::vector<std::uint8_t>& v) { write(v.data(), v.size()); }

    void writeAt(std::uint64_t offset, const std::vector<std::uint8_t>& v) {
        flush();
        if (status_ == IoStatus::Ok) status_ = out_.writeAt(offset, v.data(), v.size());
    }

    void truncate(std::uint64_t size) {
        flush();
        if (status_ == IoStatus::Ok) status_ = out_.truncate(size);
        position_ = size;
    }

    void flush() {
        if (status_ == IoStatus::Ok && !buf_.empty()) status_ = out_.write(buf_.data(), buf_.size());
        buf_.clear();
    }

    std::uint64_t position() const { return position_; }
    IoStatus status() const { return status_; }

private:
    WriteStream& out_;
    WriterProgress& progress_;
    std::vector<std::uint8_t> buf_;
    std::uint64_t position_ = 0;
    IoStatus status_ = IoStatus::Ok;
};

struct ArchiveWriter::Prepared {
    ZipResult code = ZipResult::Ok;
    Method method = Method::Stored;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    std::vector<std::uint8_t> data;  // what follows the local header
};

ArchiveWriter::ArchiveWriter(FileAccess& fs, WriterOptions options, WriterProgress& progress,
                             std::function<void()> onProgress, const std::atomic<bool>* cancel)
    : fs_(fs), options_(std::move(options)), progress_(progress), onProgress_(std::move(onProgress)),
      cancel_(cancel) {}

ArchiveWriter::Prepared ArchiveWriter::prepare(const SourceFile& f, CompressorPool& compressors,
                                               std::uint64_t random1, std::uint64_t random2) const {
    Prepared p;
    std::unique_ptr<ReadStream> in;
    if (IoStatus s = openListed(fs_, f, in); s != IoStatus::Ok) {
        p.code = readFailure(s);
        return p;
    }
    // Read a little past the listed size so that a file that grew since the listing is
    // archived as it is now rather than cut short.
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(f.size) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == raw.size()) {
            if (raw.size() > options_.inMemoryLimit * 2) {
                p.code = ZipResult::SourceChanged;
                return p;
            }
            raw.resize(raw.size() * 2);
        }
        std::size_t n = 0;
        if (IoStatus s = in->read(raw.data() + got, raw.size() - got, n); s != IoStatus::Ok) {
            p.code = readFailure(s);
            return p;
        }
        if (n == 0) break;
        got += n;
    }
    raw.resize(got);
    p.size = got;
    p.crc = libdeflate_crc32(0, raw.data(), raw.size());

    std::size_t header = options_.password.empty() ? 0 : PkwareCipher::kHeaderSize;
    if (options_.level > 0 && got > 0) {
        CompressorPool::Lease lease(compressors);
        libdeflate_compressor* c = lease.get();
        if (!c) {
            p.code = ZipResult::OutOfMemory;
            return p;
        }
        // An output buffer no larger than the input: libdeflate gives up (returns 0)
        // exactly when compression would not shrink the file, and Store is used.
        p.data.resize(header + got);
        std::size_t n = libdeflate_deflate_compress(c, raw.data(), got, p.data.data() + header, got - 1);
        if (n > 0) {
            p.data.resize(header + n);
            p.method = Method::Deflated;
        }
    }
    if (p.method == Method::Stored) {
        if (header == 0) {
            p.data = std::move(raw);
        } else {
            p.data.resize(header + got);
            std::copy(raw.begin(), raw.end(), p.data.begin() + static_cast<std::ptrdiff_t>(header));
        }
    }
    if (header) {
        PkwareCipher cipher(options_.password);
        auto h = cipher.makeHeader(random1, random2, p.crc);
        std::copy(h.begin(), h.end(), p.data.begin());
        cipher.encrypt(p.data.data() + header, p.data.size() - header);
    }
    return p;
}

WriteResult ArchiveWriter::streamPass(const SourceFile& f, Sink& sink, bool deflate, std::uint64_t random1,
                                      std::uint64_t random2, EntryRecord& rec, std::uint32_t expectedCrc,
                                      bool checkCrc) {
    std::unique_ptr<ReadStream> in;
    if (IoStatus s = openListed(fs_, f, in); s != IoStatus::Ok) return {readFailure(s), f.path};

    std::unique_ptr<PkwareCipher> cipher;
    std::uint64_t written = 0;
    if (!options_.password.empty()) {
        cipher = std::make_unique<PkwareCipher>(options_.password);
        auto h = cipher->makeHeader(random1, random2, expectedCrc);
        sink.write(h.data(), h.size());
        written += h.size();
    }
    auto emit = [&](std::uint8_t* data, std::size_t n) {
        if (cipher) cipher->encrypt(data, n);
        sink.write(data, n);
        written += n;
    };

    z_stream z{};
    struct ZEnd {
        z_stream* z;
        bool active;
        ~ZEnd() {
            if (active) deflateEnd(z);
        }
    } zend{&z, false};
    if (deflate) {
        if (deflateInit2(&z, options_.level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return {ZipResult::OutOfMemory, f.path};
        zend.active = true;
    }

    std::vector<std::uint8_t> inBuf(kChunk), outBuf(kChunk);
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    bool eof = false;
    while (!eof) {
        if (cancelled()) return {ZipResult::Cancelled, {}};
        std::size_t n = 0;
        if (IoStatus s = in->read(inBuf.data(), inBuf.size(), n); s != IoStatus::Ok) return {readFailure(s), f.path};
        eof = n == 0;
        crc = libdeflate_crc32(crc, inBuf.data(), n);
        size += n;
        progress_.bytesDone.fetch_add(n, std::memory_order_relaxed);
        if (!deflate) {
            emit(inBuf.data(), n);
        } else {
            z.next_in = inBuf.data();
            z.avail_in = static_cast<uInt>(n);
            do {
                z.next_out = outBuf.data();
                z.avail_out = static_cast<uInt>(outBuf.size());
                int rc = ::deflate(&z, eof ? Z_FINISH : Z_NO_FLUSH);
                if (rc == Z_STREAM_ERROR) return {ZipResult::Internal, f.path};
                emit(outBuf.data(), outBuf.size() - z.avail_out);
            } while (z.avail_out == 0);
        }
        if (sink.status() != IoStatus::Ok) return {writeFailure(sink.status()), {}};
        if (onProgress_) onProgress_();
    }
    if (checkCrc && crc != expectedCrc) return {ZipResult::SourceChanged, f.path};
    rec.method = deflate ? Method::Deflated : Method::Stored;
    rec.crc = crc;
    rec.size = size;
    rec.compressedSize = written;
    return {};
}

WriteResult ArchiveWriter::stream(const SourceFile& f, Sink& sink, std::uint64_t random1, std::uint64_t random2,
                                  EntryRecord& rec) {
    rec.zip64Sizes = f.size >= kReserveZip64From;
    bool encrypted = !options_.password.empty();
    // The encryption header carries a byte of the CRC, so an encrypted file is read once
    // for its CRC before it is written; the write pass must then see the same bytes.
    std::uint32_t crc = 0;
    if (encrypted) {
        std::unique_ptr<ReadStream> in;
        if (IoStatus s = openListed(fs_, f, in); s != IoStatus::Ok) return {readFailure(s), f.path};
        std::vector<std::uint8_t> buf(kChunk);
        for (;;) {
            if (cancelled()) return {ZipResult::Cancelled, {}};
            std::size_t n = 0;
            if (IoStatus s = in->read(buf.data(), buf.size(), n); s != IoStatus::Ok) return {readFailure(s), f.path};
            if (n == 0) break;
            crc = libdeflate_crc32(crc, buf.data(), n);
        }
    }

    const std::uint64_t headerOffset = sink.position();
    sink.write(localHeader(rec));
    const std::uint64_t dataOffset = sink.position();
    const std::uint64_t doneBefore = progress_.bytesDone.load();

    bool deflate = options_.level > 0;
    WriteResult r = streamPass(f, sink, deflate, random1, random2, rec, crc, encrypted);
    if (r.code != ZipResult::Ok) return r;
    std::uint64_t payload = rec.compressedSize - (encrypted ? PkwareCipher::kHeaderSize : 0);
    if (deflate && payload >= rec.size) {
        // Did not shrink: start the entry's data again, stored. The second read must
        // give the same bytes as the first.
        sink.truncate(dataOffset);
        progress_.bytesDone.store(doneBefore);
        std::uint32_t firstCrc = rec.crc;
        r = streamPass(f, sink, false, random1, random2, rec, firstCrc, true);
        if (r.code != ZipResult::Ok) return r;
    }
    // A file that grew past 4 GiB while it was read no longer fits the header written
    // for it.
    if (!rec.zip64Sizes && needsZip64Sizes(rec)) return {ZipResult::SourceChanged, f.path};
    sink.writeAt(headerOffset, localHeader(rec));
    if (sink.status() != IoStatus::Ok) return {writeFailure(sink.status()), {}};
    return {};
}

WriteResult ArchiveWriter::write(const std::vector<SourceFile>& files, WriteStream& out) {
    Sink sink(out, progress_);
    if (!options_.prefix.empty()) sink.write(options_.prefix);
    std::random_device rd;
    const std::uint64_t seed = (std::uint64_t{rd()} << 32) ^ rd();
    std::vector<EntryRecord> records;
    records.reserve(files.size());

    struct Slot {
        std::future<Prepared> result;
        bool streamed = false;
        std::uint64_t bytes = 0;
    };
    std::deque<Slot> window;
    std::atomic<bool> abandon{false};
    CompressorPool compressors(options_.level);
    WorkerPool pool(options_.threads);  // declared last: joined before what its jobs use goes away
    const std::size_t maxJobs = std::size_t{64} * pool.size();
    std::size_t next = 0;
    std::uint64_t inFlight = 0;

    auto refill = [&] {
        while (next < files.size() && window.size() < maxJobs) {
            const SourceFile& f = files[next];
            bool streamed = f.size > options_.inMemoryLimit;
            std::uint64_t bytes = streamed ? 0 : f.size;
            if (!window.empty() && inFlight + bytes > options_.inFlightLimit) break;
            Slot slot{{}, streamed, bytes};
            if (!streamed) {
                auto promise = std::make_shared<std::promise<Prepared>>();
                slot.result = promise->get_future();
                std::uint64_t r1 = splitmix(seed + 2 * next), r2 = splitmix(seed + 2 * next + 1);
                pool.submit([this, &f, &abandon, &compressors, promise, r1, r2] {
                    Prepared p;
                    if (abandon.load(std::memory_order_relaxed) || cancelled()) {
                        p.code = ZipResult::Cancelled;
                    } else {
                        try {
                            p = prepare(f, compressors, r1, r2);
                        } catch (const std::bad_alloc&) {
                            p = Prepared{};
                            p.code = ZipResult::OutOfMemory;
                        }
                    }
                    promise->set_value(std::move(p));
                });
            }
            inFlight += bytes;
            window.push_back(std::move(slot));
            ++next;
        }
    };
    auto fail = [&](WriteResult r) {
        abandon = true;
        return r;
    };

    for (std::size_t i = 0; i < files.size(); ++i) {
        refill();
        Slot slot = std::move(window.front());
        window.pop_front();
        inFlight -= slot.bytes;
        if (cancelled()) return fail({ZipResult::Cancelled, {}});

        const SourceFile& f = files[i];
        EntryRecord rec;
        rec.name = f.entryName;
        rec.mtime = f.mtime;
        rec.encrypted = !options_.password.empty();
        rec.localOffset = sink.position();
        if (slot.streamed) {
            WriteResult r = stream(f, sink, splitmix(seed + 2 * i), splitmix(seed + 2 * i + 1), rec);
            if (r.code != ZipResult::Ok) return fail(r);
        } else {
            Prepared p = slot.result.get();
            if (p.code != ZipResult::Ok) return fail({p.code, f.path});
            rec.method = p.method;
            rec.crc = p.crc;
            rec.size = p.size;
            rec.compressedSize = p.data.size();
            sink.write(localHeader(rec));
            sink.write(p.data);
            progress_.bytesDone.fetch_add(f.size, std::memory_order_relaxed);
        }
        if (sink.status() != IoStatus::Ok) return fail({writeFailure(sink.status()), {}});
        records.push_back(std::move(rec));
        progress_.filesDone.fetch_add(1, std::memory_order_relaxed);
        if (onProgress_) onProgress_();
    }

    const std::uint64_t centralOffset = sink.position();
    std::vector<std::uint8_t> central;
    for (const auto& rec : records) {
        appendCentralHeader(central, rec);
        if (central.size() >= kChunk) {
            sink.write(central);
            central.clear();
        }
    }
    sink.write(central);
    std::vector<std::uint8_t> end;
    appendEnd(end, records.size(), centralOffset, sink.position() - centralOffset);
    sink.write(end);
    sink.flush();
    if (sink.status() != IoStatus::Ok) return fail({writeFailure(sink.status()), {}});
    return {};
}

}  // namespace zipcomp
