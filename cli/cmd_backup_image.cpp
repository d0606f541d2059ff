// `qelvaro backup --image ROOT`: the backup of an offline Windows volume, through the
// same command as a live system.
#include "cmd_backup.h"
#include "image_class_descriptions.h"
#include "image_system.h"

namespace qelvaro {

// `backup --image ROOT`: the same run on an offline Windows volume. The image's own
// architecture picks the INFs' decorated sections (--arch still overrides it).
int RunImageBackup(const Args& given, std::ostream& out, std::ostream& err) {
  Args args = given;
  std::string root;
  OfflineImageOptions options;
  std::string error;
  if (!TakeImageOptions(args, root, options, error)) {
    err << "qelvaro backup: " << error << "\n" << BackupUsage();
    return 2;
  }
  for (const std::string& a : args) {
    if (a == "--present-only") {
      err << "qelvaro backup: --present-only does not go with --image: which devices of an offline Windows are "
             "plugged in is unknown\n";
      return 2;
    }
  }
  options.readSoftware = true;  // for the Windows version that backup.json records
  std::unique_ptr<ImageSystem> image = OpenImageForCommand("backup", root, options, err);
  if (!image) return 1;
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--to") args[i + 1] = image->userPath(args[i + 1]);
  }
  BackupSystem system{image->image->registry(), image->image->folders(), *image->fs, image->store.get(),
                      image->image->arch().value_or(DefaultMachineArch()), image->zipPath};
  system.ansiCodePage = image->image->ansiCodePage();
  system.shownPath = image->zipPath;
  const ImageClassDescriptions classes(*image->fs, image->image->folders(), image->image->registry());
  system.classDescriptions = &classes;
  system.sfxPayloads = LoadSfxPayloads;
  return RunBackupCommand(args, system, out, err);
}

}  // namespace qelvaro
