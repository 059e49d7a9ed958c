#include "net/CClientSocket.h"

#include "SystemSockets.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "net/CSocketTimeOut.h"
#include "net/CSocketWaiter.h"
#include "net/SocketErrors.h"
#include "net/StackProbe.h"
#include "platform/CEvent.h"

namespace ZiRez {

CClientSocket::CClientSocket(uint16_t family, Platform::CEvent* cancelEvent, int32_t timeOut)
    : CClientSocket(family, cancelEvent, timeOut, IsIPv4Available(), IsIPv6Available())
{}

CClientSocket::CClientSocket(uint16_t family, Platform::CEvent* cancelEvent, int32_t timeOut, bool ipv4Available,
                             bool ipv6Available)
    : m_socket(family, SOCKET_STREAM, ipv4Available, ipv6Available), m_cancelEvent(cancelEvent), m_timeOut(timeOut)
{}

CClientSocket::~CClientSocket()
{
    m_socket.Close();
}

void CClientSocket::LimitWaits(int32_t timeOut)
{
    m_timeOut = timeOut;
    if (ConnectionSocket() != INVALID_SOCKET_HANDLE) {
        Sys::SetSendTimeOut(ConnectionSocket(), timeOut);
    }
}

SocketHandle CClientSocket::ConnectionSocket() const
{
    return m_socket.Family() == FAMILY_INET6 ? m_socket.IPv6Socket() : m_socket.IPv4Socket();
}

void CClientSocket::SelectFamily(const std::string& host)
{
    if (IsIPv4Host(host)) {
        m_socket.SetFamily(FAMILY_INET);
    } else if (IsIPv6Host(host)) {
        m_socket.SetFamily(FAMILY_INET6);
    } else {
        m_socket.SetFamily(FAMILY_UNSPEC);
    }
}

void CClientSocket::Connect(const std::string& host, uint16_t port)
{
    SelectFamily(host);
    m_socket.ControlMode(MODE_FIONBIO, 1);

    const uint16_t family = GetAddressFamily(host);
    sockaddr_storage address{};
    static_assert(sizeof address >= ADDRESS_STORE_SIZE);
    NetStringToAddress(&address, host, port);
    SocketHandle socket;
    socklen_t length;
    const char* familyText;
    if (family == FAMILY_INET) {
        socket = m_socket.IPv4Socket();
        length = IPV4_ADDRESS_SIZE;
        familyText = "(IPv4) ";
    } else if (family == FAMILY_INET6) {
        socket = m_socket.IPv6Socket();
        length = IPV6_ADDRESS_SIZE;
        familyText = "(IPv6) ";
    } else {
        throw CSocketError("(UNSPEC) Socket Connect Error!", 6);
    }
    // Non-blocking connect: EINPROGRESS is the would-block answer; after EINTR the connection
    // also goes on in the background.
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), length) != 0 &&
        Sys::LastError() != Sys::kInProgress && Sys::LastError() != Sys::kInterrupted) {
        Sys::RecordError(Sys::LastError());
        throw CSocketError(std::string("CBaseSocket::Connect: ") + CBaseSocket::GetErrorText() + familyText +
                               "Socket Connect Error!",
                           6);
    }

    CSocketWaiter waiter;
    waiter.AddSocket(ConnectionSocket());
    waiter.AddEvent(m_cancelEvent);
    const int waited = waiter.Wait(m_timeOut, false, true);
    if (waited == 0) {
        SetLastSocketError(10060);
        throw CSocketTimeOut("Socket TimeOut Error!", 6);
    }
    if (waited < 0) {
        throw CSocketError("CClientSocket::Connect(): SocketEvent Wait Error!", 9);
    }
    m_socket.ControlMode(MODE_FIONBIO, 0);
    if (m_cancelEvent != nullptr && waiter.KindOf(m_cancelEvent) == CSocketWaiter::KIND_READ) {
        throw CSocketEvent();
    }
    if (waiter.KindOf(ConnectionSocket()) != CSocketWaiter::KIND_WRITE) {
        throw CSocketError("Socket Connect Error!", 6);
    }
    // Writable with a pending error is a refused or failed connection, not a connection.
    const int pending = Sys::PendingError(ConnectionSocket());
    if (pending != 0) {
        Sys::RecordError(pending);
        throw CSocketError("Socket Connect Error!", 6);
    }
    // A peer that stops reading must not hold a writer for ever.
    if (m_timeOut > 0) {
        Sys::SetSendTimeOut(ConnectionSocket(), m_timeOut);
    }
}

} // namespace ZiRez
