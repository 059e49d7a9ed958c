#include "net/CStrmSrvSocket.h"

#include "SystemSockets.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "net/CSocketTimeOut.h"
#include "net/CSocketWaiter.h"
#include "net/SocketErrors.h"
#include "platform/CEvent.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace ZiRez {

namespace {

using Clock = std::chrono::steady_clock;

// Out of descriptors: the pending connection stays queued; give other threads time to close.
constexpr int kDescriptorShortagePauseMs = 100;

// How far past a request's deadline the silence limit may end a wait before the wait is cut
// to the deadline instead.
constexpr int kDeadlineSlackMs = 100;

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

// The text getnameinfo gives for an IPv4 address, without its detours through the
// resolver and printf: it is asked once per request.
std::string DottedQuad(const sockaddr_in& address)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&address.sin_addr.s_addr);
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            text += '.';
        }
        text += std::to_string(bytes[i]);
    }
    return text;
}

} // namespace

// One accepted connection. The descriptor is closed when the last holder lets go.
struct CStrmSrvSocket::Connection
{
    Connection(SocketHandle s, uint32_t timeOuts, uint64_t heard)
        : socket(s), accepted(Clock::now()), lastHeard(heard), timeOutsVersion(timeOuts)
    {}
    ~Connection() { Sys::CloseSocket(socket); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void ShutDown()
    {
        shutDown.store(true, std::memory_order_release);
        Sys::ShutDownSocket(socket);
    }
    // Shut down here: its reads give the end of the stream, however the system's calls
    // report it (Linux reads the end; Winsock fails the calls).
    bool IsShutDown() const { return shutDown.load(std::memory_order_acquire); }

    const SocketHandle socket;
    const Clock::time_point accepted;
    // When the peer was last heard from (accepted, or bytes received), on the server's
    // hearing count: what orders silence needs, at less than the cost of a clock.
    std::atomic<uint64_t> lastHeard;
    std::atomic<bool> shutDown{false};
    bool dropped = false;     // guarded by the server's lock
    uint32_t timeOutsVersion; // of the time-outs the socket carries; used by its one thread only
    sockaddr_storage peer{};
    socklen_t peerLength = 0;
};

CStrmSrvSocket::CStrmSrvSocket(uint16_t family, int32_t type, bool ipv4Available, bool ipv6Available, uint16_t port,
                               Platform::CEvent* cancelEvent, int32_t timeOut)
    : CServerSocket(family, type, ipv4Available, ipv6Available, port, cancelEvent, timeOut),
      m_readCancelEvent(cancelEvent), m_readTimeOut(timeOut)
{}

CStrmSrvSocket::~CStrmSrvSocket()
{
    // Connections still listed are released here too; a connection thread that still holds
    // one keeps it open until it lets go.
    CloseSlots();
}

void CStrmSrvSocket::Open(uint16_t port)
{
    m_port = port;
    m_socket.Open();

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
    for (const addrinfo* address = results; address != nullptr; address = address->ai_next) {
        if ((address->ai_family == AF_INET && m_socket.IPv4Available() && m_socket.AppliesToIPv4()) ||
            (address->ai_family == AF_INET6 && m_socket.IPv6Available() && m_socket.AppliesToIPv6())) {
            m_socket.Bind(address);
        }
    }
    m_socket.Listen();
    for (const SocketHandle listener : {m_socket.IPv4Socket(), m_socket.IPv6Socket()}) {
        if (listener != INVALID_SOCKET_HANDLE) {
            // A pending connection that vanishes before accept() must not block its caller.
            Sys::SetNonBlocking(listener, true);
            ApplyTimeOuts(listener);
        }
    }
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
        const SocketHandle ipv4 = m_socket.AppliesToIPv4() ? m_socket.IPv4Socket() : INVALID_SOCKET_HANDLE;
        const SocketHandle ipv6 = m_socket.AppliesToIPv6() ? m_socket.IPv6Socket() : INVALID_SOCKET_HANDLE;
        if (m_socket.AppliesToIPv4()) {
            waiter.AddSocket(ipv4);
        }
        if (m_socket.AppliesToIPv6()) {
            waiter.AddSocket(ipv6);
        }
        waiter.AddEvent(m_cancelEvent);
        const int waited = waiter.Wait(RemainingMs(m_timeOut, deadline), true);
        if (waited == 0) {
            throw CSocketTimeOut("Socket TimeOut Error!", 4);
        }
        if (waited < 0) {
            throw CSocketError("CStrmSrvSocket::Accept(): SocketEvent Wait Error!", 9);
        }
        SocketHandle listener;
        if (ipv4 != INVALID_SOCKET_HANDLE && waiter.KindOf(ipv4) == CSocketWaiter::KIND_READ) {
            listener = ipv4;
        } else if (ipv6 != INVALID_SOCKET_HANDLE && waiter.KindOf(ipv6) == CSocketWaiter::KIND_READ) {
            listener = ipv6;
        } else if (m_cancelEvent != nullptr && waiter.KindOf(m_cancelEvent) == CSocketWaiter::KIND_READ) {
            throw CSocketEvent();
        } else {
            throw CSocketError("Socket Accept Error!", 4);
        }

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
    auto connection = std::make_shared<Connection>(accepted, m_timeOutsVersion, NextHearing());
    connection->peer = peer;
    connection->peerLength = peerLength;
    return TakeSlot(std::move(connection));
}

int CStrmSrvSocket::TryAccept(bool ipv6)
{
    int index = -1;
    bool shortage = false;
    UseListener(ipv6, [&](SocketHandle listener) {
        index = AcceptOn(listener);
        shortage = index < 0 && AcceptFailedForWantOfResources();
    });
    if (shortage) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kDescriptorShortagePauseMs));
    }
    return index;
}

void CStrmSrvSocket::CloseListeners()
{
    std::unique_lock<std::shared_mutex> listeners(m_listenersLock);
    m_socket.Close();
}

int CStrmSrvSocket::TakeSlot(std::shared_ptr<Connection> connection)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_inUse;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (!m_slots[i].inUse) {
            m_slots[i].connection = std::move(connection);
            m_slots[i].inUse = true;
            return static_cast<int>(i);
        }
    }
    m_slots.push_back(Slot{std::move(connection), true});
    return static_cast<int>(m_slots.size() - 1);
}

std::shared_ptr<CStrmSrvSocket::Connection> CStrmSrvSocket::FindConnection(int index) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_slots.size()) {
        return nullptr;
    }
    return m_slots[static_cast<size_t>(index)].connection;
}

int CStrmSrvSocket::WaitAllowedMs(Connection& connection, bool socketTimeOuts, int code)
{
    if (socketTimeOuts && connection.timeOutsVersion != m_timeOutsVersion) {
        ApplyTimeOuts(connection.socket);
        connection.timeOutsVersion = m_timeOutsVersion;
    }
    const int32_t deadline = m_requestDeadlineMs.load(std::memory_order_relaxed);
    if (deadline < 0) {
        return m_readTimeOut;
    }
    const auto left = std::chrono::milliseconds(deadline) -
                      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - connection.accepted);
    if (left.count() <= 0) {
        throw CSocketTimeOut("Request TimeOut Error!", code);
    }
    if (m_readTimeOut > 0 && left.count() + kDeadlineSlackMs >= m_readTimeOut) {
        return m_readTimeOut;
    }
    const int allowed = static_cast<int>(left.count());
    if (socketTimeOuts) {
        if (m_readCancelEvent == nullptr) {
            Sys::SetTimeOuts(connection.socket, allowed, allowed);
        } else {
            Sys::SetSendTimeOut(connection.socket, allowed);
        }
        // The next change of the read wait puts the usual time-outs back.
        connection.timeOutsVersion = m_timeOutsVersion - 1;
    }
    return allowed;
}

int CStrmSrvSocket::ReceiveBlocking(Connection& connection, void* buffer, int length)
{
    const int allowed = WaitAllowedMs(connection, true, 3);
    for (;;) {
        const long got = Sys::ReceiveSome(connection.socket, buffer, length < 0 ? 0 : length);
        if (got >= 0) {
            if (got > 0) {
                Heard(connection);
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
    const std::shared_ptr<Connection> connection = FindConnection(index);
    if (connection && m_readCancelEvent == nullptr && length >= 0) {
        return ReceiveBlocking(*connection, buffer, length);
    }
    // Winsock's waits never see a socket shut down before they began.
    if (connection && connection->IsShutDown()) {
        return 0;
    }
    const SocketHandle socket = connection ? connection->socket : INVALID_SOCKET_HANDLE;
    const int allowed = connection ? WaitAllowedMs(*connection, false, 3) : m_readTimeOut;
    CSocketWaiter waiter;
    waiter.AddSocket(socket);
    waiter.AddEvent(m_readCancelEvent);
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
            Heard(*connection);
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
    const std::shared_ptr<Connection> connection = FindConnection(index);
    if (connection) {
        WaitAllowedMs(*connection, true, 2);
    }
    return m_socket.Send(connection ? connection->socket : INVALID_SOCKET_HANDLE, bytes, length);
}

uint64_t CStrmSrvSocket::NextHearing()
{
    return m_hearings.fetch_add(1, std::memory_order_relaxed);
}

void CStrmSrvSocket::Heard(Connection& connection)
{
    connection.lastHeard.store(NextHearing(), std::memory_order_relaxed);
}

void CStrmSrvSocket::CloseConnection(int index)
{
    std::shared_ptr<Connection> released;
    std::lock_guard<std::mutex> guard(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_slots.size()) {
        return;
    }
    Slot& slot = m_slots[static_cast<size_t>(index)];
    if (slot.inUse) {
        if (!slot.connection || !slot.connection->dropped) {
            --m_inUse;
        }
        released = std::move(slot.connection);
        slot.inUse = false;
    }
}

void CStrmSrvSocket::CloseSlots()
{
    std::vector<Slot> slots;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        slots.swap(m_slots);
        m_inUse = 0;
    }
    for (Slot& slot : slots) {
        if (slot.connection) {
            // Wakes a thread still waiting on it; the descriptor closes when it lets go.
            slot.connection->ShutDown();
        }
    }
}

void CStrmSrvSocket::Close()
{
    CloseSlots();
    m_socket.Close();
}

void CStrmSrvSocket::SetReadWait(Platform::CEvent* cancelEvent, int32_t timeOut)
{
    m_readCancelEvent = cancelEvent;
    m_readTimeOut = timeOut;
    ++m_timeOutsVersion;
    for (const SocketHandle listener : {m_socket.IPv4Socket(), m_socket.IPv6Socket()}) {
        if (listener != INVALID_SOCKET_HANDLE) {
            ApplyTimeOuts(listener);
        }
    }
}

int CStrmSrvSocket::ConnectionCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_inUse;
}

bool CStrmSrvSocket::DropLongestSilent()
{
    std::lock_guard<std::mutex> guard(m_lock);
    Connection* oldest = nullptr;
    uint64_t oldestHeard = 0;
    for (const Slot& slot : m_slots) {
        Connection* connection = slot.connection.get();
        if (!slot.inUse || connection == nullptr || connection->dropped) {
            continue;
        }
        const uint64_t heard = connection->lastHeard.load(std::memory_order_relaxed);
        if (oldest == nullptr || heard < oldestHeard) {
            oldest = connection;
            oldestHeard = heard;
        }
    }
    if (oldest == nullptr) {
        return false;
    }
    Drop(*oldest);
    return true;
}

bool CStrmSrvSocket::DropConnection(int index)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_slots.size()) {
        return false;
    }
    const Slot& slot = m_slots[static_cast<size_t>(index)];
    if (!slot.inUse || !slot.connection || slot.connection->dropped) {
        return false;
    }
    Drop(*slot.connection);
    return true;
}

void CStrmSrvSocket::Drop(Connection& connection)
{
    connection.dropped = true;
    --m_inUse;
    connection.ShutDown();
}

std::string CStrmSrvSocket::GetPeerAddress(int index) const
{
    const std::shared_ptr<Connection> connection = FindConnection(index);
    if (!connection || connection->peerLength == 0) {
        return {};
    }
    if (connection->peer.ss_family == AF_INET) {
        return DottedQuad(reinterpret_cast<const sockaddr_in&>(connection->peer));
    }
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&connection->peer), connection->peerLength, host, sizeof host,
                    nullptr, 0, NI_NUMERICHOST) != 0) {
        return {};
    }
    return host;
}

CPeerAddress CStrmSrvSocket::GetPeer(int index) const
{
    const std::shared_ptr<Connection> connection = FindConnection(index);
    return connection ? CPeerAddress::FromSocketAddress(connection->peer) : CPeerAddress();
}

SocketHandle CStrmSrvSocket::ConnectionHandle(int index) const
{
    const std::shared_ptr<Connection> connection = FindConnection(index);
    return connection ? connection->socket : INVALID_SOCKET_HANDLE;
}

int CStrmSrvSocket::SendNow(int index, const void* bytes, int length)
{
    const std::shared_ptr<Connection> connection = FindConnection(index);
    if (!connection || length < 0) {
        return -1;
    }
    long sent;
    do {
        sent = Sys::SendWithoutWaiting(connection->socket, bytes, length);
    } while (sent < 0 && Sys::LastError() == Sys::kInterrupted);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int CStrmSrvSocket::ReceiveNow(int index, void* buffer, int length)
{
    const std::shared_ptr<Connection> connection = FindConnection(index);
    if (!connection || length < 0) {
        return 0;
    }
    long got;
    do {
        got = Sys::ReceiveWithoutWaiting(connection->socket, buffer, length);
    } while (got < 0 && Sys::LastError() == Sys::kInterrupted);
    if (got < 0) {
        return Sys::LastError() == Sys::kWouldBlock ? -1 : 0;
    }
    return static_cast<int>(got);
}

} // namespace ZiRez
