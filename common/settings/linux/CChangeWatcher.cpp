#include "CChangeWatcher.h"

#include "CChangeLog.h"
#include "CStatement.h"
#include "KeyPath.h"
#include "platform/CEvent.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The safety net when no wake-up arrives.
constexpr int kSlowPollMs = 1000;
// Without inotify, polling alone must keep the delivery promise.
constexpr int kFallbackPollMs = 50;
// A write in another process may wake us before its commit is visible (frames are
// written before the index is updated), so look again shortly after, backing off.
constexpr int kFirstRecheckMs = 2;
constexpr int kLastRecheckMs = 128;

void Drain(int fd)
{
    char buffer[4096];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
}

} // namespace

CChangeWatcher::CChangeWatcher(CConnectionPool& pool) : m_pool(pool), m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CChangeWatcher::~CChangeWatcher()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    if (m_thread.joinable()) {
        Poke();
        m_thread.join();
    }
    if (m_inotify >= 0) {
        close(m_inotify);
    }
    if (m_wake >= 0) {
        close(m_wake);
    }
}

bool CChangeWatcher::Start()
{
    if (m_wake < 0) {
        return false;
    }
    m_inotify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (m_inotify >= 0 &&
        inotify_add_watch(m_inotify, m_pool.Directory().c_str(),
                          IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE) < 0) {
        close(m_inotify);
        m_inotify = -1;
    }
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (...) {
        return false;
    }
    return true;
}

bool CChangeWatcher::Arm(RegistryHandle handle, std::string path, bool subtree, uint32_t filter,
                         Platform::CEvent* event, int64_t baseline)
{
    std::lock_guard lock(m_mutex);
    if (!m_thread.joinable() && !Start()) {
        return false;
    }
    m_armed.push_back(Registration{handle, std::move(path), subtree, filter, event, baseline});
    return true;
}

void CChangeWatcher::Disarm(RegistryHandle handle)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_armed, [handle](const Registration& r) { return r.handle == handle; });
}

void CChangeWatcher::Poke()
{
    if (m_wake >= 0) {
        const uint64_t one = 1;
        while (write(m_wake, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

void CChangeWatcher::Committed()
{
    Poke();
    // Other processes watch the directory: a new time stamp on the database file wakes
    // them once the commit is visible. No data is written.
    utimensat(AT_FDCWD, m_pool.File().c_str(), nullptr, 0);
}

void CChangeWatcher::Run()
{
    int recheckMs = 0; // 0: no recheck pending
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) {
                return;
            }
        }
        int timeout = m_inotify >= 0 ? kSlowPollMs : kFallbackPollMs;
        if (recheckMs > 0) {
            timeout = recheckMs;
            recheckMs = recheckMs >= kLastRecheckMs ? 0 : recheckMs * 2;
        }
        pollfd fds[2] = {{m_wake, POLLIN, 0}, {m_inotify, POLLIN, 0}};
        const int ready = poll(fds, m_inotify >= 0 ? 2 : 1, timeout);
        if (ready < 0 && errno != EINTR) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kFallbackPollMs));
        }
        if (ready > 0) {
            if ((fds[0].revents & POLLIN) != 0) {
                Drain(m_wake);
            }
            if (m_inotify >= 0 && (fds[1].revents & POLLIN) != 0) {
                Drain(m_inotify);
                recheckMs = kFirstRecheckMs;
            }
        }
        Check();
    }
}

void CChangeWatcher::Check()
{
    int64_t from = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_armed.empty()) {
            return;
        }
        from = std::min_element(m_armed.begin(), m_armed.end(), [](const Registration& a, const Registration& b) {
                   return a.baseline < b.baseline;
               })->baseline;
    }

    std::vector<Change> changes;
    int64_t oldest = 0;
    {
        CLease lease = m_pool.Borrow();
        if (lease.Code() != 0) {
            return;
        }
        CStatement first(*lease, StatementId::FirstChange);
        if (!first.Step()) {
            return;
        }
        oldest = first.Integer(0);
        CStatement after(*lease, StatementId::ChangesAfter);
        after.Bind(1, from);
        while (after.Step()) {
            changes.push_back(Change{after.Integer(0), std::string(after.Bytes(1)), after.Integer(2)});
        }
        if (after.Failed()) {
            return;
        }
    }
    const int64_t newest = changes.empty() ? from : changes.back().seq;

    std::lock_guard lock(m_mutex);
    std::erase_if(m_armed, [&](Registration& registration) {
        // Changes after the baseline were pruned before we saw them: fire rather than miss one.
        bool fire = oldest > registration.baseline + 1 && newest > registration.baseline;
        for (const Change& change : changes) {
            if (fire) {
                break;
            }
            fire = change.seq > registration.baseline && Concerns(registration, change);
        }
        if (fire) {
            registration.event->Set();
            return true;
        }
        registration.baseline = std::max(registration.baseline, newest);
        return false;
    });
}

bool CChangeWatcher::Concerns(const Registration& registration, const Change& change)
{
    if (change.kind == CChangeLog::kKeyDeleted) {
        // The watched key itself went away.
        return change.path == registration.path;
    }
    if ((registration.filter & static_cast<uint32_t>(change.kind)) == 0) {
        return false;
    }
    return change.path == registration.path ||
           (registration.subtree && KeyPath::IsAtOrBelow(change.path, registration.path));
}
