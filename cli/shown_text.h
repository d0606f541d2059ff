#pragma once
// Outside data (names from a registry, an INF, a checksum list, an archive) as the
// command line prints it in its text output: a tab or line break in a name would
// forge a column or a line, and an ESC would drive the terminal. --json output has
// its own escapes (json_writer.h).

#include <string>
#include <string_view>

namespace qelvaro {

// `text` with tab, line feed and carriage return as \t, \n and \r, the other C0
// controls, DEL and every byte that is not part of well-formed UTF-8 as \xNN (two
// upper-case hex digits: NUL is \x00, ESC \x1B), and the C1 controls U+0080 to
// U+009F as \u0080 to \u009F. Everything else, backslashes included, stays as it is.
std::string ShownText(std::string_view text);

}  // namespace qelvaro
