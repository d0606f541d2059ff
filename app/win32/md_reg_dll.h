#pragma once
// Registers a COM server DLL by running its DllRegisterServer entry on a worker
// thread, with a time limit.

#include <cstdint>
#include <string>

namespace qelvaro {

namespace regdll {
inline constexpr std::int32_t kThreadFailed = 0;
inline constexpr std::int32_t kLoadFailed = 1;
inline constexpr std::int32_t kNoEntry = 2;
inline constexpr std::int32_t kTimedOut = 3;
inline constexpr std::int32_t kCompleted = 4;
inline constexpr std::int32_t kEmptyPath = 7;
inline constexpr std::uint32_t kTimeLimitMs = 10000;
}  // namespace regdll

// One of the codes above, or the Windows error code of an unexpected failure.
// The entry's own result is not examined. Shows nothing.
std::int32_t RegisterServerDll(const std::string& path, std::uint32_t timeLimitMs = regdll::kTimeLimitMs);

}  // namespace qelvaro
