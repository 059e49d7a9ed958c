#include "net/CSocketErrorBase.h"

namespace ZiRez {

CSocketErrorBase::~CSocketErrorBase() = default;

} // namespace ZiRez
