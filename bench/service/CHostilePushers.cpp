#include "CHostilePushers.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

CHostilePushers::CHostilePushers(const ServiceAddress& address, std::string bytes, size_t acksExpected)
    : m_address(address), m_bytes(std::move(bytes)), m_ackBytes(acksExpected * 8), m_epoll(epoll_create1(EPOLL_CLOEXEC))
{}

CHostilePushers::~CHostilePushers()
{
    for (const Peer& peer : m_peers) {
        if (peer.fd >= 0) {
            close(peer.fd);
        }
    }
    close(m_epoll);
}

bool CHostilePushers::Connect(Peer& peer) const
{
    peer.fd = socket(m_address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (peer.fd < 0 || connect(peer.fd, reinterpret_cast<const sockaddr*>(&m_address.storage), m_address.length) != 0) {
        return false;
    }
    fcntl(peer.fd, F_SETFL, fcntl(peer.fd, F_GETFL) | O_NONBLOCK);
    return true;
}

bool CHostilePushers::Drain(Peer& peer)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = recv(peer.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            peer.acked += static_cast<size_t>(got);
            continue;
        }
        return got == 0 || (errno != EAGAIN && errno != EINTR);
    }
}

size_t CHostilePushers::CountClosed()
{
    size_t closed = 0;
    for (Peer& peer : m_peers) {
        peer.closed = peer.closed || Drain(peer);
        closed += peer.closed ? 1 : 0;
    }
    return closed;
}

bool CHostilePushers::Push(int count, int timeOutMs)
{
    m_peers.resize(static_cast<size_t>(count));
    for (size_t i = 0; i < m_peers.size(); ++i) {
        if (!Connect(m_peers[i])) {
            return false;
        }
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT;
        event.data.u64 = i;
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_peers[i].fd, &event);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeOutMs);
    epoll_event events[256];
    while (m_finished < m_peers.size()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        const int ready = epoll_wait(m_epoll, events, 256, 100);
        for (int i = 0; i < ready; ++i) {
            Progress(m_peers[events[i].data.u64]);
        }
    }
    return true;
}

void CHostilePushers::Progress(Peer& peer)
{
    if (peer.done) {
        return;
    }
    while (peer.sent < m_bytes.size()) {
        const ssize_t sent = send(peer.fd, m_bytes.data() + peer.sent, m_bytes.size() - peer.sent, MSG_NOSIGNAL);
        if (sent <= 0) {
            break;
        }
        peer.sent += static_cast<size_t>(sent);
    }
    peer.closed = Drain(peer);
    // Closed, or everything sent is held by the service.
    peer.done = peer.closed || peer.acked >= m_ackBytes;
    if (peer.done) {
        ++m_finished;
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, peer.fd, nullptr);
    }
}
