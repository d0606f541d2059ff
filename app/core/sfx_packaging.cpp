#include "sfx_packaging.h"

#include "zipcomp/zip_component.h"

namespace qelvaro {

ZipOutcome PackBackupAsSfx(const std::string& folder, const std::string& exeFile, const std::string& stub,
                           const std::string& icon, const std::function<void(std::int16_t)>& bytesPercent,
                           std::shared_ptr<zipcomp::WaitHost> waitHost) {
  zipcomp::ZipComponent zip;
  zip.PreservePaths = true;
  zip.DeleteZippedFiles = true;
  zip.ProcessSubfolders = true;
  zip.BasePath = folder;
  zip.FilesToProcess = "*.*";
  zip.ZipFilename = exeFile;
  zip.CompressionLevel = 6;
  zip.EncryptionPassword = kPackagePassword;
  zip.SfxDefaultPassword = kPackagePassword;
  zip.SfxBinaryModule = stub;
  zip.SfxIconFilename = icon;
  zip.SfxExecuteAfter = kSfxRunAfter;
  zip.SfxDefaultUnzipToFolder = kSfxUnpackFolder;
  zip.SfxInstallMode = true;
  zip.SfxClearMessages();
  if (bytesPercent) {
    zip.GlobalStatus = [&bytesPercent](const zipcomp::GlobalStatusArgs& a) { bytesPercent(a.nBytesPercent); };
  }
  zip.setWaitHost(std::move(waitHost));
  ZipOutcome outcome;
  outcome.code = zip.Zip();
  if (outcome.code != 0) outcome.description = zip.GetErrorDescription(0, outcome.code);
  return outcome;
}

}  // namespace qelvaro
