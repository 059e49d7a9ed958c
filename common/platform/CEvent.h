#pragma once

namespace Platform {

// An event object with manual- or auto-reset semantics, built on an eventfd so that a
// single poll() can wait for sockets and events together. An auto-reset event is taken
// by exactly one waiter: the one whose non-blocking read of the counter succeeds.
class CEvent
{
public:
    CEvent(bool manualReset, bool initialState);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();

    // Waits up to timeOut milliseconds (-1: no limit). True when signalled; an auto-reset
    // event is taken by the call.
    bool Wait(int timeOut);

    // Call after poll() reported the descriptor readable: true when this caller owns the
    // signal (always for a manual-reset event, only the winner of the read for auto-reset).
    bool TryTake();

    bool IsManualReset() const { return m_manualReset; }
    int Descriptor() const { return m_fd; }

private:
    int m_fd;
    bool m_manualReset;
};

} // namespace Platform
