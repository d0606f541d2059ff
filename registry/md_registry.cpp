#include "md_registry.h"

#include "base/format_text.h"
#include "registry_texts.h"
#include "base/text_encoding.h"

namespace qelvaro {

std::string RegistryStringText(const std::vector<std::uint8_t>& bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t u = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (u == 0) break;
    units += u;
  }
  return utf16ToUtf8(units);
}

std::vector<std::string> EnumSubKeyNames(const Registry& registry, RegistryRoot root,
                                         const std::string& path, Ui& ui, bool* complete) {
  if (complete) *complete = true;
  std::unique_ptr<RegistryKey> key;
  if (registry.open(root, path, RegistryAccess::Read, key) != kRegSuccess || !key) {
    ui.showMessage(texts::kCannotOpenKey, kAppTitle, MessageIcon::None);
    return {};
  }
  return SubKeyNames(*key, path, ui, complete);
}

std::vector<std::string> SubKeyNames(const RegistryKey& key, const std::string& path, Ui& ui, bool* complete) {
  if (complete) *complete = true;
  std::vector<std::string> names;
  std::string name;
  for (std::uint32_t index = 0;; ++index) {
    const long status = key.enumSubKey(index, name);
    if (status == kRegNoMoreItems) break;
    if (status != kRegSuccess) {
      if (complete) *complete = false;
      ui.showMessage(FormatText(texts::kCannotListKey, {path, std::to_string(status)}), kAppTitle,
                     MessageIcon::None);
      break;
    }
    names.push_back(name);
  }
  return names;
}

long ReadKeyValue(const RegistryKey& key, const std::string& valueName, RegistryVariant& out) {
  out = std::monostate{};
  RegistryData data;
  const long status = key.queryValue(valueName, data);
  if (status != kRegSuccess) return status;
  switch (data.type) {
    case RegistryType::String:
      out = RegistryStringText(data.bytes);
      return kRegSuccess;
    case RegistryType::Dword: {
      if (data.bytes.size() < 4) return kRegInvalidData;
      const std::uint32_t v = data.bytes[0] | (data.bytes[1] << 8) | (data.bytes[2] << 16) |
                              (static_cast<std::uint32_t>(data.bytes[3]) << 24);
      out = static_cast<std::int32_t>(v);
      return kRegSuccess;
    }
    default:
      return -1;
  }
}

RegistryVariant ReadRegistryValue(const Registry& registry, RegistryRoot root, const std::string& path,
                                  const std::string& valueName) {
  RegistryVariant value;
  std::unique_ptr<RegistryKey> key;
  if (registry.open(root, path, RegistryAccess::QueryValue, key) == kRegSuccess && key) {
    ReadKeyValue(*key, valueName, value);
  }
  return value;
}

std::string VariantText(const RegistryVariant& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
  return {};
}

}  // namespace qelvaro
