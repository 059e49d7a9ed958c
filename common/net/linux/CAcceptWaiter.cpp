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

constexpr uint64_t kIPv4Tag = 0;
constexpr uint64_t kIPv6Tag = 1;
constexpr uint64_t kEventTag = 2;
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
        for (const bool ipv6 : {false, true}) {
            m_server.UseListener(ipv6, [&](SocketHandle listener) {
                Add(listener, ipv6 ? kIPv6Tag : kIPv4Tag, EPOLLIN | EPOLLONESHOT);
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

void CAcceptWaiter::Rearm(Ready listener) const
{
    epoll_event entry{};
    entry.events = EPOLLIN | EPOLLONESHOT;
    entry.data.u64 = listener == Ready::IPv6 ? kIPv6Tag : kIPv4Tag;
    m_server.UseListener(listener == Ready::IPv6,
                         [&](SocketHandle socket) { epoll_ctl(m_epoll, EPOLL_CTL_MOD, socket, &entry); });
}

CAcceptWaiter::Ready CAcceptWaiter::Wait(int timeOut) const
{
    epoll_event ready[4];
    int count;
    while ((count = epoll_wait(m_epoll, ready, 4, timeOut)) < 0 && errno == EINTR) {
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
        const Ready listener = ready[i].data.u64 == kIPv4Tag ? Ready::IPv4 : Ready::IPv6;
        if (event || result != Ready::TimeOut) {
            Rearm(listener);
        } else {
            result = listener;
        }
    }
    return event ? Ready::Event : result;
}

} // namespace ZiRez
