#pragma once
// The container's keyed store of a grid's design-time settings. The grid applies
// the defaults itself: a missing key reads as the default, and a value equal to its
// default is not written.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "grid_types.h"

namespace qelvaro::grid {

// Boolean, Integer (16-bit), Long (32-bit), String, font object.
using PropertyValue = std::variant<bool, std::int16_t, std::int32_t, std::string, GridFont>;

class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  virtual std::optional<PropertyValue> ReadProperty(std::string_view key) const = 0;
  virtual void WriteProperty(std::string_view key, const PropertyValue& value) = 0;
};

class MemoryPropertyBag : public PropertyBag {
 public:
  std::optional<PropertyValue> ReadProperty(std::string_view key) const override;
  void WriteProperty(std::string_view key, const PropertyValue& value) override;

  bool contains(std::string_view key) const { return values_.find(key) != values_.end(); }
  std::size_t size() const { return values_.size(); }
  // Keys in the order they were first written.
  const std::vector<std::string>& writeOrder() const { return order_; }

 private:
  std::map<std::string, PropertyValue, std::less<>> values_;
  std::vector<std::string> order_;
};

}  // namespace qelvaro::grid
