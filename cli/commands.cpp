#include "commands.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <string_view>

#include "cmd_verify.h"
#include "image_system.h"
#include "manual.h"
#include "base/product.h"
#include "zip_packaging.h"
#include "zipcomp/zip_command.h"

namespace qelvaro {
namespace {

constexpr std::string_view kUsage =
    "usage: qelvaro <command> [arguments]\n"
    "commands:\n"
    "  inf FILE... [--windows-dir DIR] [--arch x86|amd64|arm64]\n"
    "                                    show what a backup reads from driver INF files (JSON)\n"
    "  backup --to DIR [--all] [--class NAME]... [--format folder|zip|sfx] [--arch x86|amd64|arm64]\n"
    "         [--present-only]\n"
    "                                    back up this system's drivers into DIR\\Quorvak (Windows)\n"
    "  backup --image ROOT [--allow-dirty] --to DIR [...]\n"
    "                                    back up the drivers of the Windows volume at ROOT\n"
    "  list [--image ROOT [--allow-dirty]] [--all] [--json]\n"
    "                                    list the drivers of this system or of the volume at ROOT\n"
    "  restore FOLDER [--all | --driver TEXT]... [--matching] [--dry-run] [--json]\n"
    "                                    put back the drivers of a backup folder (Windows; --dry-run anywhere)\n"
    "  verify PATH [--json]              check a backup folder, Zip file or package against its checksums\n"
    "  zip FOLDER ARCHIVE [--level N] [--password P] [--move] [--follow-links]\n"
    "                                    pack a folder into a Zip file\n"
    "  help [COMMAND]                    the manual's text about COMMAND\n"
    "  --version                         print the version\n";

}  // namespace

int RunCommandLine(const Args& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && args[0] == "--version") {
    out << "qelvaro " << kProductVersion << "\n";
    return 0;
  }
  if (args.size() == 2 && args[0] == "help") {
    const std::optional<std::string> text = ManualSection(kManualPage, args[1]);
    if (!text) {
      err << "qelvaro help: no command '" << args[1] << "'\n" << kUsage;
      return 2;
    }
    out << *text;
    return 0;
  }
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    (args.empty() ? err : out) << kUsage;
    return args.empty() ? 2 : 0;
  }
  DescribePackingInEnglish(true);  // the command line speaks English throughout
  const std::string& command = args[0];
  const Args rest(args.begin() + 1, args.end());
  if (command == "inf") {
    const auto fs = MakePlatformFileSystem();
    return RunInfCommand(rest, *fs, out, err);
  }
  if (command == "backup") {
    for (const std::string& a : rest) {
      if (a == "--image") return RunImageBackup(rest, out, err);
    }
    return RunPlatformBackup(rest, out, err);
  }
  if (command == "list") return RunListCommand(rest, out, err);
  if (command == "restore") return RunPlatformRestore(rest, out, err);
  if (command == "verify") return RunPlatformVerify(rest, out, err);
  if (command == "zip") return zipcomp::runZipCommand(rest, out, err);
  err << "qelvaro: unknown command '" << command << "'\n" << kUsage;
  return 2;
}

int RunProgram(const Args& args) {
  int code = 0;
  try {
    code = RunCommandLine(args, std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    std::cerr << "qelvaro: out of memory\n";
    return kExitOutOfMemory;
  } catch (const std::exception& e) {
    std::cerr << "qelvaro: " << e.what() << "\n";
    return 1;
  } catch (...) {
    std::cerr << "qelvaro: unexpected failure\n";
    return 1;
  }
  // (A command that found out itself has said so and failed already.)
  std::cout.flush();
  if ((!std::cout || std::fflush(stdout) != 0) && code == 0) {
    std::cerr << "qelvaro: cannot write the output\n";
    return 1;
  }
  return code;
}

}  // namespace qelvaro
