// Feeds arbitrary bytes to the INF reader as if they were a driver's INF file and
// checks what the backup relies on: no crash, values within the buffer limit,
// entries that are single lines, keys without "=", and the catalog, destination and
// file names of each architecture read without a crash, no file name empty or twice.
// It runs under a memory limit
// (fuzz/inf/CMakeLists.txt) with inputs of megabytes, so that a reader whose memory
// grows far beyond the file fails.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "inf_backup_view.h"
#include "md_ini_inf.h"
#include "base/text_encoding.h"

using namespace qelvaro;

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = decodeProfileText(bytes, [](std::string_view b) { return windows1252ToUtf8(b); });
  const IniDocument doc = IniDocument::parse(text);

  for (const char* section : {"Version", "DestinationDirs", "SourceDisksFiles", ""}) {
    if (const auto entries = doc.sectionEntries(section)) {
      for (const auto& e : *entries) {
        require(e.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
        require(!e.empty());
      }
    }
    const auto keys = ReadIniSectionKeys(doc, section);
    require(!keys.empty());
    for (const auto& k : keys) require(k.find('=') == std::string::npos);
  }
  // What the backup reads: never an empty file name, each name once.
  for (const MachineArch arch : {MachineArch::X86, MachineArch::Amd64, MachineArch::Arm64}) {
    const InfBackupView view = ReadInfForBackup(doc, arch);
    std::set<std::string> seen;
    for (const auto& f : view.sourceFiles) {
      require(!f.empty());
      require(seen.insert(asciiLowerCopy(f)).second);
    }
  }
  // The sections and keys the file names can be read back (a bounded sample, so that
  // large real INF seeds do not turn each run quadratic). Listing every key costs a
  // string per key, which the big inputs that check the reader's memory cannot afford.
  if (size > 65536) return 0;
  std::size_t reads = 0;
  for (const auto& section : doc.sections()) {
    for (const auto& key : section.keys) {
      if (++reads > 256) return 0;
      const std::string v = ReadIniValue(doc, section.name, key.name, "");
      require(utf16Length(v) <= kIniValueMaxChars);
    }
  }
  return 0;
}
