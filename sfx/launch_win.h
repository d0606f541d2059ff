#pragma once
// Starting the program a package names, once it is unpacked.

#include <windows.h>

#include "sfx/sfx_exit_codes.h"
#include "sfx_format/sfx_settings.h"
#include "sfx/wide_buffer_win.h"

namespace qsfx {

// How a run ends: the exit code, and the message shown (when there is one).
struct Outcome {
    int code = kExitOk;
    const char* text = nullptr;  // the message, when there is one
    WStr detail;                 // a path that follows it
};

// Expands the placeholders of a setting into wide text.
WStr expand(const char* text, const char* temp, const char* dir, bool quote);

// Starts the program of `settings` (never searched for: a relative name means `folder`)
// with its parameters, in `folder`; in install mode waits for it and ends with its code.
Outcome runProgram(const Settings& settings, const char* temp, const WStr& folder);

}  // namespace qsfx
