#include "net/CWinsockSession.h"
#include "platform/win32/Win32.h"

#include <stdexcept>
#include <string>

namespace ZiRez {

CWinsockSession::CWinsockSession()
{
    WSADATA data;
    if (const int code = WSAStartup(MAKEWORD(2, 0), &data); code != 0) {
        throw std::runtime_error("WSAStartup failed: " + std::to_string(code));
    }
}

CWinsockSession::~CWinsockSession()
{
    WSACleanup();
}

} // namespace ZiRez
