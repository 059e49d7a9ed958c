#include "net/CSocketWaiter.h"
#include "net/SocketErrors.h"
#include "platform/CEvent.h"

#include <cerrno>
#include <chrono>
#include <poll.h>

namespace ZiRez {

namespace {

using Clock = std::chrono::steady_clock;

// Error and hang-up end every kind of wait: the next call on the socket reports them.
constexpr short kReadable = POLLIN | POLLERR | POLLHUP;
constexpr short kWritable = POLLOUT | POLLERR | POLLHUP;
constexpr short kExceptional = POLLPRI | POLLERR | POLLHUP;

} // namespace

int CSocketWaiter::Poll(int32_t timeOut, bool read, bool write, bool exceptional)
{
    // poll() would silently skip a negative descriptor and wait for nothing.
    for (SocketHandle socket : m_sockets) {
        if (socket < 0) {
            SetLastSocketErrorFromErrno(EBADF);
            return -1;
        }
    }
    const bool watchSockets = read || write || exceptional;
    const short socketEvents =
        static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0) | (exceptional ? POLLPRI : 0));
    std::vector<pollfd> entries;
    entries.reserve(m_sockets.size() + m_events.size());
    for (SocketHandle socket : m_sockets) {
        // A negative descriptor makes poll() skip the entry, also for error and hang-up.
        entries.push_back(pollfd{watchSockets ? socket : -1, socketEvents, 0});
    }
    for (Platform::CEvent* event : m_events) {
        entries.push_back(pollfd{event->Descriptor(), POLLIN, 0});
    }
    if (timeOut < 0 && (m_events.empty() && (!watchSockets || m_sockets.empty()))) {
        // Nothing could ever end this wait.
        SetLastSocketErrorFromErrno(EINVAL);
        return -1;
    }

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOut < 0 ? 0 : timeOut);
    for (;;) {
        int remaining = -1;
        if (timeOut > 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                return 0;
            }
            remaining = static_cast<int>(left);
        }
        const int ready = poll(entries.data(), entries.size(), remaining);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastSocketErrorFromErrno(errno);
            return -1;
        }
        if (ready == 0) {
            if (timeOut > 0 && Clock::now() < deadline) {
                continue;
            }
            return 0;
        }
        for (const pollfd& entry : entries) {
            if ((entry.revents & POLLNVAL) != 0) {
                SetLastSocketErrorFromErrno(EBADF);
                return -1;
            }
        }
        const size_t socketCount = m_sockets.size();
        const struct
        {
            bool asked;
            short mask;
            int kind;
        } kinds[] = {
            {read, kReadable, KIND_READ}, {write, kWritable, KIND_WRITE}, {exceptional, kExceptional, KIND_EXCEPT}};
        for (const auto& kind : kinds) {
            if (!kind.asked) {
                continue;
            }
            for (size_t i = 0; i < socketCount; ++i) {
                if ((entries[i].revents & kind.mask) != 0) {
                    m_readySocket = m_sockets[i];
                    m_readyKind = kind.kind;
                    return 1;
                }
            }
        }
        for (size_t i = 0; i < m_events.size(); ++i) {
            if ((entries[socketCount + i].revents & POLLIN) != 0 && m_events[i]->TryTake()) {
                m_readyEvent = m_events[i];
                m_readyKind = KIND_READ;
                return 1;
            }
        }
        // Another waiter took an auto-reset signal first: wait on for the time that is left.
    }
}

} // namespace ZiRez
