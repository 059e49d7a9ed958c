#include "net/CWinsockSession.h"

#include <csignal>

namespace ZiRez {

// Nothing to start on Linux; a peer that closes must never end the program (SIGPIPE).
CWinsockSession::CWinsockSession()
{
    std::signal(SIGPIPE, SIG_IGN);
}

CWinsockSession::~CWinsockSession() = default;

} // namespace ZiRez
