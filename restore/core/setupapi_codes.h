#pragma once
// Naming the error codes a driver install can end with, so that a user (or whoever
// they ask) can look them up: SetupAPI's 0xE000xxxx codes by their symbolic name,
// Win32 codes by number, and the system's own text after them.

#include <string>
#include <string_view>

namespace qelvaro::restore {

// "ERROR_IN_WOW64" for 0xE0000235; "" for a code that is not SetupAPI's.
std::string_view SetupApiErrorName(unsigned long code);

bool IsSetupApiError(unsigned long code);

// The HRESULT form (0x800F0xxx) under which the system's message table has the text.
unsigned long SetupApiHresult(unsigned long code);

// "5" for Win32 codes, "0xE000022F" for larger ones.
std::string FormatErrorCode(unsigned long code);

// "0xE000022F ERROR_NO_CATALOG_FOR_OEM_INF: <system text>".
std::string DescribeInstallError(unsigned long code, std::string_view systemText);

}  // namespace qelvaro::restore
