#pragma once

#include "net/CBaseSocket.h"

#include <cstdint>
#include <vector>

namespace Platform {
class CEvent;
}

namespace ZiRez {

class CStrmSrvSocket;

// The one wait of every thread that accepts on a server's listeners itself: a connection
// on one of the listeners, or one of the events. The threads share one epoll
// instance (Linux) or one auto-reset event per listener (Windows, where the listeners are also looked at
// between short slices of the wait, as an event may miss a connection). A ready listener wakes one of them and no other
// until that one has re-armed it (after its accept, so that a second pending connection wakes the next waiter); an
// event that stays signalled (manual reset) reaches each of them in turn. Events are
// reported before connections, so that a stop or a pause is seen at once. A listener is
// re-armed only while the server holds it open, so a re-arm never touches a descriptor
// closed, and perhaps reused, by the thread that closes the listeners.
class CAcceptWaiter
{
public:
    enum class Ready
    {
        TimeOut,
        Listener,
        Event,
    };

    // Throws CSocketError code 9 when the wait cannot be set up.
    CAcceptWaiter(CStrmSrvSocket& server, const std::vector<Platform::CEvent*>& events);
    ~CAcceptWaiter();
    CAcceptWaiter(const CAcceptWaiter&) = delete;
    CAcceptWaiter& operator=(const CAcceptWaiter&) = delete;

    // timeOut in ms (-1: no limit). Throws CSocketError code 9 when the wait fails. After
    // Listener the caller accepts on the one numbered in listener (CStrmSrvSocket's
    // numbering) and then calls Rearm with it.
    Ready Wait(int timeOut, int& listener) const;
    void Rearm(int listener) const;

private:
    CStrmSrvSocket& m_server;
#ifdef _WIN32
    // The events to wait for (the caller's, then one per listener), how many are the
    // caller's, and the numbers of the listeners after them.
    std::vector<void*> m_handles;
    size_t m_eventCount = 0;
    std::vector<int> m_listeners;
#else
    void Add(int descriptor, uint64_t tag, uint32_t events);

    int m_epoll;
#endif
};

} // namespace ZiRez
