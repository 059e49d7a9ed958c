#include "net/CServerSocket.h"

namespace ZiRez {

CServerSocket::CServerSocket(uint16_t family, int32_t type, bool ipv4Available, bool ipv6Available, uint16_t port,
                             Platform::CEvent* cancelEvent, int32_t timeOut)
    : m_socket(family, type, ipv4Available, ipv6Available), m_port(port), m_cancelEvent(cancelEvent), m_timeOut(timeOut)
{}

CServerSocket::~CServerSocket()
{
    m_socket.Close();
}

} // namespace ZiRez
