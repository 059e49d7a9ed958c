#pragma once

#include <stdexcept>
#include <string>

namespace KeyServer {

// The peer refused the cooperation password.
class AuthError : public std::runtime_error
{
public:
    explicit AuthError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace KeyServer
