#pragma once

#include "net/CBaseSocket.h"

#include <vector>

namespace Platform {
class CEvent;
}

namespace ZiRez {

// The one wait of every thread that accepts on a server's listeners itself: a connection
// on the IPv4 or the IPv6 listener, or one of the events. The threads share one epoll
// instance, which wakes one of them per ready connection rather than all; an event that
// stays signalled (manual reset) reaches each of them in turn. Events are reported before
// connections, so that a stop or a pause is seen at once.
class CAcceptWaiter
{
public:
    enum class Ready
    {
        TimeOut,
        IPv4,
        IPv6,
        Event,
    };

    // Throws CSocketError code 9 when the wait cannot be set up.
    CAcceptWaiter(const CBaseSocket& listeners, const std::vector<Platform::CEvent*>& events);
    ~CAcceptWaiter();
    CAcceptWaiter(const CAcceptWaiter&) = delete;
    CAcceptWaiter& operator=(const CAcceptWaiter&) = delete;

    // timeOut in ms (-1: no limit). Throws CSocketError code 9 when the wait fails.
    Ready Wait(int timeOut) const;

private:
    void Add(int descriptor, uint64_t tag);

    int m_epoll;
};

} // namespace ZiRez
