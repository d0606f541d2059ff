#include "property_bag.h"

namespace qelvaro::grid {

std::optional<PropertyValue> MemoryPropertyBag::ReadProperty(std::string_view key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void MemoryPropertyBag::WriteProperty(std::string_view key, const PropertyValue& value) {
  auto it = values_.find(key);
  if (it != values_.end()) {
    it->second = value;
    return;
  }
  values_.emplace(std::string(key), value);
  order_.emplace_back(key);
}

}  // namespace qelvaro::grid
