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

// `bytesPercent` hears the progress (0 to 100) on the calling thread; `waitHost`
// decides how the calling thread waits (a window's message loop, or plain blocking
// when null). An exception out of the zip component comes back as a failure.
ZipOutcome PackBackupAsZip(const std::string& folder, const std::string& zipFile,
                           const std::function<void(std::int16_t bytesPercent)>& bytesPercent,
                           std::shared_ptr<zipcomp::WaitHost> waitHost);

// The packing every target shares, with `configure` adding what a target needs (the
// self-extractor's settings) before the component runs.
ZipOutcome PackBackup(const std::string& folder, const std::string& target,
                      const std::function<void(zipcomp::ZipComponent&)>& configure,
                      const std::function<void(std::int16_t bytesPercent)>& bytesPercent,
                      std::shared_ptr<zipcomp::WaitHost> waitHost);

}  // namespace qelvaro
