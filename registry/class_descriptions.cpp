#include "class_descriptions.h"

#include "folder_ids.h"
#include "inf_install_model.h"
#include "md_ini_inf.h"
#include "package_paths.h"
#include "base/text_encoding.h"

namespace qelvaro {

std::string InfClassDescriptions::describe(const std::string&, const std::string& classDesc) const {
  // "@name.inf,%key%;fallback": the INF in the INF folder, its string for `key`.
  if (classDesc.size() < 2 || classDesc[0] != '@') return {};
  const std::string body = classDesc.substr(1, classDesc.find(';') == std::string::npos ? std::string::npos
                                                                                           : classDesc.find(';') - 1);
  const auto comma = body.find(',');
  if (comma == std::string::npos) return {};
  const std::string file = body.substr(0, comma), key = body.substr(comma + 1);
  if (!IsPlainEntryName(file) || key.size() < 3 || key.front() != '%' || key.back() != '%') return {};
  if (!iequalsAscii(std::string_view(file).substr(file.size() >= 4 ? file.size() - 4 : 0), ".inf")) return {};
  const auto doc = LoadIniFile(InfDir(folders_) + "\\" + file, fs_);
  if (!doc) return {};
  std::string text = InfIndex(*doc).resolve(key);
  return text == key ? std::string() : text;
}

}  // namespace qelvaro
