#include "md_ini_inf.h"

#include "base/text_encoding.h"

namespace qelvaro {

std::optional<IniDocument> LoadIniFile(const std::string& FileName, const FileSystem& fs) {
  auto bytes = fs.readFile(FileName);
  if (!bytes) return std::nullopt;
  std::string text = decodeProfileText(*bytes, [&fs](std::string_view ansi) { return fs.decodeAnsi(ansi); });
  bytes.reset();  // a huge file is held twice only while it is decoded
  return IniDocument::parse(std::move(text));
}

std::string ReadIniValue(const IniDocument& doc, const std::string& Section, const std::string& Key,
                         const std::string& Default) {
  const auto value = doc.value(Section, asciiLowerCopy(Key));
  return std::string(utf16Prefix(value ? *value : Default, kIniValueMaxChars));
}

std::string ReadIniValue(const std::string& Section, const std::string& Key,
                         const std::string& FileName, const std::string& Default,
                         const FileSystem& fs) {
  const auto doc = LoadIniFile(FileName, fs);
  if (!doc) return std::string(utf16Prefix(Default, kIniValueMaxChars));
  return ReadIniValue(*doc, Section, Key, Default);
}

std::vector<std::string> ReadIniSectionKeys(const IniDocument& doc, const std::string& Section) {
  std::vector<std::string> keys;
  if (const auto entries = doc.sectionEntries(Section)) {
    for (const auto& entry : *entries) {
      if (entry.empty()) break;  // the end of the list, as the platform's buffer marks it
      keys.push_back(entry.substr(0, entry.find('=')));
    }
  }
  if (keys.empty()) keys.emplace_back();
  return keys;
}

std::vector<std::string> ReadIniSectionKeys(const std::string& Section, const std::string& FileName,
                                            const FileSystem& fs) {
  const auto doc = LoadIniFile(FileName, fs);
  if (!doc) return {std::string()};
  return ReadIniSectionKeys(*doc, Section);
}

}  // namespace qelvaro
