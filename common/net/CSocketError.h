#pragma once

#include "net/CSocketErrorBase.h"

#include <stdexcept>
#include <string>

namespace ZiRez {

// A socket or protocol operation failed; what() is the message, GetCode() the operation.
class CSocketError : public std::logic_error, public CSocketErrorBase
{
public:
    CSocketError(const std::string& message, int32_t code);
    ~CSocketError() override;
};

} // namespace ZiRez
