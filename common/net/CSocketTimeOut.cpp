#include "net/CSocketTimeOut.h"

namespace ZiRez {

CSocketTimeOut::CSocketTimeOut(const std::string& message, int32_t code)
    : std::logic_error(message), CSocketErrorBase(code)
{}

CSocketTimeOut::~CSocketTimeOut() = default;

} // namespace ZiRez
