#include "image_class_descriptions.h"

#include <cstdlib>
#include <optional>

#include "md_registry.h"
#include "pe_string_resources.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

constexpr std::uint16_t kChineseSimplified = 0x0804;
constexpr char kChineseFolder[] = "zh-CN";
// Resource DLLs are a few megabytes; a larger file is not read.
constexpr std::uint64_t kMaxResourceFile = 64ull << 20;

struct Language {
  std::uint16_t id;
  const char* folder;
};
constexpr Language kLanguages[] = {
    {0x0409, "en-US"}, {0x0809, "en-GB"}, {0x0804, "zh-CN"}, {0x0404, "zh-TW"}, {0x0C04, "zh-HK"},
    {0x0411, "ja-JP"}, {0x0412, "ko-KR"}, {0x0407, "de-DE"}, {0x040C, "fr-FR"}, {0x0410, "it-IT"},
    {0x0C0A, "es-ES"}, {0x0416, "pt-BR"}, {0x0816, "pt-PT"}, {0x0419, "ru-RU"}, {0x0415, "pl-PL"},
    {0x0413, "nl-NL"}, {0x041F, "tr-TR"}, {0x0405, "cs-CZ"}, {0x040E, "hu-HU"}, {0x041D, "sv-SE"},
};

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && iequalsAscii(text.substr(0, prefix.size()), prefix);
}

// The DLL's path in the image, for the path a ClassDesc names: below the Windows folder
// (%SystemRoot% or %windir%), or a bare name in the system folder. Nothing that could
// step out of its folder.
std::optional<std::string> dllPath(std::string file, const SystemFolders& folders) {
  std::string base;
  for (std::string_view variable : {"%SystemRoot%", "%windir%"}) {
    if (startsWithNoCase(file, variable)) {
      base = folders.windowsDir();
      file.erase(0, variable.size());
      break;
    }
  }
  if (base.empty()) {
    if (file.find_first_of("\\/:%") != std::string::npos) return std::nullopt;
    base = folders.systemDir();
    file = "\\" + file;
  }
  if (file.empty() || file[0] != '\\') return std::nullopt;
  std::size_t start = 1;
  while (start <= file.size()) {
    const std::size_t end = std::min(file.find('\\', start), file.size());
    const std::string_view part = std::string_view(file).substr(start, end - start);
    if (part.empty() || part == "." || part == ".." || part.find_first_of("/:%*?\"<>|") != std::string_view::npos) {
      return std::nullopt;
    }
    start = end + 1;
  }
  if (!base.empty() && base.back() == '\\') base.pop_back();
  return base + file;
}

}  // namespace

std::string ImageClassDescriptions::LanguageFolder(const std::string& lcid, std::uint16_t& langId) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(lcid.c_str(), &end, 16);
  if (lcid.empty() || !end || *end != '\0') return {};
  for (const Language& l : kLanguages) {
    if (l.id == value) {
      langId = l.id;
      return l.folder;
    }
  }
  return {};
}

ImageClassDescriptions::ImageClassDescriptions(const FileSystem& fs, const SystemFolders& folders,
                                               const Registry& registry)
    : fs_(fs), folders_(folders), infs_(fs, folders) {
  for (const char* value : {"InstallLanguage", "Default"}) {
    const std::string lcid = VariantText(ReadRegistryValue(
        registry, RegistryRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", value));
    language_ = LanguageFolder(lcid, languageId_);
    if (!language_.empty()) break;
  }
}

std::string ImageClassDescriptions::describe(const std::string& classGuid, const std::string& classDesc) const {
  if (std::string text = infs_.describe(classGuid, classDesc); !text.empty()) return text;
  return fromDll(classDesc);
}

std::string ImageClassDescriptions::fromDll(const std::string& classDesc) const {
  // "@path,-id", possibly followed by ";fallback".
  if (classDesc.size() < 2 || classDesc[0] != '@') return {};
  const std::string body = classDesc.substr(1, classDesc.find(';') == std::string::npos ? std::string::npos
                                                                                         : classDesc.find(';') - 1);
  const auto comma = body.rfind(',');
  if (comma == std::string::npos || comma + 2 >= body.size() || body[comma + 1] != '-') return {};
  const std::string digits = body.substr(comma + 2);
  if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return {};
  const unsigned long id = std::strtoul(digits.c_str(), nullptr, 10);
  if (id > 0xFFFF) return {};
  const auto dll = dllPath(body.substr(0, comma), folders_);
  if (!dll) return {};
  const auto slash = dll->rfind('\\');
  const std::string folder = dll->substr(0, slash), name = dll->substr(slash + 1);

  struct Candidate {
    std::string path;
    std::uint16_t language;
  };
  std::vector<Candidate> candidates{{folder + "\\" + kChineseFolder + "\\" + name + ".mui", kChineseSimplified}};
  if (!language_.empty() && language_ != kChineseFolder) {
    candidates.push_back({folder + "\\" + language_ + "\\" + name + ".mui", languageId_});
  }
  candidates.push_back({*dll, kChineseSimplified});
  for (const Candidate& c : candidates) {
    const std::optional<std::string>& bytes = resourceFile(c.path);
    if (!bytes) continue;
    if (auto text = ReadPeString(*bytes, static_cast<std::uint32_t>(id), c.language)) return *text;
  }
  return {};
}

const std::optional<std::string>& ImageClassDescriptions::resourceFile(const std::string& path) const {
  // Dozens of classes name strings of one DLL (setupapi.dll, tens of megabytes with its
  // other resources): each file is read once, and a missing one is looked for once.
  const auto [it, added] = resourceFiles_.try_emplace(asciiLowerCopy(path));
  if (added) {
    std::uint64_t size = 0;
    it->second = fs_.readFileHead(path, kMaxResourceFile, size);
    if (size > kMaxResourceFile) it->second.reset();
  }
  return it->second;
}

}  // namespace qelvaro
