// Class names of an offline image from its DLLs' string tables: a small PE image is
// built here with the tables a test needs.

#include <gtest/gtest.h>

#include <map>

#include "driver_inventory.h"
#include "image_class_descriptions.h"
#include "memory_registry.h"
#include "pe_string_resources.h"
#include "base/text_encoding.h"

namespace qelvaro {
namespace {

using Strings = std::map<std::uint32_t, std::u16string>;  // string id -> text

void put16(std::string& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
void put32(std::string& b, std::size_t at, std::uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}

// A PE32 image with one .rsrc section holding string tables, one per language (in the
// order given), as a linker lays them out.
std::string BuildPe(const std::vector<std::pair<std::uint16_t, Strings>>& languages) {
  std::map<std::uint32_t, std::vector<std::pair<std::uint16_t, std::string>>> blocks;  // block -> language, data
  for (const auto& [language, strings] : languages) {
    std::map<std::uint32_t, std::map<std::uint32_t, std::u16string>> byBlock;
    for (const auto& [id, text] : strings) byBlock[id / 16 + 1][id % 16] = text;
    for (const auto& [block, entries] : byBlock) {
      std::string data;
      for (std::uint32_t i = 0; i < 16; ++i) {
        const auto it = entries.find(i);
        const std::u16string text = it == entries.end() ? std::u16string() : it->second;
        data.append(2, '\0');
        put16(data, data.size() - 2, static_cast<std::uint32_t>(text.size()));
        for (char16_t u : text) {
          data.append(2, '\0');
          put16(data, data.size() - 2, u);
        }
      }
      blocks[block].push_back({language, data});
    }
  }
  // The tree: root, type directory, one language directory per block, data entries, data.
  std::string tree(16 + 8, '\0');
  put16(tree, 14, 1);
  put32(tree, 16, 6);
  put32(tree, 20, 0x80000000u | 24);
  const std::size_t typeDir = tree.size();
  tree.resize(typeDir + 16 + 8 * blocks.size());
  put16(tree, typeDir + 14, static_cast<std::uint32_t>(blocks.size()));
  std::vector<std::pair<std::size_t, const std::string*>> leaves;  // where a language entry's offset goes, data
  std::size_t i = 0;
  for (const auto& [block, tables] : blocks) {
    const std::size_t langDir = tree.size();
    put32(tree, typeDir + 16 + 8 * i, block);
    put32(tree, typeDir + 20 + 8 * i, 0x80000000u | static_cast<std::uint32_t>(langDir));
    tree.resize(langDir + 16 + 8 * tables.size());
    put16(tree, langDir + 14, static_cast<std::uint32_t>(tables.size()));
    for (std::size_t k = 0; k < tables.size(); ++k) {
      put32(tree, langDir + 16 + 8 * k, tables[k].first);
      leaves.push_back({langDir + 20 + 8 * k, &tables[k].second});
    }
    ++i;
  }
  const std::size_t entries = tree.size();
  tree.resize(entries + 16 * leaves.size());
  constexpr std::uint32_t kRva = 0x1000;
  for (std::size_t k = 0; k < leaves.size(); ++k) {
    const std::size_t entry = entries + 16 * k;
    put32(tree, leaves[k].first, static_cast<std::uint32_t>(entry));
    put32(tree, entry, kRva + static_cast<std::uint32_t>(tree.size()));
    put32(tree, entry + 4, static_cast<std::uint32_t>(leaves[k].second->size()));
    tree += *leaves[k].second;
  }
  // Headers: DOS, PE, optional header with 16 directories, one section.
  std::string pe(512, '\0');
  pe[0] = 'M', pe[1] = 'Z';
  put32(pe, 60, 64);
  pe.replace(64, 4, std::string("PE\0\0", 4));
  put16(pe, 68, 0x14c);
  put16(pe, 70, 1);
  put16(pe, 84, 224);
  const std::size_t optional = 88;
  put16(pe, optional, 0x10b);
  put32(pe, optional + 92, 16);
  put32(pe, optional + 96 + 16, kRva);
  put32(pe, optional + 96 + 20, static_cast<std::uint32_t>(tree.size()));
  const std::size_t section = optional + 224;
  pe.replace(section, 5, ".rsrc");
  put32(pe, section + 8, static_cast<std::uint32_t>(tree.size()));
  put32(pe, section + 12, kRva);
  put32(pe, section + 16, static_cast<std::uint32_t>(tree.size()));
  put32(pe, section + 20, 512);
  return pe + tree;
}

// An image's files, found without regard to case as on Windows.
class ImageFiles final : public FileSystem {
 public:
  explicit ImageFiles(const std::map<std::string, std::string>& given) {
    for (const auto& [path, bytes] : given) files_[asciiLowerCopy(path)] = bytes;
  }
  bool exists(const std::string& path, AttrMask) const override { return files_.count(asciiLowerCopy(path)) != 0; }
  std::optional<std::string> readFile(const std::string& path) const override {
    ++reads[asciiLowerCopy(path)];
    const auto it = files_.find(asciiLowerCopy(path));
    return it == files_.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  mutable std::map<std::string, int> reads;  // by lower-cased path, missing files too

 private:
  std::map<std::string, std::string> files_;
};

constexpr std::uint16_t kEnglish = 0x0409, kChinese = 0x0804;

TEST(ImageClassDescriptions, DllStringsFromTheMuiInChineseThenTheImagesLanguageThenTheDll) {
  const std::string netcfg = "C:\\Windows\\System32\\NetCfgx.dll";
  const std::string dll = BuildPe({{kEnglish, {{5000, u"Network adapters (dll)"}, {5015, u"Last of a block"}}}});
  const std::string zh = BuildPe({{kChinese, {{5000, u"网络适配器"}}}});
  const std::string en = BuildPe({{kEnglish, {{5000, u"Network adapters"}, {4991, u"Previous block"}}}});
  const std::string both = BuildPe({{kEnglish, {{5000, u"Network adapters"}}}, {kChinese, {{5000, u"网络适配器"}}}});
  struct Case {
    std::map<std::string, std::string> files;
    const char* installLanguage;
    const char* classDesc;
    const char* expected;
  } cases[] = {
      {{{netcfg, dll}, {"C:\\Windows\\System32\\zh-CN\\NetCfgx.dll.mui", zh},
        {"C:\\Windows\\System32\\en-US\\NetCfgx.dll.mui", en}},
       "0409", "@%SystemRoot%\\System32\\NetCfgx.dll,-5000", "网络适配器"},
      {{{netcfg, dll}, {"C:\\Windows\\System32\\en-US\\NetCfgx.dll.mui", en}},
       "0409", "@%SystemRoot%\\System32\\NetCfgx.dll,-5000", "Network adapters"},
      {{{netcfg, dll}, {"C:\\Windows\\System32\\en-US\\NetCfgx.dll.mui", en}},
       "0409", "@%windir%\\system32\\NetCfgx.dll,-4991", "Previous block"},
      {{{netcfg, dll}, {"C:\\Windows\\System32\\en-US\\NetCfgx.dll.mui", en}},
       "0407", "@%SystemRoot%\\System32\\NetCfgx.dll,-5000", "Network adapters (dll)"},
      {{{netcfg, dll}}, "", "@%SystemRoot%\\System32\\NetCfgx.dll,-5015", "Last of a block"},
      {{{netcfg, both}}, "", "@%SystemRoot%\\System32\\NetCfgx.dll,-5000", "网络适配器"},
      {{{netcfg, dll}}, "", "@NetCfgx.dll,-5000", "Network adapters (dll)"},
      // Nothing to read: the text after ";", else the class name.
      {{{netcfg, dll}}, "", "@%SystemRoot%\\System32\\NetCfgx.dll,-5001;Net adapters", "Net adapters"},
      {{{netcfg, "MZ not a program"}}, "", "@%SystemRoot%\\System32\\NetCfgx.dll,-5000", "Net"},
      {{{netcfg, dll}}, "", "@%SystemRoot%\\System32\\..\\System32\\NetCfgx.dll,-5000", "Net"},
      {{{netcfg, dll}}, "", "@%ProgramFiles%\\NetCfgx.dll,-5000", "Net"},
      {{{netcfg, dll}}, "", "@%SystemRoot%\\System32\\NetCfgx.dll,5000", "Net"},
      {{{netcfg, dll}}, "", "@%SystemRoot%\\System32\\NetCfgx.dll,-99999", "Net"},
  };
  const FixedSystemFolders folders("C:\\Windows");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.classDesc) + " " + c.installLanguage);
    const ImageFiles fs(c.files);
    MemoryRegistry registry;
    registry.setValue(RegistryRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language",
                      "InstallLanguage", RegString(c.installLanguage));
    const ImageClassDescriptions classes(fs, folders, registry);
    EXPECT_EQ(ClassDisplayName("", "{guid}", c.classDesc, "Net", &classes), c.expected);
  }
}

// Many classes naming strings of one DLL, in any spelling: each of its files is read
// once, and the .mui files it lacks are looked for once.
TEST(ImageClassDescriptions, EachResourceFileIsReadOnce) {
  Strings strings;
  for (std::uint32_t id = 5000; id < 5040; ++id) strings[id] = u"Class " + utf8ToUtf16(std::to_string(id));
  const ImageFiles fs({{"C:\\Windows\\System32\\setupapi.dll", BuildPe({{kEnglish, strings}})}});
  MemoryRegistry registry;
  registry.setValue(RegistryRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language",
                    "InstallLanguage", RegString("0409"));
  const FixedSystemFolders folders("C:\\Windows");
  const ImageClassDescriptions classes(fs, folders, registry);
  for (std::uint32_t id = 5000; id < 5040; ++id) {
    const std::string dll = id % 2 ? "@%SystemRoot%\\System32\\setupapi.dll" : "@%windir%\\SYSTEM32\\SetupAPI.dll";
    EXPECT_EQ(ClassDisplayName("", "{guid}", dll + ",-" + std::to_string(id), "X", &classes),
              "Class " + std::to_string(id));
  }
  EXPECT_EQ(fs.reads, (std::map<std::string, int>{{"c:\\windows\\system32\\en-us\\setupapi.dll.mui", 1},
                                                  {"c:\\windows\\system32\\setupapi.dll", 1},
                                                  {"c:\\windows\\system32\\zh-cn\\setupapi.dll.mui", 1}}));
}

// Every cut and every single changed byte of an image reads as its string, another
// string, or nothing: never a read outside the bytes (the sanitizers watch).
TEST(PeStringResources, DamagedImagesAreReadWithinTheirBytes) {
  const std::string pe = BuildPe({{kEnglish, {{5000, u"Network adapters"}}}, {kChinese, {{5000, u"网络"}}}});
  ASSERT_EQ(ReadPeString(pe, 5000, kChinese), "网络");
  for (std::size_t n = 0; n < pe.size(); ++n) {
    EXPECT_FALSE(ReadPeString(std::string_view(pe).substr(0, n), 5000, kChinese)) << n;
  }
  for (std::size_t at = 0; at < pe.size(); ++at) {
    std::string damaged = pe;
    damaged[at] = static_cast<char>(damaged[at] ^ 0xFF);
    (void)ReadPeString(damaged, 5000, kChinese);
  }
}

}  // namespace
}  // namespace qelvaro
