#include "net/CAcceptWaiter.h"

#include "net/CSocketError.h"
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

CAcceptWaiter::CAcceptWaiter(const CBaseSocket& listeners, const std::vector<Platform::CEvent*>& events)
    : m_epoll(epoll_create1(EPOLL_CLOEXEC))
{
    if (m_epoll < 0) {
        SetLastSocketErrorFromErrno(errno);
        throw CSocketError(kWaitError, 9);
    }
    try {
        if (listeners.IPv4Socket() != INVALID_SOCKET_HANDLE) {
            Add(listeners.IPv4Socket(), kIPv4Tag);
        }
        if (listeners.IPv6Socket() != INVALID_SOCKET_HANDLE) {
            Add(listeners.IPv6Socket(), kIPv6Tag);
        }
        for (Platform::CEvent* event : events) {
            if (event != nullptr) {
                Add(event->Descriptor(), kEventTag);
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

void CAcceptWaiter::Add(int descriptor, uint64_t tag)
{
    epoll_event entry{};
    entry.events = EPOLLIN;
    entry.data.u64 = tag;
    if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, descriptor, &entry) != 0) {
        SetLastSocketErrorFromErrno(errno);
        throw CSocketError(kWaitError, 9);
    }
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
    Ready result = Ready::TimeOut;
    for (int i = 0; i < count; ++i) {
        if (ready[i].data.u64 == kEventTag) {
            return Ready::Event;
        }
        if (result == Ready::TimeOut) {
            result = ready[i].data.u64 == kIPv4Tag ? Ready::IPv4 : Ready::IPv6;
        }
    }
    return result;
}

} // namespace ZiRez
