#include "net/CServerConnection.h"

namespace ZiRez {

namespace {

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

CServerConnection::CServerConnection(SocketHandle socket, uint32_t timeOuts, const sockaddr_storage& peer,
                                     socklen_t peerLength)
    : timeOutsVersion(timeOuts), m_socket(socket), m_accepted(Clock::now()),
      m_waitingSince(m_accepted.time_since_epoch().count()), m_peer(peer), m_peerLength(peerLength)
{}

CServerConnection::~CServerConnection()
{
    Sys::CloseSocket(m_socket);
}

void CServerConnection::ShutDown()
{
    m_shutDown.store(true, std::memory_order_release);
    Sys::ShutDownSocket(m_socket);
}

void CServerConnection::AwaitPeer()
{
    Clock::rep serversTurn = kServersTurn;
    m_waitingSince.compare_exchange_strong(serversTurn, Clock::now().time_since_epoch().count(),
                                           std::memory_order_relaxed);
}

void CServerConnection::Heard()
{
    m_waitingSince.store(kServersTurn, std::memory_order_relaxed);
    m_lastHeard.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
}

bool CServerConnection::Progressing(Clock::time_point now, Clock::duration recent) const
{
    const Clock::rep heard = m_lastHeard.load(std::memory_order_relaxed);
    if (heard == kNever) {
        return false;
    }
    return m_waitingSince.load(std::memory_order_relaxed) == kServersTurn ||
           now.time_since_epoch() - Clock::duration(heard) < recent;
}

CServerConnection::Clock::duration CServerConnection::Silence(Clock::time_point now) const
{
    const Clock::rep since = m_waitingSince.load(std::memory_order_relaxed);
    return since == kServersTurn ? Clock::duration(-1) : now.time_since_epoch() - Clock::duration(since);
}

std::string CServerConnection::PeerText() const
{
    if (m_peerLength == 0) {
        return {};
    }
    if (m_peer.ss_family == AF_INET) {
        return DottedQuad(reinterpret_cast<const sockaddr_in&>(m_peer));
    }
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&m_peer), m_peerLength, host, sizeof host, nullptr, 0,
                    NI_NUMERICHOST) != 0) {
        return {};
    }
    return host;
}

} // namespace ZiRez
