#pragma once
// The three small registry readers of the driver inventory.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "registry.h"
#include "base/ui.h"

namespace qelvaro {

// Text for a string value, a signed 32-bit number for a 32-bit number value,
// empty for anything else.
using RegistryVariant = std::variant<std::monostate, std::string, std::int32_t>;

// The names of the key's direct subkeys in the registry's order. A key that cannot
// be opened shows one message (无法打开注册表项) and gives an empty list. Names are read whole,
// so a long name neither ends the listing nor is cut.
//
// A listing that stops with an error (a damaged hive's subkey list) is not "no more
// keys": it shows a message naming the key and the error, and `complete`, when
// given, is set to false; the names read before the error are kept.
std::vector<std::string> EnumSubKeyNames(const Registry& registry, RegistryRoot root,
                                         const std::string& path, Ui& ui, bool* complete = nullptr);
// The same for a key already open; `path` names it in the message.
std::vector<std::string> SubKeyNames(const RegistryKey& key, const std::string& path, Ui& ui, bool* complete = nullptr);

// 0 when read; the registry's status when the value is missing or unreadable; -1
// for a value of another type (expandable and multi-strings included).
long ReadKeyValue(const RegistryKey& key, const std::string& valueName, RegistryVariant& out);

// The value, or empty when the key or value cannot be read; reports nothing.
RegistryVariant ReadRegistryValue(const Registry& registry, RegistryRoot root, const std::string& path,
                                  const std::string& valueName);

// The cell text of a value: the text, the decimal number, or empty.
std::string VariantText(const RegistryVariant& value);

}  // namespace qelvaro
