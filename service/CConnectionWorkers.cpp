#include "CConnectionWorkers.h"

#include "CServiceMetrics.h"
#include "ConnectionThread.h"
#include "Log.h"
#include "net/CStrmSrvSocket.h"
#include "platform/DetachedThread.h"

#include <algorithm>
#include <string>

namespace {

void LogNoThread(const std::string& reason, bool closing)
{
    LogLine("cannot start a connection thread: " + reason + (closing ? "; that connection is closed" : ""));
}

} // namespace

CConnectionWorkers::CConnectionWorkers(const SServiceParts& parts, std::shared_ptr<ZiRez::CStrmSrvSocket> server)
    : m_parts(parts), m_server(std::move(server)),
      m_waiter(*m_server, {&parts.state.StopEvent(), &parts.state.PausedEvent(), &m_endedEvent})
{}

bool CConnectionWorkers::StartWorker(int index)
{
    std::string reason;
    const bool started = Spawn(index, reason);
    if (!started) {
        LogNoThread(reason, index >= 0);
    }
    return started;
}

bool CConnectionWorkers::Spawn(int index, std::string& reason)
{
    return Platform::StartDetachedThread(
        m_parts.limits.connectionStackSize, [workers = shared_from_this(), index] { workers->Run(index); }, reason);
}

int CConnectionWorkers::StalledInMs() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_idle > 0) {
        return -1;
    }
    const auto busy =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_lastFree).count();
    if (busy < kWorkersStalledMs) {
        return static_cast<int>(kWorkersStalledMs - busy);
    }
    // None finished for a while. While an exchange moves on its worker is not held: units
    // that answer keep the workers they have, however many wait (a boot storm), and extra
    // workers would only share the processors more thinly.
    for (const int index : m_serving) {
        if (busy < kWorkersHeldMs && m_server->PeerProgressing(index, std::chrono::milliseconds(kWorkersStalledMs))) {
            return static_cast<int>(std::min<int64_t>(kProgressLookMs, kWorkersHeldMs - busy));
        }
    }
    return 0;
}

void CConnectionWorkers::End()
{
    m_ended.store(true, std::memory_order_release);
    m_endedEvent.Set();
}

bool CConnectionWorkers::MakeRoom(int pending)
{
    if (m_server->ConnectionCount() + pending <= m_parts.limits.maxConnections) {
        return true;
    }
    if (!m_server->DropSilent(std::chrono::milliseconds(kSilentPeerMs), std::chrono::milliseconds(kStalledPeerMs))) {
        return false;
    }
    m_parts.metrics.CountTurnedAway();
    return true;
}

std::optional<ZiRez::CSocketError> CConnectionWorkers::Failure() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_failure;
}

void CConnectionWorkers::Fail(const ZiRez::CSocketError& error)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_failure) {
            m_failure = error;
        }
    }
    m_failed.Set();
}

void CConnectionWorkers::Run(int index)
{
    // The watcher starts workers with their connection, in relief of stalled ones.
    bool regular = index < 0;
    bool another = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_count;
        m_regular += regular ? 1 : 0;
        another = StartsAnother();
    }
    bool served = index >= 0;
    bool stays = !served || Take(index, another);
    while (stays && !Ended() && m_parts.state.WaitWhilePaused()) {
        if (served && !regular && !ReliefStays(regular)) {
            break;
        }
        const SNext next = Next(served, regular);
        if (next.leave) {
            break;
        }
        served = next.index >= 0;
        stays = !served || Take(next.index, next.another);
    }
    std::lock_guard<std::mutex> guard(m_lock);
    --m_count;
    m_regular -= regular ? 1 : 0;
}

bool CConnectionWorkers::ReliefStays(bool& regular)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_regular < m_parts.limits.busyWorkers) {
        ++m_regular;
        regular = true;
        return true;
    }
    return std::chrono::steady_clock::now() - m_lastRegularFree >= std::chrono::milliseconds(kWorkersStalledMs);
}

CConnectionWorkers::SNext CConnectionWorkers::Next(bool served, bool regular)
{
    // Under load the next connection is already queued: it is taken without a wait.
    const int queued = served ? AcceptQueued() : -1;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lastFree = std::chrono::steady_clock::now();
        if (served && regular) {
            m_lastRegularFree = m_lastFree;
        }
        if (queued >= 0) {
            return {queued, StartsAnother(), false};
        }
        ++m_idle;
    }
    return WaitForConnection(regular ? m_parts.limits.workerRetireMs.load()
                                     : std::min<int>(m_parts.limits.workerRetireMs, kReliefRetireMs));
}

CConnectionWorkers::SNext CConnectionWorkers::WaitForConnection(int retireMs)
{
    SNext next;
    auto ready = ZiRez::CAcceptWaiter::Ready::Event;
    bool failed = false;
    try {
        int listener = 0;
        ready = m_waiter.Wait(retireMs, listener);
        if (ready == ZiRez::CAcceptWaiter::Ready::Listener) {
            next.index = Accept(listener);
        }
    } catch (const ZiRez::CSocketError& error) {
        Fail(error);
        failed = true;
    }
    bool allBusy = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        --m_idle;
        // After a quiet while every idle worker but the last retires.
        if (failed || (ready == ZiRez::CAcceptWaiter::Ready::TimeOut && m_idle > 0)) {
            next.leave = true;
            return next;
        }
        next.another = StartsAnother();
        allBusy = m_idle == 0 && !next.another && next.index >= 0;
        if (allBusy) {
            // The workers stall only if none finishes from now on.
            m_lastFree = std::chrono::steady_clock::now();
        }
    }
    if (allBusy) {
        m_allBusy.Set();
    }
    return next;
}

bool CConnectionWorkers::StartsAnother() const
{
    return m_idle == 0 && m_count < m_parts.limits.busyWorkers;
}

int CConnectionWorkers::AcceptQueued()
{
    try {
        return m_server->TryAcceptQueued();
    } catch (const ZiRez::CSocketError&) {
        return -1; // the wait that follows meets the failure again and reports it
    }
}

int CConnectionWorkers::Accept(int listener)
{
    int index = -1;
    try {
        index = m_server->TryAccept(listener);
    } catch (const ZiRez::CSocketError&) {
        m_waiter.Rearm(listener);
        throw;
    }
    // The listener wakes the next waiter once re-armed, after the accept.
    m_waiter.Rearm(listener);
    return index;
}

bool CConnectionWorkers::Take(int index, bool another)
{
    if (another && !Ended()) {
        std::string reason;
        if (!Spawn(-1, reason)) {
            LogNoThread(reason, true);
            m_server->CloseConnection(index);
            return true;
        }
    }
    return Serve(index);
}

bool CConnectionWorkers::Serve(int index)
{
    // A connection accepted as the pause arrived waits, unserved, for continue.
    if (!m_parts.state.WaitWhilePaused()) {
        m_server->CloseConnection(index);
        return false;
    }
    // A regular worker serves its connection even at the cap, which so is passed by at
    // most the regular workers.
    MakeRoom(0);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_serving.push_back(index);
    }
    ServeConnection(m_parts, m_server, index);
    std::lock_guard<std::mutex> guard(m_lock);
    m_serving.erase(std::find(m_serving.begin(), m_serving.end(), index));
    return true;
}
