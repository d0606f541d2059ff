#pragma once
// What a 32-bit restore program and its 64-bit installer exchange through files:
// the request (the staged INF and the device ids) and the outcome. UTF-8 text, one
// "key=value" per line, so that a half-written file is told apart from a result.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "restore_run.h"

namespace qelvaro::restore {

struct InstallRequest {
  std::string inf;
  std::vector<std::string> deviceIds;
};

std::string FormatInstallRequest(const InstallRequest& request);
std::optional<InstallRequest> ParseInstallRequest(std::string_view text);

std::string FormatInstallOutcome(const InstallOutcome& outcome);
// None unless the text is a whole outcome (it ends with the closing line).
std::optional<InstallOutcome> ParseInstallOutcome(std::string_view text);

// The installer's exit code for an outcome: 0, 3010 for a restart, 1 for a failure.
int InstallExitCode(const InstallOutcome& outcome);

}  // namespace qelvaro::restore
