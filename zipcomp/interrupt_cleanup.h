// Temporary archives in progress, removed when the process is stopped from outside
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGXFSZ; Ctrl+C or a closed console window on Windows), so that an
// interrupted run does not leave a hidden file of many megabytes behind.
#pragma once

#include <string>

namespace zipcomp {

// Installs the handlers, once per process. Programs call it at start; a library that
// hosts the component in someone else's process leaves the handlers to its host.
void removeTemporariesOnInterrupt();

// Removes every registered temporary file now, as the handlers do.
void removeRegisteredTemporaries();

// Holds one temporary file in the list while it exists.
class TemporaryRegistration {
public:
    explicit TemporaryRegistration(const std::string& path);
    ~TemporaryRegistration();
    TemporaryRegistration(const TemporaryRegistration&) = delete;
    TemporaryRegistration& operator=(const TemporaryRegistration&) = delete;

private:
    int slot_;
};

}  // namespace zipcomp
