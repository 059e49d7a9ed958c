#include "net/CSocketEvent.h"

namespace ZiRez {

CSocketEvent::CSocketEvent() : std::logic_error("User Set Event Signal.") {}

CSocketEvent::~CSocketEvent() = default;

} // namespace ZiRez
