// `qelvaro inf FILE... [--windows-dir DIR] [--arch x86|amd64|arm64]`: what the backup
// reads from each INF file, for a machine of that architecture, and where it would
// look for each source file, as JSON.

#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "commands.h"
#include "json_writer.h"
#include "inf_backup_view.h"
#include "inf_install_model.h"
#include "install_dirs.h"
#include "package_paths.h"
#include "md_ini_inf.h"
#include "source_search.h"

namespace qelvaro {
namespace {
constexpr const char* kInfUsage = "usage: qelvaro inf FILE... [--windows-dir DIR] [--arch x86|amd64|arm64]\n";

// A name from the command line may carry control characters (an escape sequence):
// shown as \xNN, never sent to the terminal as they are.
std::string printable(std::string_view s) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}
void stringArray(JsonWriter& json, const char* key, const std::vector<std::string>& items) {
  json.key(key);
  json.beginArray();
  for (const auto& item : items) json.value(item);
  json.endArray();
}

// How an install reads the INF: its sections, and every file with its place in the
// package and where the install puts it.
void writeInstallModel(JsonWriter& json, const InfInstallModel& model, MachineArch arch,
                       const SystemFolders& folders) {
  stringArray(json, "Models", model.modelsSections);
  stringArray(json, "InstallSections", model.installSections);
  stringArray(json, "ComponentIds", model.componentIds);
  json.key("Files");
  json.beginArray();
  for (const InfFile& f : model.files) {
    json.beginObject();
    json.key("source");
    json.value(f.name);
    json.key("packagePath");
    json.value(SafeRelativePath(f.diskPath, f.subdir, f.name).value_or(""));
    json.key("copied");
    json.value(f.copied);
    json.key("installedTo");
    json.beginArray();
    for (const InfCopy& c : f.copies) {
      json.beginObject();
      json.key("dirId");
      json.value(c.dirId);
      if (!c.subdir.empty()) {
        json.key("subdir");
        json.value(c.subdir);
      }
      json.key("name");
      json.value(c.installedName);
      // 13: the file runs from its driver store package and is not copied out of it.
      const std::string folder = InstallDirFolder(c.dirId, c.subdir, arch, folders);
      json.key("path");
      json.value(folder.empty() ? std::string() : folder + "\\" + c.installedName);
      json.endObject();
    }
    json.endArray();
    json.endObject();
  }
  json.endArray();
}

}  // namespace

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
    } else if (a == "--help" || a == "-h") {
      out << kInfUsage;
      return 0;
    } else if (a == "--") {
      files.insert(files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      err << "qelvaro inf: unknown option '" << printable(a) << "'\n";
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) {
    err << kInfUsage;
    return 2;
  }
  while (windowsDir.size() > 3 && windowsDir.back() == '\\') windowsDir.pop_back();
  const FixedSystemFolders folders(windowsDir);

  int status = 0;
  JsonWriter json(out);
  json.beginArray();
  for (const auto& file : files) {
    // What the backup reads of one file is gathered before any of it is written, so
    // that a file that fails (unreadable, or too big for the memory left) leaves no
    // half an object behind and the other files are still reported.
    std::optional<InfBackupView> report;
    InfInstallModel model;
    const char* failure = "cannot read";
    try {
      if (const auto doc = LoadIniFile(file, fs)) {
        report = ReadInfForBackup(*doc, arch);
        model = ReadInfInstallModel(*doc, arch);
      }
    } catch (const std::bad_alloc&) {
      report.reset();
      failure = "not enough memory to read";
    }
    if (!report) {
      err << "qelvaro inf: " << failure << " '" << printable(file) << "'\n";
      status = 1;
      continue;
    }
    const InfBackupView& inf = *report;
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
    writeInstallModel(json, model, arch, folders);
    json.endObject();
  }
  json.endArray();
  // A report that did not reach its reader (a full disk, a closed pipe) is a failure.
  out.flush();
  if (!out) {
    err << "qelvaro inf: cannot write the report\n";
    return 1;
  }
  return status;
}

}  // namespace qelvaro
