#pragma once

namespace Platform {

// What the platform's waits take for an event: its eventfd, or its Win32 HANDLE.
#ifdef _WIN32
using NativeEvent = void*;
#else
using NativeEvent = int;
#endif

// An event object with manual- or auto-reset semantics: an eventfd on Linux, so that a
// single poll() can wait for sockets and events together, a Win32 event on Windows. An
// auto-reset event is taken by exactly one waiter (on Linux the one whose non-blocking
// read of the counter succeeds).
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

    NativeEvent Descriptor() const { return m_fd; }

private:
    NativeEvent m_fd;
    bool m_manualReset;
};

} // namespace Platform
