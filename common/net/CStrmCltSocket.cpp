#include "net/CStrmCltSocket.h"

#include "SystemSockets.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "net/CSocketTimeOut.h"
#include "net/CSocketWaiter.h"
#include "platform/CEvent.h"

#include <cstring>

namespace ZiRez {

CStrmCltSocket::CStrmCltSocket(uint16_t family, Platform::CEvent* cancelEvent, int32_t timeOut)
    : CClientSocket(family, cancelEvent, timeOut)
{}

CStrmCltSocket::~CStrmCltSocket() = default;

void CStrmCltSocket::Open(const std::string& host, uint16_t port)
{
    SelectFamily(host);
    std::memset(m_peerAddress, 0, sizeof m_peerAddress);
    const uint16_t family = m_socket.Family();
    if (family == FAMILY_INET || family == FAMILY_INET6) {
        const bool ipv4 = family == FAMILY_INET;
        StringToAddress(family, host, m_peerAddress, ipv4 ? IPV4_ADDRESS_SIZE : IPV6_ADDRESS_SIZE);
        if (ipv4) {
            auto* address = reinterpret_cast<sockaddr_in*>(m_peerAddress);
            address->sin_family = AF_INET;
            address->sin_port = htons(port);
        } else {
            auto* address = reinterpret_cast<sockaddr_in6*>(m_peerAddress);
            address->sin6_family = AF_INET6;
            address->sin6_port = htons(port);
        }
    }
    m_socket.Open();
    Connect(host, port);
}

int CStrmCltSocket::Write(const void* bytes, int length)
{
    return m_socket.Send(ConnectionSocket(), bytes, length);
}

int CStrmCltSocket::Read(void* buffer, int length, void* addressOut, int* lengthOut)
{
    if (addressOut != nullptr) {
        std::memcpy(addressOut, m_peerAddress, sizeof m_peerAddress);
    }
    if (lengthOut != nullptr) {
        *lengthOut = static_cast<int>(sizeof m_peerAddress);
    }
    const SocketHandle socket = ConnectionSocket();
    CSocketWaiter waiter;
    waiter.AddSocket(socket);
    waiter.AddEvent(m_cancelEvent);
    const int waited = waiter.Wait(m_timeOut, true);
    if (waited == 0) {
        throw CSocketTimeOut("Socket TimeOut Error!", 3);
    }
    if (waited < 0) {
        throw CSocketError("CStrmCltSocket::Read(): SocketEvent Wait Error!", 9);
    }
    if (waiter.KindOf(socket) == CSocketWaiter::KIND_READ) {
        return m_socket.Recv(socket, buffer, length);
    }
    if (m_cancelEvent != nullptr && waiter.KindOf(m_cancelEvent) == CSocketWaiter::KIND_READ) {
        throw CSocketEvent();
    }
    throw CSocketError("Socket Read Error!", 3);
}

} // namespace ZiRez
