#pragma once
// The export's and the column layout's platform side: the desktop folder, message
// boxes, the shell's "open", the ANSI code page, a file replaced only once it is
// written whole, and the per-user settings under
// HKEY_CURRENT_USER\Software\Qelvaro\<program title>\<grid name> (no administrator rights).

#include <windows.h>

#include <string>

#include "grid_export.h"

namespace qelvaro::grid {

class Win32ExportPort : public ExportPort {
 public:
  // Message boxes are owned by `owner` and titled with the program's title.
  explicit Win32ExportPort(HWND owner) : owner_(owner) {}
  std::optional<std::string> DesktopFolder() override;
  void Inform(std::string_view text) override;
  void ExportError(std::string_view text) override;
  bool AskYesNo(std::string_view text) override;
  bool ShellOpen(const std::string& path) override;
  std::optional<std::string> ToAnsi(std::string_view utf8) override;
  std::optional<std::string> WriteReplacing(const std::string& path, std::string_view bytes) override;

 private:
  HWND owner_;
};

class RegistrySettingsStore : public SettingsStore {
 public:
  // The program's title: the name of its executable without the extension.
  static std::wstring ProgramTitle();
  explicit RegistrySettingsStore(std::wstring programTitle = ProgramTitle()) : title_(std::move(programTitle)) {}
  std::optional<std::string> Get(std::string_view section, std::string_view key) override;
  void Put(std::string_view section, std::string_view key, std::string_view value) override;

 private:
  std::wstring keyPath(std::string_view section) const;
  std::wstring title_;
};

}  // namespace qelvaro::grid
