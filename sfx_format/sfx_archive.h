// The stub's archive reader: finds the zip archive at the end of the package, reads
// its central directory (Zip64 included), checks every entry name before anything is
// written, and unpacks one entry at a time (stored or deflated, with or without the
// traditional PKWARE encryption), checking its CRC. Portable and free of standard
// containers, so that it is tested and fuzzed natively and links small into the stub.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qsfx {

enum class Status : int {
    Ok = 0,
    Damaged,        // not an archive, truncated, inconsistent, or a CRC that does not match
    WrongPassword,  // the password does not open an encrypted entry
    UnsafeName,     // an entry name that could reach outside the unpack folder
    Unsupported,    // a compression method or encryption the stub does not know
    DiskFull,
    WriteFailed,
    NoMemory,
    DuplicateName,  // a second entry of a name already unpacked (a damaged archive's exit code)
};

class Input {
public:
    virtual ~Input() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly n bytes at `offset`; false when they are not all there.
    virtual bool readAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;
};

class Output {
public:
    virtual ~Output() = default;
    virtual Status write(const void* data, std::size_t n) = 0;
};

struct Entry {
    const char* name = nullptr;  // UTF-8, '/'-separated, without a final '/'
    std::size_t nameLength = 0;
    bool isFolder = false;
    bool encrypted = false;
    bool hasDescriptor = false;  // sizes after the data; the password check byte is from the time
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t dosDate = 0;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    std::uint64_t packedSize = 0;   // with the 12-byte encryption header
    std::uint64_t localOffset = 0;  // in the package file
    std::uint64_t dataOffset = 0;   // after the local header, checked against the central one
};

class Archive {
public:
    Archive() = default;
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Reads the archive at the end of `in`: its end record ends the file or, in a signed
    // program, the bytes the signature covers (the certificate table after it must hold
    // signatures only; anything else there is damage). Every entry is checked here: its name is safe, its
    // local header agrees with the central directory, and its data lies inside the
    // archive without overlapping another entry's.
    Status open(Input& in);
    std::size_t count() const { return count_; }
    const Entry& entry(std::size_t i) const { return entries_[i]; }
    // Where the first entry starts: whatever the package carries before the archive
    // (the stub and its settings) ends here.
    std::uint64_t start() const { return start_; }

    // Unpacks one entry into `out`, checking its CRC and its size.
    Status extract(Input& in, const Entry& e, const char* password, Output& out);

    // WrongPassword unless `password` passes the check byte of every encrypted entry.
    // One entry's byte lets a wrong password through once in 256 times, and its data then
    // reads as damage; all of them together almost never do.
    Status checkPassword(Input& in, const char* password);

    // Frees the entries and buffers (the stub does before it waits for a program).
    void close();

    // Entries up to this size are unpacked in memory in one go (the fastest way);
    // larger ones stream through zlib.
    void setWholeLimit(std::size_t bytes) { wholeLimit_ = bytes; }

private:
    Status readCentral(Input& in, std::uint64_t cdStart, std::uint64_t cdSize, std::uint64_t count,
                       std::int64_t shift);
    Status extractStored(Input& in, const Entry& e, std::uint64_t at, std::uint64_t packed, void* cipher,
                         Output& out);
    Status extractWhole(Input& in, const Entry& e, std::uint64_t at, std::uint64_t packed, void* cipher,
                        Output& out);
    Status extractStreamed(Input& in, const Entry& e, std::uint64_t at, std::uint64_t packed, void* cipher,
                           Output& out);
    bool reserve(std::uint8_t*& buf, std::size_t& cap, std::size_t n);

    Entry* entries_ = nullptr;
    std::size_t count_ = 0;
    char* names_ = nullptr;
    std::uint64_t start_ = 0;
    std::size_t wholeLimit_ = std::size_t{64} << 20;
    std::uint8_t* in_ = nullptr;
    std::size_t inCap_ = 0;
    std::uint8_t* out_ = nullptr;
    std::size_t outCap_ = 0;
    void* decompressor_ = nullptr;
};

}  // namespace qsfx
