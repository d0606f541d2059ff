#pragma once
// The manual page qelvaro.1, carried in the program, and its parts as plain text: one
// text for `man qelvaro` and `qelvaro help COMMAND`.

#include <optional>
#include <string>
#include <string_view>

namespace qelvaro {

// The page as the release ships it (generated from cli/qelvaro.1.in).
extern const char kManualPage[];

// The page's section about `command` (its `.SS` heading) as plain text, or nothing
// when the page has none. Knows the few requests the page uses: .nf/.fi, .PP, .TP, .B.
std::optional<std::string> ManualSection(std::string_view page, std::string_view command);

}  // namespace qelvaro
