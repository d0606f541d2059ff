// Builds small zip archives byte by byte for the self-extractor's tests: any entry name
// (hostile ones included), stored or deflated, optionally encrypted, with or without a
// data descriptor, with Zip64 records, and a prefix (a stub with its settings).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sfxtest {

struct BuildEntry {
    std::string name;
    std::string data;
    bool deflate = false;
    std::string password;  // empty: not encrypted
    bool descriptor = false;
    bool utf8Flag = true;
};

struct BuildOptions {
    std::string prefix;
    bool zip64 = false;          // Zip64 end records and extra fields
    bool relativeOffsets = false;  // offsets counted from the archive, not the file
    std::string trailing;        // bytes after the end record
};

std::string buildZip(const std::vector<BuildEntry>& entries, const BuildOptions& options = {});

// The settings block for a stub, from key/value pairs.
std::string settingsBlock(const std::vector<std::pair<std::string, std::string>>& values);

std::string deflateRaw(const std::string& data);

// The headers of a Windows program and nothing else: "MZ", the PE header, and an optional
// header (PE32, or PE32+) with all sixteen data directories, empty.
std::string peHeaders(bool pe32plus = false);

// Where the security directory (the fifth) of `program`'s headers is.
std::size_t securityDirectory(const std::string& program);

// `program` signed the way a signer lays it out: zeros up to 8 bytes, then a certificate
// table of one WIN_CERTIFICATE per DER body (each a SEQUENCE padded with zeros to 8
// bytes), which the security directory names.
std::string withCertificates(std::string program, const std::vector<std::string>& bodies);

}  // namespace sfxtest
