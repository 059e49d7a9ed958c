#pragma once

#include "net/CSocketErrorBase.h"

#include <stdexcept>
#include <string>

namespace ZiRez {

// A wait ran out of time. Deliberately not a CSocketError: callers catch it separately.
class CSocketTimeOut : public std::logic_error, public CSocketErrorBase
{
public:
    CSocketTimeOut(const std::string& message, int32_t code);
    ~CSocketTimeOut() override;
};

} // namespace ZiRez
