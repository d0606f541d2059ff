#pragma once
// One restore run over the drivers of a backup: each chosen driver's INF read for
// the machine's architecture, its layout rebuilt and checked in a staging folder of
// its own, and only then handed to the installer, one INF per call. Results come
// per driver; restart requests are gathered so that the caller asks once.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checksum_list.h"
#include "file_system.h"
#include "package_signature.h"
#include "restore_inf.h"
#include "restore_layout.h"

namespace qelvaro::restore {

enum class DriverStatus {
  Installed,      // in the driver store and on every present device it fits
  Staged,         // in the driver store; no device it fits is present
  NeedsRestart,   // installed; Windows finishes it after a restart
  Incomplete,     // files or the catalog missing from the backup: nothing installed
  Failed,         // refused by the system or unreadable; the code says why
  Unsupported,    // the INF has models for other architectures only
  Ready,          // checked and complete; a dry run stops here
};

// The status as one English word ("installed", "staged", "restart", "incomplete",
// "failed", "unsupported", "ready"): what the command line prints and the 64-bit
// installer's exchange files carry.
const char* DriverStatusName(DriverStatus status);

// What the platform's installer reports for one INF.
struct InstallOutcome {
  DriverStatus status = DriverStatus::Failed;
  unsigned long code = 0;     // Win32 or SetupAPI error code (0 when none)
  std::string systemText;     // the system's text for `code`
  std::string storedInf;      // the INF's name in the INF folder ("oem12.inf")
  int devicesUpdated = 0;
  int devicesKept = 0;  // present devices that keep an equal or better driver
};

// One staged file as Windows' own signature check looks it up in its catalog.
struct TrustMember {
  std::string name;    // its path in the package ("bin/x.sys")
  std::string path;    // the staged file
  // Raw, in the algorithm its catalog names members by: a PE image's Authenticode
  // hash, else the hash of all its bytes.
  std::string digest;
};

// What Windows itself says of a staged package's catalog and files.
struct WindowsTrust {
  unsigned long code = 0;  // 0 when it accepts every file; else its error (0x800B0109 ...)
  std::string file;        // the first file it refused, by its path in the package
  std::string systemText;  // the system's text for `code`
};

class DriverInstaller {
 public:
  virtual ~DriverInstaller() = default;
  // `stagedInf` is the INF in its rebuilt layout; `deviceIds` are the hardware and
  // compatible ids its models name for this architecture.
  virtual InstallOutcome install(const std::string& stagedInf, const std::vector<std::string>& deviceIds) = 0;
  // Windows' own verdict on the staged catalog and its members, asked before the
  // install; none where the platform cannot ask. Reported only: where it answers
  // without checking (Wine's stub), our own check still decides.
  virtual std::optional<WindowsTrust> verifyTrust(const std::string& /*stagedCatalog*/,
                                                  const std::vector<TrustMember>& /*members*/) {
    return std::nullopt;
  }
};

// What a restore does with a driver for its signature.
enum class SignatureVerdict {
  Install,             // signed, and the catalog covers every file
  InstallWithWarning,  // 32-bit Windows: it warns an administrator and installs
  Refuse,              // 64-bit Windows would refuse it: not installed
};

struct SignatureDecision {
  SignatureVerdict verdict = SignatureVerdict::Install;
  unsigned long code = 0;  // the error 64-bit Windows refuses it with (0xE000024B, 0xE000022F)
  std::string why;         // "x.sys: not in catalog x.cat", "the INF names no catalog"
};

// The one place where a driver's signature decides whether it is installed on `arch`:
// 64-bit Windows (amd64, arm64) refuses a package changed after it was signed
// (ERROR_FILE_HASH_NOT_IN_CATALOG) and a third-party package without a catalog
// (ERROR_NO_CATALOG_FOR_OEM_INF); 32-bit Windows warns and installs either.
SignatureDecision DecideSignature(const PackageSignature& signature, MachineArch arch);

// The decision in English, for a line: "not installed: ... (0xE000024B ...)", or the
// warning 32-bit Windows gives; "" when the driver is simply installed.
std::string DescribeSignatureDecision(const SignatureDecision& decision);

// A driver of the backup with what its INF says.
// Why a driver failed before the installer was asked.
enum class Problem {
  None,
  InfUnreadable,  // the INF could not be read (the text says why)
  InfTooLarge,    // larger than any driver INF, or no memory left to read it
  InfDeviceName,  // the INF's own name is a device name: never opened
  InfStyle,       // no [Version] section or a Signature Windows does not accept
  InfSyntax,      // a line Windows' INF parser cannot read (a section header without "]")
  NoModels,       // no [Manufacturer] section and no files: nothing to install
  BadName,        // a file or catalog with a name Windows cannot create
  UnsafePath,
  StagingFailed,
  Damaged,        // a file differs from the backup's checksum list, or is gone
  Link,           // a link in the backup at the driver's level or below: nothing followed
  Signature,      // unsigned, or changed after signing, where 64-bit Windows refuses it
};

struct RestoreItem {
  FoundDriver driver;
  InfPackage package;
  MachineArch arch = MachineArch::Amd64;  // the architecture the INF was read for
  bool readable = false;  // the INF could be read
  Problem unreadable = Problem::None;  // when it could not: why
  std::string problem;                 // ... in English, with the INF's name
  // The backup's checksum list, shared by its drivers; null for a backup made before
  // backups carried one (it restores unchecked). `sumsRoot` is the folder it covers.
  // A list that is there, or that backup.json names, but cannot be read whole (a
  // folder or device of its name, no access, gone, too large) is damage, never a
  // backup without checksums.
  std::shared_ptr<const std::vector<ChecksumEntry>> sums;
  std::string sumsRoot;
  bool sumsDamaged = false;  // the list itself cannot be read as one: nothing is trusted
  // backup.json records the driver as Windows' own (an in-box INF, which names no
  // catalog: Windows checks it against its system catalogs, and refuses it itself on
  // a Windows that does not bring it).
  bool recordedAsWindows = false;
  std::string description() const;  // the model that the folder is named after, else the first, else the folder
};

// The largest INF a restore reads: far above any real driver's (the largest printer
// INFs are a few megabytes), and small enough for a 32-bit process to parse.
constexpr std::uint64_t kMaxInfBytes = 16u << 20;

// Reads every driver's INF below `root` for `arch`, and the checksum list at `root`
// when the backup has one. An INF that cannot be read, is
// too large or has a device's name is that driver's failure; the others go on.
struct RestoreCatalog {
  DriverSearch search;
  std::vector<RestoreItem> items;
  // The architecture of the Windows the backup came from, as its backup.json says;
  // none for a backup without one.
  std::optional<MachineArch> backupArch;
  // The ANSI code page its backup.json names when this system has no decoder for it
  // (the ANSI INFs were then read in the file system's own); 0 otherwise.
  unsigned unreadableCodePage = 0;
};

// The platform's decoder from an ANSI code page to UTF-8 (AnsiDecoderForCodePage);
// null for a code page it cannot read.
using AnsiDecoderFor = std::function<std::function<std::string(std::string_view)>(unsigned codePage)>;

// The descriptions of the drivers whose INFs have models for other architectures only
// (the ones that cannot install on this machine).
std::vector<std::string> DriversNotForThisArch(const RestoreCatalog& catalog);
// ANSI INFs are read in `codePage` when it is not 0 (the user's --code-page), else in
// the code page backup.json records, through `decoderFor`; else (no decoderFor, a
// backup without one) in the file system's own.
RestoreCatalog LoadRestoreCatalog(const FileSystem& fs, const std::string& root, MachineArch arch,
                                  const AnsiDecoderFor& decoderFor = {}, unsigned codePage = 0);

struct DriverResult {
  DriverStatus status = DriverStatus::Failed;
  Problem problemKind = Problem::None;
  std::vector<std::string> missing;  // Incomplete: the files, by name
  std::vector<std::string> unsafe;   // Failed: INF paths refused
  std::vector<std::string> badNames; // Failed: paths with names Windows cannot create
  std::vector<std::string> damaged;  // Failed: files that differ from the checksum list, below the driver folder
  std::vector<std::string> links;    // Failed: the link met, relative to the backup's root
  std::string problem;               // Failed before the installer: what went wrong (English)
  InstallOutcome install;            // what the installer said, when it was asked
  bool installerCalled = false;
  std::string stagedInf;
  // The package's signature, once its files were staged (or, in a dry run, read), and
  // what it decides.
  std::optional<PackageSignature> signature;
  SignatureDecision signatureDecision;
  std::optional<WindowsTrust> windowsTrust;  // when the installer could ask Windows
};

// One driver: plan, check, stage into `stagingDir` (a fresh empty folder), install.
// `installer` may be null for a dry run, which stops after the check.
DriverResult RestoreDriver(FileSystem& fs, const RestoreItem& item, const std::string& stagingDir,
                           DriverInstaller* installer);

// The signature of the driver as it would be staged, its files read where they are in
// the backup: setup.exe's column before a run. None when its INF was not read, its
// layout is refused or a file cannot be read.
std::optional<PackageSignature> CheckDriverSignature(const FileSystem& fs, const RestoreItem& item);

bool StatusSucceeded(DriverStatus status);

// 0 when every driver was installed or staged, 3010 when one needs a restart and
// none failed, 1 when any failed, was incomplete or unsupported.
int RestoreExitCode(const std::vector<DriverStatus>& statuses);

// setup.exe's exit code, which the self-extracting package passes on (so these keep
// clear of the package's own 2 to 10): that of its last install run (RestoreExitCode),
// else why nothing was installed. A scripted run tells a close without installing
// from success.
constexpr int kSetupUnsupportedWindows = 50;        // ERROR_NOT_SUPPORTED: ARM64
constexpr int kSetupNoDrivers = 1168;               // ERROR_NOT_FOUND: none below the folder
constexpr int kSetupClosedWithoutInstalling = 1602; // ERROR_INSTALL_USEREXIT
constexpr int kSetupOutOfMemory = 14;               // ERROR_OUTOFMEMORY: the run could not go on
int SetupExitCode(bool supportedWindows, std::size_t driversFound, const std::vector<DriverStatus>* lastRun);

// The selection of `--driver TEXT`: a driver matches when TEXT occurs, without regard
// to ASCII case, in its description, class folder, driver folder or INF name.
bool DriverMatches(const RestoreItem& item, const std::string& text);

}  // namespace qelvaro::restore
