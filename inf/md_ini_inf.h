#pragma once
// The two read-only helpers the backup uses on a driver's INF file: one value, and
// the keys of one section. They keep no state and report nothing: a missing file,
// section or key gives the default (or the one empty key).

#include <optional>
#include <string>
#include <vector>

#include "file_system.h"
#include "ini_reader.h"

namespace qelvaro {

// Longest value handed back, in UTF-16 code units (a 750-character buffer with its NUL).
inline constexpr std::size_t kIniValueMaxChars = 749;

// The file read and decoded, or none when it cannot be read.
std::optional<IniDocument> LoadIniFile(const std::string& FileName, const FileSystem& fs);

// The value of `Key` in `Section`, or `Default` when there is none; cut to
// kIniValueMaxChars.
std::string ReadIniValue(const std::string& Section, const std::string& Key,
                         const std::string& FileName, const std::string& Default,
                         const FileSystem& fs);
std::string ReadIniValue(const IniDocument& doc, const std::string& Section,
                         const std::string& Key, const std::string& Default);

// The key of every entry of `Section`, in file order, duplicates kept; one empty
// key when the section yields none. The whole section is read: long source-file
// lists of printer drivers are never cut short.
std::vector<std::string> ReadIniSectionKeys(const std::string& Section, const std::string& FileName,
                                            const FileSystem& fs);
std::vector<std::string> ReadIniSectionKeys(const IniDocument& doc, const std::string& Section);

}  // namespace qelvaro
