#pragma once
// Class names of an offline image from its own files, as Windows would show them in
// Chinese: a ClassDesc "@file.inf,%key%" from that INF's strings, and one of the form
// "@%SystemRoot%\System32\X.dll,-id" from the DLL's string resources: its .mui in
// System32\zh-CN, then in the image's own language folder (en-US, ...), then the DLL
// itself.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "class_descriptions.h"
#include "file_system.h"
#include "registry.h"
#include "system_folders.h"

namespace qelvaro {

class ImageClassDescriptions final : public ClassDescriptions {
 public:
  // `registry` is the image's: its installed language names its language folder.
  ImageClassDescriptions(const FileSystem& fs, const SystemFolders& folders, const Registry& registry);
  std::string describe(const std::string& classGuid, const std::string& classDesc) const override;

  // The language folder's name and LANGID for an LCID written as in the registry
  // ("0409" gives en-US); empty for one this table does not know.
  static std::string LanguageFolder(const std::string& lcid, std::uint16_t& langId);

 private:
  std::string fromDll(const std::string& classDesc) const;
  // The bytes of a DLL or .mui, read once per path; none when missing, unreadable or
  // larger than a resource file.
  const std::optional<std::string>& resourceFile(const std::string& path) const;

  const FileSystem& fs_;
  const SystemFolders& folders_;
  InfClassDescriptions infs_;
  std::string language_;  // the image's language folder, or empty
  std::uint16_t languageId_ = 0;
  mutable std::unordered_map<std::string, std::optional<std::string>> resourceFiles_;  // by lower-cased path
};

}  // namespace qelvaro
