#pragma once
// A driver INF read the way an install reads it, for one machine architecture: the
// models and install sections Windows picks, the catalog, and for every file of the
// package where it lies on the distribution and where the install puts it. The
// backup, the restore and `qelvaro inf` all read INFs through this.
//
// INF rules followed (those of Windows' INF parser):
// - sections of one name, wherever they stand, are one section; keys and section
//   names match without regard to case;
// - %name% takes its text from [Strings.0804] (simplified Chinese), then [Strings];
// - models: 64-bit Windows takes only a models section decorated for its own
//   architecture; 32-bit Windows also takes ".NT" and the plain section;
// - an install section is the model's section decorated ".NT<arch>", else ".NT",
//   else plain; its CopyFiles (and those of its ".CoInstallers" section, and of the
//   sections its Needs names in this INF) name the files it copies, as file-list
//   sections ("dest[,source]") or as "@file";
// - a file-list section's files go to the folder [DestinationDirs] gives that
//   section, else DefaultDestDir, else directory id 11;
// - each file's place on the distribution comes from [SourceDisksFiles.<arch>]
//   then [SourceDisksFiles] (disk id and subfolder), and the disk's path from
//   [SourceDisksNames.<arch>] then [SourceDisksNames].

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "inf_backup_view.h"
#include "inf_values.h"
#include "ini_reader.h"

namespace qelvaro {

// The INF's sections by name, merged, for lookups in constant time: printer INFs
// list thousands of files and models. It keeps where each line starts, about eight
// bytes a line, and reads a line's text again from the document when asked, so that
// a huge INF costs a small multiple of its size; the document must outlive it.
class InfIndex {
 public:
  using Key = IniDocument::Key;
  explicit InfIndex(const IniDocument& doc);

  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  // The lines of the merged section by number, in file order, comments left out;
  // none when there is no such section.
  class Lines {
   public:
    struct iterator {
      const InfIndex* index;
      std::uint32_t at;
      std::uint32_t operator*() const { return at; }
      iterator& operator++() {
        at = index->next_[at];
        return *this;
      }
      bool operator!=(const iterator& other) const { return at != other.at; }
    };
    Lines(const InfIndex* index, std::uint32_t head) : index_(index), head_(head) {}
    iterator begin() const { return {index_, head_}; }
    iterator end() const { return {index_, kNone}; }

   private:
    const InfIndex* index_;
    std::uint32_t head_;
  };
  Lines keys(std::string_view section) const;
  // The line numbered `entry`.
  Key key(std::uint32_t entry) const;
  bool has(std::string_view section) const;
  // The raw value of the first line keyed `key` (an empty text for a line without "=").
  std::optional<std::string> rawValue(std::string_view section, std::string_view key) const;
  // %name% pieces replaced by their strings ("%%" is one "%"); unknown names stay.
  std::string resolve(std::string_view text) const;
  // A [Version] value, as one field, strings resolved; empty when absent.
  std::string version(std::string_view key) const;

 private:
  struct Section {
    std::uint32_t head = kNone, tail = kNone;
  };
  struct NoCaseHash {
    std::size_t operator()(std::string_view s) const;
  };
  struct NoCaseEqual {
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::optional<std::string> stringValue(std::string_view key) const;
  const IniDocument& doc_;
  std::vector<std::uint32_t> offsets_;  // by line: where it starts in the text
  std::vector<std::uint32_t> next_;     // by line: the next line of its merged section
  std::vector<Section> sections_;
  std::unordered_map<std::string_view, std::uint32_t, NoCaseHash, NoCaseEqual> byName_;  // names in the text
  mutable std::unordered_map<std::uint32_t, IniKeyTable> tables_;  // by section, made on the first look-up
};

// Where one installed copy of a file goes.
struct InfCopy {
  std::string section;        // the file-list section; empty for CopyFiles=@file
  std::string dirId;          // the destination's directory id, as written
  std::string subdir;         // the folder below it, when the INF gives one
  std::string installedName;  // the name it is installed under (the source's, unless renamed)
  bool operator==(const InfCopy&) const = default;
};

struct InfFile {
  std::string name;      // the source name, as [SourceDisksFiles] or the file list gives it
  std::string diskPath;  // the disk's path in [SourceDisksNames] ("" for the INF's folder)
  std::string subdir;    // the subfolder [SourceDisksFiles] gives
  bool listed = false;   // a source-disk list for the architecture names it
  bool copied = false;   // the chosen install sections copy it: the install needs it
  std::vector<InfCopy> copies;
};

// One line of a models section for the architecture: a device the INF installs on.
// Windows ranks a match on the first id (the hardware id) before the others
// (compatible ids).
struct InfModelLine {
  std::string description;
  std::string installSection;              // as the line names it, undecorated
  std::string hardwareId;
  std::vector<std::string> compatibleIds;  // in the line's order
};

struct InfInstallModel {
  std::string catalog;  // for the architecture; empty when the INF names none
  InfDestination defaultDestination;  // [DestinationDirs] DefaultDestDir; dirId empty when none
  std::vector<std::string> modelsSections;
  std::vector<std::string> installSections;  // as named in the INF
  std::vector<std::string> modelDescriptions;
  std::vector<std::string> deviceIds;  // hardware and compatible ids of the models, each once
  // The software components the install sections add ("<section>.Components":
  // AddComponent = name,flags,section, whose ComponentIDs name them); each is a device
  // of its own, "SWC\<id>", served by its own package.
  std::vector<std::string> componentIds;
  std::vector<InfModelLine> modelLines;  // every line of the chosen models sections, in order
  bool hasManufacturers = false;       // a device INF (else one installed to the store only)
  bool hasModelsForArch = false;       // some manufacturer has models for this architecture
  // The files the install copies first, in the INF's order, then the files only the
  // source-disk lists name; each name once.
  std::vector<InfFile> files;

  std::size_t copiedCount() const;
};

// `installSection` is the section an installed driver was installed from (its
// driver key's InfSection, with InfSectionExt appended when the key has one). When
// it is empty or not in the INF, the install sections of every model for `arch`
// count: a fresh install may pick any of them.
InfInstallModel ReadInfInstallModel(const IniDocument& doc, MachineArch arch, std::string_view installSection = {});

// A [Strings] value: up to a ";" outside quotes, trimmed, quoted stretches taken
// literally with "" standing for one quote. Commas are part of the text.
std::string InfStringText(std::string_view raw);

}  // namespace qelvaro
