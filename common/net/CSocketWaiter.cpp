#include "net/CSocketWaiter.h"

#include "net/SocketErrors.h"
#include "platform/CEvent.h"

#include <algorithm>

namespace ZiRez {

void CSocketWaiter::AddSocket(SocketHandle socket)
{
    if (std::find(m_sockets.begin(), m_sockets.end(), socket) == m_sockets.end()) {
        m_sockets.push_back(socket);
    }
}

void CSocketWaiter::AddEvent(Platform::CEvent* event)
{
    if (event != nullptr && std::find(m_events.begin(), m_events.end(), event) == m_events.end()) {
        m_events.push_back(event);
    }
}

int CSocketWaiter::KindOf(SocketHandle socket) const
{
    return m_readyEvent == nullptr && socket != INVALID_SOCKET_HANDLE && socket == m_readySocket ? m_readyKind
                                                                                                 : KIND_NONE;
}

int CSocketWaiter::KindOf(const Platform::CEvent* event) const
{
    return event != nullptr && event == m_readyEvent ? m_readyKind : KIND_NONE;
}

int CSocketWaiter::Wait(int32_t timeOut, bool read, bool write, bool exceptional)
{
    m_readySocket = INVALID_SOCKET_HANDLE;
    m_readyEvent = nullptr;
    m_readyKind = KIND_NONE;
    if (timeOut == 0) {
        return 0;
    }
    return Poll(timeOut, read, write, exceptional);
}

} // namespace ZiRez
