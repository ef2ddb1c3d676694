// host_error.h -- the one error type of the host: a sentence a user can act on.
#pragma once

#include <stdexcept>
#include <string>

namespace gloamer {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace gloamer
