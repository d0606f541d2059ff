#pragma once
// The meaning Windows' INF parser gives a line, on top of the profile-file reader
// (which keeps a comment after a value as part of it, as the profile functions do).
// A value ends at a ";" outside double quotes; it splits into fields at "," outside
// quotes; blanks around a field go; a quoted stretch is taken literally, without
// its quotes, and "" inside quotes stands for one quote.
//
// Decorated sections: an INF may name a section for one platform
// ("SourceDisksFiles.amd64", "CatalogFile.NTamd64"). The platform is the running
// machine's native architecture, never that of a 32-bit process on 64-bit Windows.

#include <string>
#include <string_view>
#include <vector>

namespace qelvaro {

// The value as one field: up to a ";" outside quotes, blanks around it removed, and
// one pair of outer quotes removed. Commas stay ("12,System32\drivers").
std::string InfValue(std::string_view raw);

// The comma-separated fields of a value (at least one, possibly empty).
std::vector<std::string> InfFields(std::string_view raw);

enum class MachineArch { X86, Amd64, Arm64 };

// "x86", "amd64", "arm64": the suffix of decorated sections.
std::string_view ArchDecoration(MachineArch arch);

// The architecture a name such as "x86", "amd64", "arm64" (any case) gives.
bool ParseMachineArch(std::string_view name, MachineArch& arch);

}  // namespace qelvaro
