#pragma once

namespace ZiRez {

// The program's use of the socket layer, held by main for as long as it uses sockets:
// Winsock 2.0 started on Windows (WSAStartup) and cleaned up at the end; on Linux SIGPIPE
// ignored. Throws std::runtime_error when Winsock cannot start.
class CWinsockSession
{
public:
    CWinsockSession();
    ~CWinsockSession();
    CWinsockSession(const CWinsockSession&) = delete;
    CWinsockSession& operator=(const CWinsockSession&) = delete;
};

} // namespace ZiRez
