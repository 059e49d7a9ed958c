#pragma once

#include "SystemSockets.h"
#include "net/CPeerAddress.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace ZiRez {

// One connection accepted by a CStrmSrvSocket (a header of the socket layer's own, beside the
// system's calls); its descriptor is closed when the last holder
// lets go. It knows whose turn it is: while the server waits for the peer's bytes, how long
// the peer has kept it waiting.
class CServerConnection
{
public:
    using Clock = std::chrono::steady_clock;

    // Accepted now: the server waits for the peer's request.
    CServerConnection(SocketHandle socket, uint32_t timeOutsVersion, const sockaddr_storage& peer,
                      socklen_t peerLength);
    ~CServerConnection();
    CServerConnection(const CServerConnection&) = delete;
    CServerConnection& operator=(const CServerConnection&) = delete;

    // Ends the waits of other threads on the socket; its reads then give the end of the
    // stream, however the system's calls report it (Linux reads the end; Winsock fails them).
    void ShutDown();
    bool IsShutDown() const { return m_shutDown.load(std::memory_order_acquire); }
    // Set once shut down, for a wait to end on.
    const std::atomic<bool>* ShutDownFlag() const { return &m_shutDown; }

    // A read begins to wait for the peer (its silence counts from now unless it already
    // does), or received bytes (the server's turn until the next read).
    void AwaitPeer();
    void Heard();
    // How long the server has waited for the peer's bytes; negative while it is the server's
    // turn.
    Clock::duration Silence(Clock::time_point now) const;
    // The exchange moves on: it is the server's turn, or the peer sent bytes within recent.
    // Never while the peer has sent nothing at all.
    bool Progressing(Clock::time_point now, Clock::duration recent) const;
    // Whether the peer has sent any bytes since its accept.
    bool EverHeard() const { return m_lastHeard.load(std::memory_order_relaxed) != kNever; }

    SocketHandle Socket() const { return m_socket; }
    Clock::time_point Accepted() const { return m_accepted; }
    // Numeric address text of the peer ("" when unknown).
    std::string PeerText() const;
    CPeerAddress Peer() const { return CPeerAddress::FromSocketAddress(m_peer); }

    // Given up to make room or by the receive budget; guarded by the slot table's lock.
    bool dropped = false;
    // Of the time-outs the socket carries; used by the connection's one thread only.
    uint32_t timeOutsVersion;

private:
    static constexpr Clock::rep kServersTurn = INT64_MAX;
    static constexpr Clock::rep kNever = INT64_MIN;

    const SocketHandle m_socket;
    const Clock::time_point m_accepted;
    std::atomic<Clock::rep> m_waitingSince;
    std::atomic<Clock::rep> m_lastHeard{kNever};
    std::atomic<bool> m_shutDown{false};
    const sockaddr_storage m_peer;
    const socklen_t m_peerLength;
};

} // namespace ZiRez
