#include "install_exchange.h"

#include <charconv>

namespace qelvaro::restore {

namespace {

constexpr std::string_view kRequestHeader = "qelvaro-install-request 1";
constexpr std::string_view kOutcomeHeader = "qelvaro-install-outcome 1";
constexpr std::string_view kEnd = "end";

// Line breaks inside a value would start a new key; the system's texts carry some.
std::string oneLine(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    out.push_back(c == '\n' ? ' ' : c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.push_back(line);
    start = end + 1;
  }
  return out;
}

template <typename T>
bool parseNumber(std::string_view text, T& value) {
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

bool parseStatus(std::string_view name, DriverStatus& status) {
  for (DriverStatus s : {DriverStatus::Installed, DriverStatus::Staged, DriverStatus::NeedsRestart,
                         DriverStatus::Incomplete, DriverStatus::Failed, DriverStatus::Unsupported, DriverStatus::Ready}) {
    if (name == DriverStatusName(s)) {
      status = s;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string FormatInstallRequest(const InstallRequest& request) {
  std::string out(kRequestHeader);
  out += "\ninf=" + oneLine(request.inf) + "\n";
  for (const auto& id : request.deviceIds) out += "id=" + oneLine(id) + "\n";
  out += std::string(kEnd) + "\n";
  return out;
}

std::optional<InstallRequest> ParseInstallRequest(std::string_view text) {
  const auto ls = lines(text);
  if (ls.size() < 3 || ls.front() != kRequestHeader || ls.back() != kEnd) return std::nullopt;
  InstallRequest request;
  for (std::size_t i = 1; i + 1 < ls.size(); ++i) {
    const std::string_view line = ls[i];
    if (line.rfind("inf=", 0) == 0) request.inf = std::string(line.substr(4));
    else if (line.rfind("id=", 0) == 0) request.deviceIds.emplace_back(line.substr(3));
    else return std::nullopt;
  }
  if (request.inf.empty()) return std::nullopt;
  return request;
}

std::string FormatInstallOutcome(const InstallOutcome& outcome) {
  std::string out(kOutcomeHeader);
  out += "\nstatus=" + std::string(DriverStatusName(outcome.status));
  out += "\ncode=" + std::to_string(outcome.code);
  out += "\ndevices=" + std::to_string(outcome.devicesUpdated);
  out += "\nkept=" + std::to_string(outcome.devicesKept);
  out += "\ninf=" + oneLine(outcome.storedInf);
  out += "\ntext=" + oneLine(outcome.systemText);
  out += "\n" + std::string(kEnd) + "\n";
  return out;
}

std::optional<InstallOutcome> ParseInstallOutcome(std::string_view text) {
  const auto ls = lines(text);
  if (ls.size() < 2 || ls.front() != kOutcomeHeader || ls.back() != kEnd) return std::nullopt;
  InstallOutcome outcome;
  bool haveStatus = false;
  for (std::size_t i = 1; i + 1 < ls.size(); ++i) {
    const std::string_view line = ls[i];
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "status") haveStatus = parseStatus(value, outcome.status);
    else if (key == "code" && !parseNumber(value, outcome.code)) return std::nullopt;
    else if (key == "devices" && !parseNumber(value, outcome.devicesUpdated)) return std::nullopt;
    else if (key == "kept" && !parseNumber(value, outcome.devicesKept)) return std::nullopt;
    else if (key == "inf") outcome.storedInf = std::string(value);
    else if (key == "text") outcome.systemText = std::string(value);
  }
  if (!haveStatus) return std::nullopt;
  return outcome;
}

int InstallExitCode(const InstallOutcome& outcome) {
  if (outcome.status == DriverStatus::NeedsRestart) return 3010;
  return StatusSucceeded(outcome.status) ? 0 : 1;
}

}  // namespace qelvaro::restore
