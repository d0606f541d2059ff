#pragma once
// The one exception type of the grid. Callers of the control know its failures by
// the classic runtime error numbers, so the number travels with the exception.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qelvaro::grid {

enum class ErrorNumber : std::int32_t {
  InvalidProcedureCall = 5,
  Overflow = 6,
  SubscriptOutOfRange = 9,
  TypeMismatch = 13,
};

class GridError : public std::runtime_error {
 public:
  GridError(ErrorNumber number, const std::string& what)
      : std::runtime_error(what), number_(number) {}
  ErrorNumber number() const noexcept { return number_; }
  std::int32_t code() const noexcept { return static_cast<std::int32_t>(number_); }

 private:
  ErrorNumber number_;
};

[[noreturn]] void throwSubscript(const char* what);
[[noreturn]] void throwOverflow(const char* what);
[[noreturn]] void throwInvalidCall(const char* what);
[[noreturn]] void throwTypeMismatch(const char* what);
// A settings store that could not be read or written; the text names the setting
// and the system's reason.
[[noreturn]] void throwSettingsError(const std::string& what);

}  // namespace qelvaro::grid
