#include "install_dirs.h"

#include <string_view>

namespace qelvaro {
namespace {

enum class Base { Drive, Windows, System, System32Of32BitPrograms, ProgramFiles, ProgramFiles32, ProgramData, Public };

struct Row {
  std::string_view id;
  Base base;
  std::string_view below;  // "<env>" stands for the print environment's folder
};

// Windows' directory ids (setupapi's DIRIDs; 16384 + a CSIDL for the shell's folders).
constexpr Row kRows[] = {
    {"10", Base::Windows, ""},
    {"11", Base::System, ""},
    {"12", Base::System, "drivers"},
    {"17", Base::Windows, "INF"},
    {"18", Base::Windows, "Help"},
    {"20", Base::Windows, "Fonts"},
    {"21", Base::System, "viewers"},
    {"23", Base::System, "spool\\drivers\\color"},
    {"24", Base::Drive, ""},
    {"25", Base::Windows, ""},
    {"30", Base::Drive, ""},
    {"50", Base::Windows, "System"},
    {"51", Base::System, "spool"},
    {"52", Base::System, "spool\\drivers"},
    {"54", Base::Drive, ""},
    {"55", Base::System, "spool\\prtprocs\\<env>"},
    {"66000", Base::System, "spool\\drivers\\<env>"},
    {"66001", Base::System, "spool\\prtprocs\\<env>"},
    {"66002", Base::System, ""},
    {"66003", Base::System, "spool\\drivers\\color"},
    {"16406", Base::ProgramData, "Microsoft\\Windows\\Start Menu"},
    {"16407", Base::ProgramData, "Microsoft\\Windows\\Start Menu\\Programs"},
    {"16408", Base::ProgramData, "Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {"16409", Base::Public, "Desktop"},
    {"16419", Base::ProgramData, ""},
    {"16420", Base::Windows, ""},
    {"16421", Base::System, ""},
    {"16422", Base::ProgramFiles, ""},
    {"16425", Base::System32Of32BitPrograms, ""},
    {"16426", Base::ProgramFiles32, ""},
    {"16427", Base::ProgramFiles, "Common Files"},
    {"16428", Base::ProgramFiles32, "Common Files"},
    {"16430", Base::Public, "Documents"},
};

std::string_view printEnvironment(MachineArch arch) {
  switch (arch) {
    case MachineArch::X86: return "W32X86";
    case MachineArch::Amd64: return "x64";
    case MachineArch::Arm64: return "ARM64";
  }
  return "W32X86";
}

std::string joined(std::string base, std::string_view below) {
  if (below.empty()) return base;
  if (!base.empty() && base.back() != '\\') base += '\\';
  return base + std::string(below);
}

std::string baseFolder(Base base, MachineArch arch, const SystemFolders& folders) {
  const std::string windows = folders.windowsDir();
  const std::string drive = windows.size() >= 3 ? windows.substr(0, 3) : windows + "\\";
  const bool wow = arch != MachineArch::X86;  // 64-bit Windows keeps 32-bit programs apart
  switch (base) {
    case Base::Drive: return drive;
    case Base::Windows: return windows;
    case Base::System: return folders.systemDir();
    case Base::System32Of32BitPrograms: return wow ? joined(windows, "SysWOW64") : folders.systemDir();
    case Base::ProgramFiles: return drive + "Program Files";
    case Base::ProgramFiles32: return drive + (wow ? "Program Files (x86)" : "Program Files");
    case Base::ProgramData: return drive + "ProgramData";
    case Base::Public: return drive + "Users\\Public";
  }
  return {};
}

}  // namespace

std::string InstallDirFolder(const std::string& dirId, const std::string& subdir, MachineArch arch,
                             const SystemFolders& folders) {
  for (const Row& row : kRows) {
    if (dirId != row.id) continue;
    std::string below(row.below);
    if (const auto env = below.find("<env>"); env != std::string::npos) below.replace(env, 5, printEnvironment(arch));
    std::string folder = joined(baseFolder(row.base, arch, folders), below);
    std::string_view sub = subdir;
    while (!sub.empty() && (sub.front() == '\\' || sub.front() == '/')) sub.remove_prefix(1);
    while (!sub.empty() && (sub.back() == '\\' || sub.back() == '/')) sub.remove_suffix(1);
    return joined(std::move(folder), sub);
  }
  return {};
}

}  // namespace qelvaro
