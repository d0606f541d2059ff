#pragma once
// The registry port: open a key, open a subkey below an opened key, enumerate its
// subkey names by index, query a value's type and data. Status codes are the registry's own (0 success, 2 not
// found, 5 access denied, 259 no more items). Names and paths are UTF-8.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qelvaro {

inline constexpr long kRegSuccess = 0;
inline constexpr long kRegFileNotFound = 2;
inline constexpr long kRegAccessDenied = 5;
inline constexpr long kRegInvalidData = 13;
inline constexpr long kRegNoMoreItems = 259;

enum class RegistryRoot { LocalMachine, CurrentUser };

// What a key is opened for. Nothing in the backup writes to the registry, so it
// never asks for more than reading.
enum class RegistryAccess {
  Read,        // enumerate subkeys and query values
  QueryValue,  // query values only
};

enum class RegistryType : std::uint32_t {
  None = 0,
  String = 1,
  ExpandString = 2,
  Binary = 3,
  Dword = 4,
  DwordBigEndian = 5,
  Link = 6,
  MultiString = 7,
  Qword = 11,
};

struct RegistryData {
  RegistryType type = RegistryType::None;
  std::vector<std::uint8_t> bytes;  // as stored: strings are UTF-16LE with their NUL
};

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // The whole name of the subkey at `index`, in the registry's order.
  virtual long enumSubKey(std::uint32_t index, std::string& name) const = 0;
  // An empty name is the key's default value.
  virtual long queryValue(const std::string& name, RegistryData& data) const = 0;
  // The key at `path` below this one (backslash-separated; names compare without
  // regard to case). Walking a key's subkeys this way never goes back to the root,
  // which in a hive costs a look through every sibling on the way each time.
  virtual long openSubKey(const std::string& path, RegistryAccess access,
                          std::unique_ptr<RegistryKey>& key) const = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  virtual long open(RegistryRoot root, const std::string& path, RegistryAccess access,
                    std::unique_ptr<RegistryKey>& key) const = 0;
};

// The names of a backslash path below a key, in order; false for a doubled backslash,
// which names nothing. A trailing backslash is allowed and the empty path is the key.
inline bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& names) {
  names.clear();
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end == start) return end == path.size();
    names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

// UTF-16LE registry string data as UTF-8, up to its first NUL.
std::string RegistryStringText(const std::vector<std::uint8_t>& bytes);

}  // namespace qelvaro
