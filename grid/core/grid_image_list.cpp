// Keys of the grid's image list.
#include <algorithm>

#include "canvas.h"
#include "grid_error.h"

namespace qelvaro::grid {

void GridImageList::SetKeys(std::vector<std::string> keys) {
  if (static_cast<std::int64_t>(keys.size()) > Count()) throwInvalidCall("more image keys than images in the list");
  for (auto it = keys.begin(); it != keys.end(); ++it)
    if (!it->empty() && std::find(keys.begin(), it, *it) != it)
      throwInvalidCall(("the image key \"" + *it + "\" is given twice").c_str());
  keys_ = std::move(keys);
}

std::optional<std::int32_t> GridImageList::IndexOfKey(std::string_view key) const {
  if (key.empty()) return std::nullopt;
  const auto it = std::find(keys_.begin(), keys_.end(), key);
  if (it == keys_.end() || it - keys_.begin() >= Count()) return std::nullopt;
  return static_cast<std::int32_t>(it - keys_.begin()) + 1;
}

std::string GridImageList::Key(std::int32_t index) const {
  if (index < 1 || index > Count())
    throwSubscript(("the image list has no image " + std::to_string(index)).c_str());
  const auto slot = static_cast<std::size_t>(index - 1);
  return slot < keys_.size() ? keys_[slot] : std::string();
}

}  // namespace qelvaro::grid
