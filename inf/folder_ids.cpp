#include "folder_ids.h"

#include <string_view>

namespace qelvaro {

FixedSystemFolders::FixedSystemFolders(const std::string& windowsDir)
    : windows_(windowsDir),
      system_(windowsDir + (!windowsDir.empty() && windowsDir.back() == '\\' ? "" : "\\") +
              "System32") {}

std::string InfDir(const SystemFolders& folders) { return folders.windowsDir() + "\\inf"; }

namespace {

enum class Root { None, DriveRoot, Windows, System, Inf };

struct DirIdRow {
  std::string_view id;
  Root root;
  std::string_view suffix;
};

// The directory ids the backup knows. Some are known but deliberately resolve to
// nothing (21, 25, 53, 54, -1, 66002): files installed there are not looked for.
constexpr DirIdRow kDirIds[] = {
    {"01", Root::DriveRoot, ""},
    {"10", Root::Windows, ""},
    {"11", Root::System, ""},
    {"12", Root::System, "\\Drivers"},
    {"17", Root::Inf, ""},
    {"18", Root::Windows, "\\Help"},
    {"20", Root::Windows, "\\Fonts"},
    {"21", Root::None, ""},
    {"23", Root::System, "\\spool\\drivers\\color"},
    {"24", Root::DriveRoot, ""},
    {"25", Root::None, ""},
    {"30", Root::DriveRoot, ""},
    {"50", Root::System, ""},
    {"51", Root::System, "\\Spool"},
    {"52", Root::System, "\\Spool\\Drivers"},
    {"53", Root::None, ""},
    {"54", Root::None, ""},
    {"55", Root::System, "\\spool\\prtprocs"},
    {"-1", Root::None, ""},
    {"66000", Root::System, "\\spool\\Drivers\\w32x86"},
    {"66001", Root::System, "\\spool\\prtprocs\\w32x86"},
    {"66002", Root::None, ""},
    {"66003", Root::System, "\\spool\\drivers\\color"},
    {"66004", Root::System, "\\spool\\Drivers\\w32x86"},
};

}  // namespace

std::string WhereIsDir(const std::string& DirId, const SystemFolders& folders) {
  for (const auto& row : kDirIds) {
    if (DirId != row.id) continue;
    switch (row.root) {
      case Root::None:
        return {};
      case Root::DriveRoot:
        return folders.windowsDir().substr(0, 3);
      case Root::Windows:
        return folders.windowsDir() + std::string(row.suffix);
      case Root::System:
        return folders.systemDir() + std::string(row.suffix);
      case Root::Inf:
        return InfDir(folders) + std::string(row.suffix);
    }
  }
  return {};
}

std::string SafeDir(const std::string& Name) {
  std::string out = Name;
  for (char& c : out) {
    switch (c) {
      case '\\': case '/': case '*': case ':': case ';':
      case '?': case '>': case '<': case '|':
        c = ' ';
        break;
      default:
        break;
    }
  }
  return out;
}

}  // namespace qelvaro
