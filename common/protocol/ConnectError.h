#pragma once

#include <stdexcept>
#include <string>

namespace KeyServer {

// The connection to a key server could not be made or the request could not be sent.
class ConnectError : public std::runtime_error
{
public:
    explicit ConnectError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace KeyServer
