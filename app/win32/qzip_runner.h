#pragma once
// Packing through the zip component's DLL that the program wrote next to itself and
// registered at start: loaded by its full path (never searched for), driven through
// its C interface, its progress and its errors passed on as the linked-in component's
// are.

#include <windows.h>

#include <string>

#include "zip_packaging.h"

namespace qelvaro {

class QzipLibrary {
 public:
  // Loads the DLL at `path`, a full path; !loaded() when it cannot be loaded or lacks
  // the interface, with why() saying so.
  explicit QzipLibrary(const std::string& path);
  ~QzipLibrary();
  QzipLibrary(const QzipLibrary&) = delete;
  QzipLibrary& operator=(const QzipLibrary&) = delete;

  bool loaded() const { return zip_ != nullptr; }
  const std::string& why() const { return why_; }

  // Packs as the linked-in component does (a ZipRunner).
  ZipOutcome run(const PackSettings& settings, const BytesPercent& bytesPercent) const;

 private:
  HMODULE module_ = nullptr;
  FARPROC zip_ = nullptr;
  FARPROC describe_ = nullptr;
  std::string why_;
};

}  // namespace qelvaro
