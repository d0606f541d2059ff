#pragma once
// Size arithmetic that says when it does not fit, for lengths and offsets read from
// files, which are never to be trusted.

#include <cstdint>
#include <limits>
#include <type_traits>

namespace qelvaro::base {

// a + b into `out`; false (and `out` untouched) when the sum does not fit in T.
template <typename T>
[[nodiscard]] constexpr bool checkedAdd(T a, T b, T& out) {
  static_assert(std::is_unsigned_v<T>);
  if (b > std::numeric_limits<T>::max() - a) return false;
  out = a + b;
  return true;
}

// a * b into `out`; false (and `out` untouched) when the product does not fit in T.
template <typename T>
[[nodiscard]] constexpr bool checkedMul(T a, T b, T& out) {
  static_assert(std::is_unsigned_v<T>);
  if (a != 0 && b > std::numeric_limits<T>::max() / a) return false;
  out = a * b;
  return true;
}

// True when `count` items starting at `offset` lie inside something `size` long,
// without computing offset + count (which may wrap).
constexpr bool fitsWithin(std::uint64_t offset, std::uint64_t count, std::uint64_t size) {
  return offset <= size && count <= size - offset;
}

}  // namespace qelvaro::base
