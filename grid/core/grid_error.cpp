#include "grid_error.h"

namespace qelvaro::grid {

void throwSubscript(const char* what) {
  throw GridError(ErrorNumber::SubscriptOutOfRange, std::string("Subscript out of range: ") + what);
}

void throwOverflow(const char* what) {
  throw GridError(ErrorNumber::Overflow, std::string("Overflow: ") + what);
}

void throwInvalidCall(const char* what) {
  throw GridError(ErrorNumber::InvalidProcedureCall,
                  std::string("Invalid procedure call or argument: ") + what);
}

void throwTypeMismatch(const char* what) {
  throw GridError(ErrorNumber::TypeMismatch, std::string("Type mismatch: ") + what);
}

void throwSettingsError(const std::string& what) {
  throw GridError(ErrorNumber::InvalidProcedureCall, "Invalid procedure call or argument: " + what);
}

}  // namespace qelvaro::grid
