#include "net/CWinsockSession.h"

namespace ZiRez {

CWinsockSession::CWinsockSession() = default;
CWinsockSession::~CWinsockSession() = default;

} // namespace ZiRez
