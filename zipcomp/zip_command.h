// `qelvaro zip FOLDER ARCHIVE [--level N] [--password P] [--move] [--follow-links]`.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace zipcomp {

// `args` are the words after "zip". Returns the process exit code: 0 done, 1 the zip
// failed (nothing lost), 2 bad usage. A progress bar is drawn when `out` is the
// standard output and that is a terminal.
int runZipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runZipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressBar);

}  // namespace zipcomp
