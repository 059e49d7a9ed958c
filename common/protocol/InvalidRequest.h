#pragma once

#include <stdexcept>
#include <string>

namespace KeyServer {

// The peer does not support the request.
class InvalidRequest : public std::runtime_error
{
public:
    explicit InvalidRequest(const std::string& message) : std::runtime_error(message) {}
};

} // namespace KeyServer
