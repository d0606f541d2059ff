#pragma once
// Text files in an ANSI code page other than the running system's: the file system
// of an offline image decodes its INF files in the image's own code page.

#include <functional>
#include <string>
#include <string_view>

#include "file_system.h"

namespace qelvaro {

// A file system that reads ANSI text in a given code page and passes everything
// else to the file system it wraps.
class CodePageFileSystem final : public ForwardingFileSystem {
 public:
  using Decoder = std::function<std::string(std::string_view)>;
  CodePageFileSystem(FileSystem& inner, Decoder decoder) : ForwardingFileSystem(inner), decoder_(std::move(decoder)) {}

  std::string decodeAnsi(std::string_view bytes) const override {
    return decoder_ ? decoder_(bytes) : inner().decodeAnsi(bytes);
  }

 private:
  Decoder decoder_;
};

// A decoder from the ANSI code page `codePage` to UTF-8, where the platform has one
// (iconv on Linux, MultiByteToWideChar on Windows); null otherwise.
CodePageFileSystem::Decoder AnsiDecoderForCodePage(unsigned codePage);

}  // namespace qelvaro
