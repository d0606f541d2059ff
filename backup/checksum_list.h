#pragma once
// SHA256SUMS, the checksum list at the root of every backup, in the format sha256sum
// writes and reads: lower-case hex, two blanks, the path relative to the root with
// forward slashes, UTF-8, one line per file, sorted. `sha256sum -c SHA256SUMS` checks
// a folder backup on Linux; on Windows `certutil -hashfile FILE SHA256` (Windows 7) or
// Get-FileHash give the same sums to compare by hand.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup_collector.h"
#include "file_hashes.h"
#include "file_system.h"

namespace qelvaro {

inline constexpr char kChecksumListName[] = "SHA256SUMS";

// The largest list read, as an archive's is: far above any backup's (a line per file),
// and small enough for a 32-bit process to hold with its entries.
inline constexpr std::uint64_t kMaxChecksumListBytes = std::uint64_t{64} << 20;
// The longest line of a list: a sum, two blanks and the longest path Windows has
// (32,767 UTF-16 units, at most three bytes each in UTF-8), with a CR.
inline constexpr std::size_t kMaxChecksumLineBytes = 64 + 2 + 32767 * 3 + 1;

struct ChecksumEntry {
  std::string path;    // relative to the backup root, "/" between the parts
  std::string sha256;  // 64 lower-case hex digits
};

// The list's text, sorted by path (byte order, as sort does in the C locale).
std::string ChecksumListText(std::vector<ChecksumEntry> entries);

// The entries of a list as sha256sum reads it (a "*" before the name, the binary
// mark, is allowed; so are CRLF line ends and a last line without one). None, with
// the line named in `error`, when a line is not a sum or is longer than any line of a
// list, or a path could reach outside the root or names a file twice.
std::optional<std::vector<ChecksumEntry>> ParseChecksumList(std::string_view text, std::string& error);

// The list at a backup's root, read up to kMaxChecksumListBytes. `top` is the root's
// listing, which tells a list that is absent from one that is there but cannot be read
// (a folder of that name, no access): only the first is a backup made without checksums.
struct ChecksumListFile {
  enum class State { Absent, Unreadable, TooLarge, Read };
  State state = State::Absent;
  std::string text;         // Read: the whole list
  std::uint64_t size = 0;   // TooLarge: the file's size
  FsResult why;             // Unreadable: the reason
};
ChecksumListFile ReadChecksumListFile(const FileSystem& fs, const std::string& root, const DirListing& top);

// Writes SHA256SUMS into `root`, covering every file below it but itself: the sums the
// collector took while copying, and for the files it did not copy (the restore program
// of a package, files already there) sums read now. Written last, after every file is
// closed. On failure `failedPath` names the file that could not be read or written, or
// the folder that could not be listed, or a link in the backup (FsError::Link): a list
// that left out what it could not see would seal a backup that is not whole.
FsResult WriteBackupChecksums(FileSystem& fs, const std::string& root, const BackupResult& result,
                              std::string& failedPath);

enum class VerifyIssueKind {
  Missing,     // in the list, not in the backup
  Changed,     // its sum (or an archive's CRC) does not match
  Unexpected,  // in the backup, not in the list
  Unreadable,  // could not be read to the end (a folder: could not be listed)
  Link,        // a symbolic link or junction: never followed, so never checked
  Duplicate,   // its name differs only in case from another's in its folder (`detail`)
  Signature,   // Windows would refuse the driver's signature: `detail` says why
};

struct VerifyIssue {
  VerifyIssueKind kind;
  std::string path;    // relative to the backup root, "/" between the parts
  std::string detail;  // why it could not be read, when it could not
};

// Issues in path order; issues of one path keep the order they were found in.
void SortIssuesByPath(std::vector<VerifyIssue>& issues);

// The driver a path belongs to: its class and driver folders ("Display/Acme GPU"),
// or the file itself for a file at the root.
std::string DriverOfPath(const std::string& path);

// Hears each file as it is checked (a window lets its messages run).
using VerifyProgress = void (*)(void* context);

// The issues of the files the checksum list names below `prefix` ("Display/Acme GPU/",
// empty for all) in the folder `root`, with the files below it the list does not name
// (those below `prefix`, or all with an empty prefix). `checked` counts the files read.
// Links, folders that cannot be listed and names that fold like another's are issues
// too; a list entry below one of them is not also called missing. With `readBack`, each
// file read also gets the hashes a driver catalog names files by, and the files it
// picks are kept whole, all in the same read: what is checked afterwards is what was
// read, never a file read again (and perhaps swapped meanwhile).
struct FolderReadBack {
  std::map<std::string, FileHashes> hashes;  // every file read whole, by its path in the list
  std::map<std::string, std::string> kept;   // the picked files' bytes, up to keepLimit each
  std::function<bool(const std::string& path)> keep;
  std::size_t keepLimit = 0;
};
std::vector<VerifyIssue> CompareFolderWithList(const FileSystem& fs, const std::string& root,
                                               const std::vector<ChecksumEntry>& list,
                                               const std::string& prefix, std::size_t& checked,
                                               VerifyProgress progress = nullptr, void* context = nullptr,
                                               FolderReadBack* readBack = nullptr);

}  // namespace qelvaro
