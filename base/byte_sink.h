#pragma once
// Whatever takes a file's bytes as they are read, in order and in pieces of any size:
// a hash, or several hashes taken in one pass.

#include <cstddef>

namespace qelvaro {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void update(const void* data, std::size_t size) = 0;
};

}  // namespace qelvaro
