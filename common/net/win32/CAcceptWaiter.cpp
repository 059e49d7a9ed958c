#include "net/CAcceptWaiter.h"

#include "SystemSockets.h"
#include "net/CSocketError.h"
#include "net/CStrmSrvSocket.h"
#include "platform/CEvent.h"

#include <algorithm>
#include <chrono>

namespace ZiRez {

namespace {

constexpr const char* kWaitError = "CAcceptWaiter: SocketEvent Wait Error!";

// Between slices of this many milliseconds the listeners are looked at themselves. Wine 8
// records FD_ACCEPT again only after an accept that succeeds (Windows after a failed one
// too), and may record a connection that another thread accepted an instant before; a wait
// woken by that record finds nothing to accept, and no later connection signals the event
// until one is accepted. The look finds those connections within a slice.
constexpr DWORD kListenerLookMs = 10;

} // namespace

CAcceptWaiter::CAcceptWaiter(CStrmSrvSocket& server, const std::vector<Platform::CEvent*>& events) : m_server(server)
{
    for (Platform::CEvent* event : events) {
        if (event != nullptr) {
            m_handles.push_back(event->Descriptor());
        }
    }
    m_eventCount = m_handles.size();
    // One auto-reset event per listener: a pending connection wakes one waiter, and the
    // accept it makes records the next pending one again (FD_ACCEPT is re-enabled by accept).
    for (int listener = 0; listener < CStrmSrvSocket::ListenerCount(); ++listener) {
        m_server.UseListener(listener, [&](SocketHandle socket) {
            HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            if (event == nullptr || WSAEventSelect(socket, event, FD_ACCEPT) != 0) {
                Sys::RecordError(event == nullptr ? WSA_NOT_ENOUGH_MEMORY : Sys::LastError());
                if (event != nullptr) {
                    CloseHandle(event);
                }
                return;
            }
            m_listeners.push_back(listener);
            m_handles.push_back(event);
        });
    }
    if (m_handles.size() == m_eventCount) {
        // No listener could be watched: there is nothing to accept on.
        SetLastSocketError(WSAENOTSOCK);
        throw CSocketError(kWaitError, 9);
    }
}

CAcceptWaiter::~CAcceptWaiter()
{
    for (size_t i = m_eventCount; i < m_handles.size(); ++i) {
        CloseHandle(m_handles[i]);
    }
}

void CAcceptWaiter::Rearm(int) const {}

CAcceptWaiter::Ready CAcceptWaiter::Wait(int timeOut, int& listener) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeOut < 0 ? 0 : timeOut);
    for (;;) {
        DWORD slice = kListenerLookMs;
        if (timeOut >= 0) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            slice = static_cast<DWORD>(std::clamp<long long>(left, 0, kListenerLookMs));
        }
        // The caller's events come first in the list, so a stop or a pause wins over a connection.
        const DWORD woken =
            WaitForMultipleObjects(static_cast<DWORD>(m_handles.size()), m_handles.data(), FALSE, slice);
        if (woken != WAIT_TIMEOUT) {
            if (woken >= WAIT_OBJECT_0 + m_handles.size()) {
                SetLastSocketError(static_cast<int32_t>(GetLastError()));
                throw CSocketError(kWaitError, 9);
            }
            const size_t index = woken - WAIT_OBJECT_0;
            if (index < m_eventCount) {
                return Ready::Event;
            }
            listener = m_listeners[index - m_eventCount];
            return Ready::Listener;
        }
        for (const int number : m_listeners) {
            bool pending = false;
            m_server.UseListener(number, [&](SocketHandle socket) {
                WSAPOLLFD entry{socket, POLLRDNORM, 0};
                pending = WSAPoll(&entry, 1, 0) > 0 && (entry.revents & POLLRDNORM) != 0;
            });
            if (pending) {
                listener = number;
                return Ready::Listener;
            }
        }
        if (timeOut >= 0 && slice < kListenerLookMs) {
            return Ready::TimeOut;
        }
    }
}

} // namespace ZiRez
