#include "sfx_packaging.h"

#include "zipcomp/zip_component.h"

namespace qelvaro {

ZipOutcome PackBackupAsSfx(const std::string& folder, const std::string& exeFile, const std::string& stub,
                           const std::string& icon, const std::function<void(std::int16_t)>& bytesPercent,
                           std::shared_ptr<zipcomp::WaitHost> waitHost) {
  const auto sfx = [&](zipcomp::ZipComponent& zip) {
    zip.EncryptionPassword = kPackagePassword;
    zip.SfxDefaultPassword = kPackagePassword;
    zip.SfxBinaryModule = stub;
    zip.SfxIconFilename = icon;
    zip.SfxExecuteAfter = kSfxRunAfter;
    zip.SfxDefaultUnzipToFolder = kSfxUnpackFolder;
    zip.SfxInstallMode = true;
    zip.SfxClearMessages();
  };
  return PackBackup(folder, exeFile, sfx, bytesPercent, std::move(waitHost));
}

}  // namespace qelvaro
