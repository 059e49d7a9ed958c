#include "platform/CEvent.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Platform {

CEvent::CEvent(bool manualReset, bool initialState)
    : m_fd(eventfd(initialState ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK)), m_manualReset(manualReset)
{
    if (m_fd < 0) {
        throw std::runtime_error("eventfd failed");
    }
}

CEvent::~CEvent()
{
    close(m_fd);
}

void CEvent::Set()
{
    const uint64_t one = 1;
    // EAGAIN only when the counter is saturated, which still means signalled.
    while (write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void CEvent::Reset()
{
    uint64_t value;
    while (read(m_fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool CEvent::TryTake()
{
    if (m_manualReset) {
        pollfd entry{m_fd, POLLIN, 0};
        return poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0;
    }
    uint64_t value;
    ssize_t got;
    do {
        got = read(m_fd, &value, sizeof value);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof value);
}

bool CEvent::Wait(int timeOut)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOut < 0 ? 0 : timeOut);
    for (;;) {
        int remaining = -1;
        if (timeOut >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            remaining = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd entry{m_fd, POLLIN, 0};
        const int ready = poll(&entry, 1, remaining);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready > 0 && TryTake()) {
            return true;
        }
        if (ready <= 0) {
            return false;
        }
        // Another waiter took the auto-reset signal first: wait on while time remains.
    }
}

} // namespace Platform
