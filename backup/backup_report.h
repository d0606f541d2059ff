#pragma once
// What the main window tells the user after a backup, in Chinese: the end message,
// which names up to ten drivers with problems, and the full report written beside
// the backup (every driver, each file with its source or why it is missing).

#include <string>
#include <string_view>
#include <vector>

#include "backup_collector.h"
#include "backup_manifest.h"
#include "checksum_list.h"
#include "file_system.h"
#include "base/format_text.h"

namespace qelvaro {

// Why a file operation failed, for the user ("拒绝访问 (错误 5)").
std::string DescribeFsResultForUser(const FsResult& result);

// One line naming the driver and everything that went wrong with it; empty when
// nothing did.
std::string DriverProblemLine(const DriverReport& report);

// The short text a window shows for a signature's kind ("微软 WHQL 认证", "未签名", ...).
std::string SignatureKindText(SignatureKind kind);
// The signature column of a driver list: the signer's name, or 未签名 / 签名已损坏.
std::string SignatureColumnText(const PackageSignature& signature);

// Where the report of a backup goes: beside the backup root, never inside it (the
// root is what gets packed).
std::string BackupReportPath(const std::string& backupRoot);

// The report: UTF-8 with a byte-order mark and CRLF line ends, so that Notepad reads it.
// With `origin`, it names the source machine's architecture and Windows version and
// the checksum list the backup carries.
std::string BackupReportText(const BackupResult& result, const BackupOrigin* origin = nullptr);

// What reading the backup back found, for the end message: how many files were
// checked, or (up to ten) those that do not match. `error` when it could not be read.
std::string VerifyEndText(std::size_t filesChecked, const std::vector<VerifyIssue>& issues, const std::string& error,
                          std::size_t unsignedOn64Bit = 0);

// How the run ended, besides the collection itself.
struct BackupEnd {
  std::string reportPath;               // where the report is; empty when none was written
  std::string reportError;              // why it could not be written, when it could not
  std::string zipFile;                  // the archive, when one was made
  std::vector<std::string> keptSources; // files the archive holds but that stayed in the root
  std::string note;                     // a last line (a temporary folder left behind)
};

// The end message. Success only when every ticked driver was backed up whole.
std::string BackupEndMessage(const BackupResult& result, const BackupEnd& end);

// What lies below a folder, found without going through links, as full paths in
// listing order.
struct FolderContents {
  std::vector<std::string> files;
  std::vector<std::string> links;  // symbolic links and junctions, files and folders alike
  std::vector<std::pair<std::string, FsResult>> unlisted;  // folders that could not be listed, and why
  // Entries whose names differ only in case from another's in their folder (as Windows
  // compares names), each with that other's name; neither is among the files.
  std::vector<std::pair<std::string, std::string>> twins;
};
FolderContents FilesBelow(const std::string& folder, const FileSystem& fs);

}  // namespace qelvaro
