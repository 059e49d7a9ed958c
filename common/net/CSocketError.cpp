#include "net/CSocketError.h"

namespace ZiRez {

CSocketError::CSocketError(const std::string& message, int32_t code) : std::logic_error(message), CSocketErrorBase(code)
{}

CSocketError::~CSocketError() = default;

} // namespace ZiRez
