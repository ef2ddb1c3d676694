// host_error.h -- the one error type of the host: a sentence a user can act on.
#pragma once

#include <stdexcept>
#include <string>

namespace gloamer {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

// A mistake in the command line itself (a value no option takes, a needed file not named): exit status 2.
class UsageError : public HostError {
public:
    using HostError::HostError;
};

// Ctrl-C, SIGTERM or SIGHUP came while the host waited on something it cannot finish: it ends with 128 + the
// signal, and nothing it was making is left behind.
class StopRequested : public std::runtime_error {
public:
    StopRequested() : std::runtime_error("stopped") {}
};

} // namespace gloamer
