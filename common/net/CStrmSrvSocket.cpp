#include "net/CStrmSrvSocket.h"

#include "SystemSockets.h"
#include "net/CServerConnection.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "net/CSocketTimeOut.h"
#include "net/CSocketWaiter.h"
#include "net/SocketErrors.h"
#include "platform/CEvent.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace ZiRez {

namespace {

using Clock = std::chrono::steady_clock;

// Out of descriptors: the pending connection stays queued; give other threads time to close.
constexpr int kDescriptorShortagePauseMs = 100;

// How far past a request's deadline the silence limit may end a wait before the wait is cut
// to the deadline instead.
constexpr int kDeadlineSlackMs = 100;

// Both families' listeners, numbered as ListenerCount() tells.
constexpr int kListenerCount = 2 * Sys::kListenersPerFamily;

int32_t TranslateFamily(uint16_t family)
{
    switch (family) {
    case FAMILY_INET:
        return AF_INET;
    case FAMILY_INET6:
        return AF_INET6;
    default:
        return AF_UNSPEC;
    }
}

// After a failed accept(): records the error and throws when the listener failed; true
// when descriptors or memory ran out (the caller pauses), false when only the pending
// connection was lost.
bool AcceptFailedForWantOfResources()
{
    const int error = Sys::LastError();
    Sys::RecordError(error);
    if (!Sys::IsResourceShortage(error) && !Sys::IsTransientAcceptError(error)) {
        throw CSocketError("Socket Accept Error!", 4);
    }
    return Sys::IsResourceShortage(error);
}

int RemainingMs(int32_t timeOut, Clock::time_point deadline)
{
    if (timeOut < 0) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

CStrmSrvSocket::CStrmSrvSocket(uint16_t family, int32_t type, bool ipv4Available, bool ipv6Available, uint16_t port,
                               Platform::CEvent* cancelEvent, int32_t timeOut)
    : CServerSocket(family, type, ipv4Available, ipv6Available, port, cancelEvent, timeOut),
      m_readCancelEvent(cancelEvent), m_readTimeOut(timeOut)
{}

CStrmSrvSocket::~CStrmSrvSocket()
{
    // Connections still listed are released here too; a connection thread that still holds
    // one keeps it open until it lets go.
    m_slots.ShutDownAll();
}

void CStrmSrvSocket::Open(uint16_t port)
{
    m_port = port;
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = TranslateFamily(m_socket.Family());
    hints.ai_socktype = SOCK_STREAM;
    char service[8];
    std::snprintf(service, sizeof service, "%u", static_cast<unsigned>(port));
    addrinfo* results = nullptr;
    const int resolved = getaddrinfo(nullptr, service, &hints, &results);
    if (resolved != 0) {
        SetLastSocketErrorFromResolver(resolved);
        throw CSocketError("Socket Open GetAddrInfo Error!", 1);
    }
    struct Release
    {
        addrinfo* list;
        ~Release() { freeaddrinfo(list); }
    } release{results};
    const bool sharing = Sys::kListenersPerFamily > 1;
    if (sharing && port != 0) {
        // Sockets that share a port would join another program's that do too: the port is
        // taken unless a socket that shares nothing can bind it.
        CBaseSocket probe(m_socket.Family(), SOCKET_STREAM, m_socket.IPv4Available(), m_socket.IPv6Available());
        probe.Open();
        BindPassive(probe, results, 0, 0);
    }
    m_socket.Open();
    if (sharing) {
        m_socket.SharePort();
    }
    BindPassive(m_socket, results, 0, 0);
    m_socket.Listen();
    // The others on the ports the first pair took (a port 0 asked for becomes one per family).
    const uint16_t ipv4Port = m_socket.BoundPort(FAMILY_INET);
    const uint16_t ipv6Port = m_socket.BoundPort(FAMILY_INET6);
    m_sharers.clear();
    for (int pair = 1; pair < Sys::kListenersPerFamily; ++pair) {
        auto sharer = std::make_unique<CBaseSocket>(m_socket.Family(), SOCKET_STREAM, m_socket.IPv4Available(),
                                                    m_socket.IPv6Available());
        sharer->Open();
        sharer->SharePort();
        BindPassive(*sharer, results, ipv4Port, ipv6Port);
        sharer->Listen();
        m_sharers.push_back(std::move(sharer));
    }
    for (int listener = 0; listener < ListenerCount(); ++listener) {
        const SocketHandle socket = ListenerSocket(listener);
        if (socket != INVALID_SOCKET_HANDLE) {
            // A pending connection that vanishes before accept() must not block its caller.
            Sys::SetNonBlocking(socket, true);
            ApplyTimeOuts(socket);
        }
    }
}

void CStrmSrvSocket::BindPassive(CBaseSocket& pair, const addrinfo* results, uint16_t ipv4Port, uint16_t ipv6Port)
{
    for (const addrinfo* address = results; address != nullptr; address = address->ai_next) {
        sockaddr_storage bound{};
        if (address->ai_addrlen > sizeof bound) {
            continue;
        }
        std::memcpy(&bound, address->ai_addr, address->ai_addrlen);
        if (address->ai_family == AF_INET && pair.IPv4Available() && pair.AppliesToIPv4()) {
            if (ipv4Port != 0) {
                reinterpret_cast<sockaddr_in*>(&bound)->sin_port = htons(ipv4Port);
            }
            pair.Bind(reinterpret_cast<const sockaddr*>(&bound), address->ai_addrlen);
        } else if (address->ai_family == AF_INET6 && pair.IPv6Available() && pair.AppliesToIPv6()) {
            if (ipv6Port != 0) {
                reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port = htons(ipv6Port);
            }
            pair.Bind(reinterpret_cast<const sockaddr*>(&bound), address->ai_addrlen);
        }
    }
}

int CStrmSrvSocket::ListenerCount()
{
    return kListenerCount;
}

SocketHandle CStrmSrvSocket::ListenerSocket(int listener) const
{
    const auto pair = static_cast<size_t>(listener / 2);
    if (listener < 0 || pair > m_sharers.size()) {
        return INVALID_SOCKET_HANDLE;
    }
    const CBaseSocket& sockets = pair == 0 ? m_socket : *m_sharers[pair - 1];
    return listener % 2 == 1 ? sockets.IPv6Socket() : sockets.IPv4Socket();
}

void CStrmSrvSocket::ApplyTimeOuts(SocketHandle socket) const
{
    const int limit = m_readTimeOut > 0 ? m_readTimeOut : 0;
    Sys::SetTimeOuts(socket, limit, m_readCancelEvent == nullptr ? limit : 0);
}

int CStrmSrvSocket::Accept()
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeOut < 0 ? 0 : m_timeOut);
    for (;;) {
        CSocketWaiter waiter;
        std::vector<SocketHandle> listeners;
        for (int number = 0; number < ListenerCount(); ++number) {
            const SocketHandle socket = ListenerSocket(number);
            if (socket != INVALID_SOCKET_HANDLE) {
                listeners.push_back(socket);
                waiter.AddSocket(socket);
            }
        }
        waiter.AddEvent(m_cancelEvent);
        const int waited = waiter.Wait(RemainingMs(m_timeOut, deadline), true);
        if (waited == 0) {
            throw CSocketTimeOut("Socket TimeOut Error!", 4);
        }
        if (waited < 0) {
            throw CSocketError("CStrmSrvSocket::Accept(): SocketEvent Wait Error!", 9);
        }
        const auto ready = std::find_if(listeners.begin(), listeners.end(), [&](SocketHandle socket) {
            return waiter.KindOf(socket) == CSocketWaiter::KIND_READ;
        });
        if (ready == listeners.end()) {
            if (m_cancelEvent != nullptr && waiter.KindOf(m_cancelEvent) == CSocketWaiter::KIND_READ) {
                throw CSocketEvent();
            }
            throw CSocketError("Socket Accept Error!", 4);
        }
        const SocketHandle listener = *ready;

        const int index = AcceptOn(listener);
        if (index >= 0) {
            return index;
        }
        if (AcceptFailedForWantOfResources()) {
            CSocketWaiter pause;
            pause.AddEvent(m_cancelEvent);
            if (m_cancelEvent != nullptr) {
                if (pause.Wait(kDescriptorShortagePauseMs, true) > 0) {
                    throw CSocketEvent();
                }
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(kDescriptorShortagePauseMs));
            }
        }
        if (m_timeOut > 0 && RemainingMs(m_timeOut, deadline) == 0) {
            throw CSocketTimeOut("Socket TimeOut Error!", 4);
        }
    }
}

int CStrmSrvSocket::AcceptOn(SocketHandle listener)
{
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    const SocketHandle accepted = Sys::AcceptSocket(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (accepted == INVALID_SOCKET_HANDLE) {
        return -1;
    }
    // The socket carries the time-outs of its listener where the system hands them on.
    if (!Sys::kAcceptKeepsTimeOuts) {
        ApplyTimeOuts(accepted);
    }
    return m_slots.Take(std::make_shared<CServerConnection>(accepted, m_timeOutsVersion, peer, peerLength));
}

int CStrmSrvSocket::TryAccept(int listener)
{
    int index = -1;
    bool shortage = false;
    UseListener(listener, [&](SocketHandle socket) {
        index = AcceptOn(socket);
        shortage = index < 0 && AcceptFailedForWantOfResources();
    });
    if (shortage) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kDescriptorShortagePauseMs));
    }
    return index;
}

int CStrmSrvSocket::TryAcceptQueued()
{
    std::array<int, kListenerCount> lengths{};
    bool told = false;
    {
        std::shared_lock<std::shared_mutex> listeners(m_listenersLock);
        std::array<SocketHandle, kListenerCount> sockets{};
        for (int listener = 0; listener < kListenerCount; ++listener) {
            sockets[static_cast<size_t>(listener)] = ListenerSocket(listener);
        }
        told = Sys::QueuedConnections(sockets, lengths);
    }
    if (!told) {
        for (int listener = 0; listener < kListenerCount; ++listener) {
            if (const int index = TryAccept(listener); index >= 0) {
                return index;
            }
        }
        return -1;
    }
    int oldest = -1;
    {
        std::lock_guard<std::mutex> guard(m_queueAgesLock);
        oldest = m_queueAges.Oldest(lengths, Clock::now());
    }
    // Accepted without the lock: another worker that picked the same queue meanwhile finds it
    // empty at worst, and the next look at the lengths mends the stamps.
    const int index = oldest < 0 ? -1 : TryAccept(oldest);
    if (index >= 0) {
        std::lock_guard<std::mutex> guard(m_queueAgesLock);
        m_queueAges.Took(oldest);
    }
    return index;
}

void CStrmSrvSocket::CloseListeners()
{
    std::unique_lock<std::shared_mutex> listeners(m_listenersLock);
    m_socket.Close();
    for (const auto& sharer : m_sharers) {
        sharer->Close();
    }
}

void CStrmSrvSocket::DisableNagle()
{
    m_socket.DisableNagle();
    for (const auto& sharer : m_sharers) {
        sharer->DisableNagle();
    }
}

int CStrmSrvSocket::WaitAllowedMs(CServerConnection& connection, bool socketTimeOuts, int code)
{
    if (socketTimeOuts && connection.timeOutsVersion != m_timeOutsVersion) {
        ApplyTimeOuts(connection.Socket());
        connection.timeOutsVersion = m_timeOutsVersion;
    }
    const int32_t deadline = m_requestDeadlineMs.load(std::memory_order_relaxed);
    if (deadline < 0) {
        return m_readTimeOut;
    }
    const auto left = std::chrono::milliseconds(deadline) -
                      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - connection.Accepted());
    if (left.count() <= 0) {
        throw CSocketTimeOut("Request TimeOut Error!", code);
    }
    if (m_readTimeOut > 0 && left.count() + kDeadlineSlackMs >= m_readTimeOut) {
        return m_readTimeOut;
    }
    const int allowed = static_cast<int>(left.count());
    if (socketTimeOuts) {
        if (m_readCancelEvent == nullptr) {
            Sys::SetTimeOuts(connection.Socket(), allowed, allowed);
        } else {
            Sys::SetSendTimeOut(connection.Socket(), allowed);
        }
        // The next change of the read wait puts the usual time-outs back.
        connection.timeOutsVersion = m_timeOutsVersion - 1;
    }
    return allowed;
}

int CStrmSrvSocket::ReceiveBlocking(CServerConnection& connection, void* buffer, int length)
{
    const int allowed = WaitAllowedMs(connection, true, 3);
    connection.AwaitPeer();
    for (;;) {
        const long got = Sys::ReceiveSome(connection.Socket(), buffer, length < 0 ? 0 : length);
        if (got >= 0) {
            if (got > 0) {
                connection.Heard();
            }
            return static_cast<int>(got);
        }
        const int error = Sys::LastError();
        if (connection.IsShutDown()) {
            return 0;
        }
        if (Sys::IsTimeOut(error)) {
            throw CSocketTimeOut(allowed == m_readTimeOut ? "Socket TimeOut Error!" : "Request TimeOut Error!", 3);
        }
        if (error != Sys::kInterrupted) {
            Sys::RecordError(error);
            throw CSocketError("CBaseSocket::Recv: ReceiveData Error!", 3);
        }
    }
}

int CStrmSrvSocket::Read(int index, void* buffer, int length)
{
    const std::shared_ptr<CServerConnection> connection = m_slots.Find(index);
    if (connection && m_readCancelEvent == nullptr && length >= 0) {
        return ReceiveBlocking(*connection, buffer, length);
    }
    // Winsock's waits never see a socket shut down before they began.
    if (connection && connection->IsShutDown()) {
        return 0;
    }
    const SocketHandle socket = connection ? connection->Socket() : INVALID_SOCKET_HANDLE;
    const int allowed = connection ? WaitAllowedMs(*connection, false, 3) : m_readTimeOut;
    CSocketWaiter waiter;
    waiter.AddSocket(socket);
    waiter.AddEvent(m_readCancelEvent);
    if (connection) {
        connection->AwaitPeer();
    }
    waiter.EndWhenSet(connection ? connection->ShutDownFlag() : nullptr);
    const int waited = waiter.Wait(allowed, true);
    if (connection && connection->IsShutDown()) {
        return 0;
    }
    if (waited == 0) {
        throw CSocketTimeOut(allowed == m_readTimeOut ? "Socket TimeOut Error!" : "Request TimeOut Error!", 3);
    }
    if (waited < 0) {
        throw CSocketError("CStrmSrvSocket::Read(): SocketEvent Wait Error!", 9);
    }
    if (waiter.KindOf(socket) == CSocketWaiter::KIND_READ) {
        const int got = m_socket.Recv(socket, buffer, length);
        if (got > 0) {
            connection->Heard();
        }
        return got;
    }
    if (m_readCancelEvent != nullptr && waiter.KindOf(m_readCancelEvent) == CSocketWaiter::KIND_READ) {
        throw CSocketEvent();
    }
    throw CSocketError("Socket Read Error!", 3);
}

int CStrmSrvSocket::Write(int index, const void* bytes, int length)
{
    const std::shared_ptr<CServerConnection> connection = m_slots.Find(index);
    if (connection) {
        WaitAllowedMs(*connection, true, 2);
    }
    return m_socket.Send(connection ? connection->Socket() : INVALID_SOCKET_HANDLE, bytes, length);
}

void CStrmSrvSocket::CloseConnection(int index)
{
    m_slots.Release(index);
}

void CStrmSrvSocket::Close()
{
    m_slots.ShutDownAll();
    CloseListeners();
}

void CStrmSrvSocket::SetReadWait(Platform::CEvent* cancelEvent, int32_t timeOut)
{
    m_readCancelEvent = cancelEvent;
    m_readTimeOut = timeOut;
    ++m_timeOutsVersion;
    for (int listener = 0; listener < ListenerCount(); ++listener) {
        const SocketHandle socket = ListenerSocket(listener);
        if (socket != INVALID_SOCKET_HANDLE) {
            ApplyTimeOuts(socket);
        }
    }
}

bool CStrmSrvSocket::PeerProgressing(int index, std::chrono::milliseconds recent) const
{
    const std::shared_ptr<CServerConnection> connection = m_slots.Find(index);
    return !connection || connection->Progressing(Clock::now(), recent);
}

std::string CStrmSrvSocket::GetPeerAddress(int index) const
{
    const std::shared_ptr<CServerConnection> connection = m_slots.Find(index);
    return connection ? connection->PeerText() : std::string();
}

CPeerAddress CStrmSrvSocket::GetPeer(int index) const
{
    const std::shared_ptr<CServerConnection> connection = m_slots.Find(index);
    return connection ? connection->Peer() : CPeerAddress();
}

SocketHandle CStrmSrvSocket::ConnectionHandle(int index) const
{
    const std::shared_ptr<CServerConnection> connection = m_slots.Find(index);
    return connection ? connection->Socket() : INVALID_SOCKET_HANDLE;
}

int CStrmSrvSocket::SendNow(int index, const void* bytes, int length)
{
    const std::shared_ptr<CServerConnection> connection = m_slots.Find(index);
    if (!connection || length < 0) {
        return -1;
    }
    long sent;
    do {
        sent = Sys::SendWithoutWaiting(connection->Socket(), bytes, length);
    } while (sent < 0 && Sys::LastError() == Sys::kInterrupted);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int CStrmSrvSocket::ReceiveNow(int index, void* buffer, int length)
{
    const std::shared_ptr<CServerConnection> connection = m_slots.Find(index);
    if (!connection || length < 0) {
        return 0;
    }
    long got;
    do {
        got = Sys::ReceiveWithoutWaiting(connection->Socket(), buffer, length);
    } while (got < 0 && Sys::LastError() == Sys::kInterrupted);
    if (got < 0) {
        return Sys::LastError() == Sys::kWouldBlock ? -1 : 0;
    }
    return static_cast<int>(got);
}

} // namespace ZiRez
