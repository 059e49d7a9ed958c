#include "net/CAcceptWaiter.h"

#include "net/CSocketError.h"
#include "net/CStrmSrvSocket.h"
#include "net/SocketErrors.h"
#include "platform/CEvent.h"

#include <cerrno>
#include <sys/epoll.h>
#include <unistd.h>

namespace ZiRez {

namespace {

// A listener's tag is its number.
constexpr uint64_t kEventTag = UINT64_MAX;
constexpr const char* kWaitError = "CAcceptWaiter: SocketEvent Wait Error!";

} // namespace

CAcceptWaiter::CAcceptWaiter(CStrmSrvSocket& server, const std::vector<Platform::CEvent*>& events)
    : m_server(server), m_epoll(epoll_create1(EPOLL_CLOEXEC))
{
    if (m_epoll < 0) {
        SetLastSocketErrorFromErrno(errno);
        throw CSocketError(kWaitError, 9);
    }
    try {
        for (int listener = 0; listener < CStrmSrvSocket::ListenerCount(); ++listener) {
            m_server.UseListener(listener, [&](SocketHandle socket) {
                Add(socket, static_cast<uint64_t>(listener), EPOLLIN | EPOLLONESHOT);
            });
        }
        for (Platform::CEvent* event : events) {
            if (event != nullptr) {
                Add(event->Descriptor(), kEventTag, EPOLLIN);
            }
        }
    } catch (...) {
        close(m_epoll);
        throw;
    }
}

CAcceptWaiter::~CAcceptWaiter()
{
    close(m_epoll);
}

void CAcceptWaiter::Add(int descriptor, uint64_t tag, uint32_t events)
{
    epoll_event entry{};
    entry.events = events;
    entry.data.u64 = tag;
    if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, descriptor, &entry) != 0) {
        SetLastSocketErrorFromErrno(errno);
        throw CSocketError(kWaitError, 9);
    }
}

void CAcceptWaiter::Rearm(int listener) const
{
    epoll_event entry{};
    entry.events = EPOLLIN | EPOLLONESHOT;
    entry.data.u64 = static_cast<uint64_t>(listener);
    m_server.UseListener(listener, [&](SocketHandle socket) { epoll_ctl(m_epoll, EPOLL_CTL_MOD, socket, &entry); });
}

CAcceptWaiter::Ready CAcceptWaiter::Wait(int timeOut, int& listener) const
{
    epoll_event ready[16];
    int count;
    while ((count = epoll_wait(m_epoll, ready, 16, timeOut)) < 0 && errno == EINTR) {
    }
    if (count < 0) {
        SetLastSocketErrorFromErrno(errno);
        throw CSocketError(kWaitError, 9);
    }
    // A listener delivered but not handed to the caller is re-armed at once.
    bool event = false;
    Ready result = Ready::TimeOut;
    for (int i = 0; i < count; ++i) {
        event = event || ready[i].data.u64 == kEventTag;
    }
    for (int i = 0; i < count; ++i) {
        if (ready[i].data.u64 == kEventTag) {
            continue;
        }
        const int number = static_cast<int>(ready[i].data.u64);
        if (event || result != Ready::TimeOut) {
            Rearm(number);
        } else {
            result = Ready::Listener;
            listener = number;
        }
    }
    return event ? Ready::Event : result;
}

} // namespace ZiRez
