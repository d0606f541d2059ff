// `qelvaro inf FILE... [--windows-dir DIR] [--arch x86|amd64|arm64]`: what the backup
// reads from each INF file, for a machine of that architecture, and where it would
// look for each source file, as JSON.

#include <string_view>

#include "commands.h"
#include "json_writer.h"
#include "inf_backup_view.h"
#include "md_ini_inf.h"
#include "source_search.h"

namespace qelvaro {

int RunInfCommand(const Args& args, const FileSystem& fs, std::ostream& out, std::ostream& err) {
  std::string windowsDir = "C:\\Windows";
  MachineArch arch = DefaultMachineArch();
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--windows-dir") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        err << "qelvaro inf: --windows-dir needs a folder\n";
        return 2;
      }
      windowsDir = args[++i];
    } else if (a.rfind("--windows-dir=", 0) == 0) {
      windowsDir = a.substr(std::string_view("--windows-dir=").size());
      if (windowsDir.empty()) {
        err << "qelvaro inf: --windows-dir needs a folder\n";
        return 2;
      }
    } else if (a == "--arch" || a.rfind("--arch=", 0) == 0) {
      std::string name;
      if (a == "--arch") {
        if (i + 1 < args.size()) name = args[++i];
      } else {
        name = a.substr(std::string_view("--arch=").size());
      }
      if (!ParseMachineArch(name, arch)) {
        err << "qelvaro inf: --arch needs x86, amd64 or arm64\n";
        return 2;
      }
    } else if (a == "--") {
      files.insert(files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      err << "qelvaro inf: unknown option '" << a << "'\n";
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) {
    err << "usage: qelvaro inf FILE... [--windows-dir DIR] [--arch x86|amd64|arm64]\n";
    return 2;
  }
  while (windowsDir.size() > 3 && windowsDir.back() == '\\') windowsDir.pop_back();
  const FixedSystemFolders folders(windowsDir);

  int status = 0;
  JsonWriter json(out);
  json.beginArray();
  for (const auto& file : files) {
    const auto doc = LoadIniFile(file, fs);
    if (!doc) {
      err << "qelvaro inf: cannot read '" << file << "'\n";
      status = 1;
      continue;
    }
    const InfBackupView inf = ReadInfForBackup(*doc, arch);
    json.beginObject();
    json.key("file");
    json.value(file);
    json.key("CatalogFile");
    json.value(inf.catalog);
    json.key("DefaultDestDir");
    json.value(inf.destination.dirId);
    if (!inf.destination.subdir.empty()) {
      json.key("DefaultDestSubdir");
      json.value(inf.destination.subdir);
    }
    json.key("SourceDisksFiles");
    json.beginArray();
    for (const auto& key : inf.sourceFiles) {
      const SourceFileLookup lookup = SourceFileCandidates(key, inf.destination, folders);
      json.beginObject();
      json.key("key");
      json.value(lookup.key);
      json.key("extension");
      json.value(lookup.extension);
      json.key("search");
      json.beginArray();
      for (const auto& path : lookup.candidates) json.value(path);
      json.endArray();
      json.endObject();
    }
    json.endArray();
    json.endObject();
  }
  json.endArray();
  return status;
}

}  // namespace qelvaro
