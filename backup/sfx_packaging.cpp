#include "sfx_packaging.h"

namespace qelvaro {

PackSettings SfxPackSettings(const std::string& folder, const std::string& exeFile, const std::string& stub,
                             const std::string& icon) {
  PackSettings settings;
  settings.folder = folder;
  settings.target = exeFile;
  settings.password = kPackagePassword;
  settings.sfxStub = stub;
  settings.sfxIcon = icon;
  settings.sfxDefaultPassword = kPackagePassword;
  settings.sfxRunAfter = kSfxRunAfter;
  settings.sfxUnzipTo = kSfxUnpackFolder;
  return settings;
}

ZipOutcome PackBackupAsSfx(const std::string& folder, const std::string& exeFile, const std::string& stub,
                           const std::string& icon, const BytesPercent& bytesPercent,
                           std::shared_ptr<zipcomp::WaitHost> waitHost, const ZipRunner& runner) {
  const PackSettings settings = SfxPackSettings(folder, exeFile, stub, icon);
  return runner ? runner(settings, bytesPercent) : RunLinkedZipComponent(settings, bytesPercent, std::move(waitHost));
}

}  // namespace qelvaro
