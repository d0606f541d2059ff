#include "zip_packaging.h"

#include <atomic>
#include <exception>
#include <new>

#include "backup_texts.h"
#include "backup_report.h"
#include "zipcomp/zip_component.h"
#include "zipcomp/zip_errors.h"

namespace qelvaro {

bool ZipOutcome::archiveComplete() const {
  return code == 0 || code == static_cast<std::int32_t>(zipcomp::ZipResult::SourcesKept);
}

namespace {

std::atomic<bool> inEnglish{false};

ZipOutcome pack(const PackSettings& settings, const BytesPercent& bytesPercent,
                std::shared_ptr<zipcomp::WaitHost> waitHost) {
  zipcomp::ZipComponent zip;
  zip.PreservePaths = true;
  zip.DeleteZippedFiles = true;
  zip.ProcessSubfolders = true;
  zip.BasePath = settings.folder;
  zip.FilesToProcess = "*.*";
  zip.ZipFilename = settings.target;
  zip.CompressionLevel = 6;
  zip.EncryptionPassword = settings.password;
  if (!settings.sfxStub.empty()) {
    zip.SfxDefaultPassword = settings.sfxDefaultPassword;
    zip.SfxBinaryModule = settings.sfxStub;
    zip.SfxIconFilename = settings.sfxIcon;
    zip.SfxExecuteAfter = settings.sfxRunAfter;
    zip.SfxDefaultUnzipToFolder = settings.sfxUnzipTo;
    zip.SfxInstallMode = true;
    zip.SfxClearMessages();
  }
  if (bytesPercent) {
    zip.GlobalStatus = [&bytesPercent](const zipcomp::GlobalStatusArgs& a) { bytesPercent(a.nBytesPercent); };
  }
  zip.setWaitHost(std::move(waitHost));
  ZipOutcome outcome;
  outcome.code = zip.Zip();
  if (outcome.code != 0) outcome.description = DescribeZipResult(outcome.code, zip.lastErrorPath());
  return outcome;
}

}  // namespace

void DescribePackingInEnglish(bool english) { inEnglish = english; }

std::string DescribeZipResult(std::int32_t code, const std::string& path) {
  std::string description = inEnglish ? std::string(zipcomp::errorDescriptionEnglish(code))
                                      : zipcomp::errorDescription(0, code);
  // A name the package's stub would refuse is about one file: say which.
  const auto why = static_cast<zipcomp::ZipResult>(code);
  if ((why == zipcomp::ZipResult::SfxNameRefused || why == zipcomp::ZipResult::SfxNameClash) && !path.empty()) {
    description += ": " + path;
  }
  return description;
}

ZipOutcome RunLinkedZipComponent(const PackSettings& settings, const BytesPercent& bytesPercent,
                                 std::shared_ptr<zipcomp::WaitHost> waitHost) {
  // The component stops its work before an exception leaves it (a thread that cannot
  // start, memory, a throwing wait): the run failed and nothing was deleted.
  ZipOutcome outcome;
  try {
    return pack(settings, bytesPercent, std::move(waitHost));
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

ZipOutcome PackBackupAsZip(const std::string& folder, const std::string& zipFile, const BytesPercent& bytesPercent,
                           std::shared_ptr<zipcomp::WaitHost> waitHost, const ZipRunner& runner) {
  PackSettings settings;
  settings.folder = folder;
  settings.target = zipFile;
  return runner ? runner(settings, bytesPercent) : RunLinkedZipComponent(settings, bytesPercent, std::move(waitHost));
}

}  // namespace qelvaro
