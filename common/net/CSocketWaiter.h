#pragma once

#include "net/SocketTypes.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace Platform {
class CEvent;
}

namespace ZiRez {

// Waits for socket readiness and for cancel events together, in one poll(). Within one wake,
// sockets are reported before events; an auto-reset event counts only when this waiter takes
// its signal.
class CSocketWaiter
{
public:
    static constexpr int KIND_READ = 0;
    static constexpr int KIND_WRITE = 1;
    static constexpr int KIND_EXCEPT = 2;
    static constexpr int KIND_NONE = 3;

    void AddSocket(SocketHandle socket);
    void AddEvent(Platform::CEvent* event);
    // Ends the wait as a time-out once the flag is set (another thread shut the socket
    // down). Linux's shutdown ends a poll by itself; Winsock's ends none that had not begun,
    // so its waits look at the flag between their slices.
    void EndWhenSet(const std::atomic<bool>* flag) { m_endFlag = flag; }

    // timeOut in ms (-1: no limit, 0: returns 0 at once). 1 ready, 0 time-out, -1 error
    // (also for an invalid socket in the list, or nothing at all to wait for without limit).
    int Wait(int32_t timeOut, bool read, bool write = false, bool exceptional = false);

    // The ready kind if the argument is the ready handle, else KIND_NONE.
    int KindOf(SocketHandle socket) const;
    int KindOf(const Platform::CEvent* event) const;

    Platform::CEvent* ReadyEvent() const { return m_readyEvent; }

private:
    int Poll(int32_t timeOut, bool read, bool write, bool exceptional);

    SocketHandle m_readySocket = INVALID_SOCKET_HANDLE;
    Platform::CEvent* m_readyEvent = nullptr;
    int m_readyKind = KIND_NONE;
    std::vector<SocketHandle> m_sockets;
    std::vector<Platform::CEvent*> m_events;
    const std::atomic<bool>* m_endFlag = nullptr;
};

} // namespace ZiRez
