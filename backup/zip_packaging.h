#pragma once
// Packs a backup root into one Zip file: every file below it, with the class and
// driver folders in the entry names, at level 6. The files that went into the
// archive are deleted once it is complete; nothing is deleted when it fails.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zipcomp/wait_host.h"

namespace zipcomp {
class ZipComponent;
}

namespace qelvaro {

struct ZipOutcome {
  std::int32_t code = 0;    // the zip component's result, 0 on success
  std::string description;  // its description of a failure
  bool ok() const { return code == 0; }
  // The archive is whole on disk: a success, or one whose sources could not all be
  // deleted afterwards (they stay in the folder).
  bool archiveComplete() const;
};

// The language of ZipOutcome::description: Chinese, for the window's message boxes,
// unless the process speaks English (the command line says so once at its start).
void DescribePackingInEnglish(bool english);

// What one packing run sets on the zip component: every target packs every file
// below `folder`, with its folders in the entry names, at level 6, and deletes what
// went in once the archive is complete. A self-extracting package adds the stub and
// its settings.
struct PackSettings {
  std::string folder;
  std::string target;
  std::string password;  // empty: no encryption
  // The self-extractor; an empty stub packs a plain Zip file.
  std::string sfxStub;
  std::string sfxIcon;  // empty: the stub keeps its own
  std::string sfxDefaultPassword;
  std::string sfxRunAfter;
  std::string sfxUnzipTo;
};

using BytesPercent = std::function<void(std::int16_t bytesPercent)>;

// Runs the zip component on `settings`: the one linked into the program (the
// default), or another host of the same component (the zip component's DLL, which
// the window loads). `bytesPercent` hears the progress on the calling thread.
using ZipRunner = std::function<ZipOutcome(const PackSettings& settings, const BytesPercent& bytesPercent)>;

// The description of the component's result `code` (in the language above); `path`
// names the file a refused entry name is about, when there is one.
std::string DescribeZipResult(std::int32_t code, const std::string& path);

// The component linked into the program; `waitHost` decides how the calling thread
// waits (a window's message loop, or plain blocking when null). An exception out of
// the component comes back as a failure.
ZipOutcome RunLinkedZipComponent(const PackSettings& settings, const BytesPercent& bytesPercent,
                                 std::shared_ptr<zipcomp::WaitHost> waitHost);

// Packs `folder` into the Zip file `zipFile`, through `runner` when one is given.
ZipOutcome PackBackupAsZip(const std::string& folder, const std::string& zipFile, const BytesPercent& bytesPercent,
                           std::shared_ptr<zipcomp::WaitHost> waitHost, const ZipRunner& runner = {});

}  // namespace qelvaro
