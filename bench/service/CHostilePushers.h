#pragma once

#include "CRawUnitClient.h"

#include <cstddef>
#include <string>
#include <vector>

// Peers that each send the same bytes (a request that never ends) as fast as the service
// takes them, read and drop its acknowledgements, and then hold their connections. All
// in the calling thread, on non-blocking sockets.
class CHostilePushers
{
public:
    CHostilePushers(const ServiceAddress& address, std::string bytes, size_t acksExpected);
    ~CHostilePushers();
    CHostilePushers(const CHostilePushers&) = delete;
    CHostilePushers& operator=(const CHostilePushers&) = delete;

    // Connects count peers and pushes until each is closed by the service or has all its
    // bytes acknowledged; false when that takes longer than the limit.
    bool Push(int count, int timeOutMs);
    // Peers whose connection the service has closed by now.
    size_t CountClosed();

private:
    struct Peer
    {
        int fd = -1;
        size_t sent = 0;
        size_t acked = 0; // acknowledgement bytes received
        bool done = false;
        bool closed = false;
    };

    bool Connect(Peer& peer) const;
    void Progress(Peer& peer);
    // Reads what is there; true when the service has closed the connection.
    static bool Drain(Peer& peer);

    const ServiceAddress m_address;
    const std::string m_bytes;
    const size_t m_ackBytes;
    std::vector<Peer> m_peers;
    size_t m_finished = 0;
    int m_epoll = -1;
};
