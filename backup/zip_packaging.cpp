#include "zip_packaging.h"

#include <atomic>
#include <exception>
#include <new>

#include "backup_texts.h"
#include "backup_report.h"
#include "zipcomp/zip_component.h"

namespace qelvaro {

bool ZipOutcome::archiveComplete() const {
  return code == 0 || code == static_cast<std::int32_t>(zipcomp::ZipResult::SourcesKept);
}

namespace {

std::atomic<bool> inEnglish{false};

ZipOutcome pack(const std::string& folder, const std::string& zipFile,
                const std::function<void(zipcomp::ZipComponent&)>& configure,
                const std::function<void(std::int16_t)>& bytesPercent, std::shared_ptr<zipcomp::WaitHost> waitHost) {
  zipcomp::ZipComponent zip;
  zip.PreservePaths = true;
  zip.DeleteZippedFiles = true;
  zip.ProcessSubfolders = true;
  zip.BasePath = folder;
  zip.FilesToProcess = "*.*";
  zip.ZipFilename = zipFile;
  zip.CompressionLevel = 6;
  if (configure) configure(zip);
  if (bytesPercent) {
    zip.GlobalStatus = [&bytesPercent](const zipcomp::GlobalStatusArgs& a) { bytesPercent(a.nBytesPercent); };
  }
  zip.setWaitHost(std::move(waitHost));
  ZipOutcome outcome;
  outcome.code = zip.Zip();
  if (outcome.code != 0) {
    outcome.description = inEnglish ? std::string(zipcomp::errorDescriptionEnglish(outcome.code))
                                    : zip.GetErrorDescription(0, outcome.code);
    // A name the package's stub would refuse is about one file: say which.
    const auto why = static_cast<zipcomp::ZipResult>(outcome.code);
    if ((why == zipcomp::ZipResult::SfxNameRefused || why == zipcomp::ZipResult::SfxNameClash) &&
        !zip.lastErrorPath().empty()) {
      outcome.description += ": " + zip.lastErrorPath();
    }
  }
  return outcome;
}

}  // namespace

void DescribePackingInEnglish(bool english) { inEnglish = english; }

ZipOutcome PackBackupAsZip(const std::string& folder, const std::string& zipFile,
                           const std::function<void(std::int16_t)>& bytesPercent,
                           std::shared_ptr<zipcomp::WaitHost> waitHost) {
  return PackBackup(folder, zipFile, nullptr, bytesPercent, std::move(waitHost));
}

ZipOutcome PackBackup(const std::string& folder, const std::string& target,
                      const std::function<void(zipcomp::ZipComponent&)>& configure,
                      const std::function<void(std::int16_t)>& bytesPercent,
                      std::shared_ptr<zipcomp::WaitHost> waitHost) {
  // The component stops its work before an exception leaves it (a thread that cannot
  // start, memory, a throwing wait): the run failed and nothing was deleted.
  ZipOutcome outcome;
  try {
    return pack(folder, target, configure, bytesPercent, std::move(waitHost));
  } catch (const std::bad_alloc&) {
    outcome.code = static_cast<std::int32_t>(zipcomp::ZipResult::OutOfMemory);
    outcome.description = inEnglish ? "out of memory" : FormatText(texts::kZipCrashed, {texts::kOutOfMemory});
  } catch (const std::exception& e) {
    outcome.code = static_cast<std::int32_t>(zipcomp::ZipResult::Internal);
    outcome.description = inEnglish ? std::string("the zip component failed: ") + e.what()
                                    : FormatText(texts::kZipCrashed, {e.what()});
  }
  return outcome;
}

}  // namespace qelvaro
