#include "CConnectionWorkers.h"

#include "ConnectionThread.h"
#include "Log.h"
#include "ServiceHost.h"
#include "net/CStrmSrvSocket.h"

#include <cstring>
#include <pthread.h>
#include <string>

namespace {

struct WorkerStart
{
    std::shared_ptr<CConnectionWorkers> workers;
    int index;
};

void LogNoThread(int error, bool closing)
{
    LogLine(std::string("cannot start a connection thread: ") + std::strerror(error) +
            (closing ? "; that connection is closed" : ""));
}

} // namespace

CConnectionWorkers::CConnectionWorkers(ServiceContext& context, std::shared_ptr<ZiRez::CStrmSrvSocket> server)
    : m_context(context), m_server(std::move(server)),
      m_waiter(*m_server, {context.stopEvent.get(), context.pausedEvent.get(), &m_endedEvent})
{}

bool CConnectionWorkers::StartWorker(int index)
{
    const int error = Spawn(index);
    if (error != 0) {
        LogNoThread(error, index >= 0);
    }
    return error == 0;
}

int CConnectionWorkers::Spawn(int index)
{
    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result != 0) {
        return result;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    result = pthread_attr_setstacksize(&attributes, m_context.connectionStackSize);
    auto start = std::make_unique<WorkerStart>(WorkerStart{shared_from_this(), index});
    if (result == 0) {
        pthread_t thread;
        result = pthread_create(
            &thread, &attributes,
            [](void* argument) -> void* {
                const std::unique_ptr<WorkerStart> taken(static_cast<WorkerStart*>(argument));
                taken->workers->Run(taken->index);
                return nullptr;
            },
            start.get());
    }
    pthread_attr_destroy(&attributes);
    if (result == 0) {
        start.release(); // the thread owns it now
    }
    return result;
}

int CConnectionWorkers::Idle() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_idle;
}

void CConnectionWorkers::End()
{
    m_ended.store(true, std::memory_order_release);
    m_endedEvent.Set();
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
    if (index >= 0 && !Take(index, Idle() == 0)) {
        return;
    }
    while (!Ended() && WaitWhilePaused(m_context)) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_idle;
        }
        auto ready = ZiRez::CAcceptWaiter::Ready::Event;
        int accepted = -1;
        bool failed = false;
        try {
            ready = m_waiter.Wait(m_context.workerRetireMs);
            if (ready == ZiRez::CAcceptWaiter::Ready::IPv4 || ready == ZiRez::CAcceptWaiter::Ready::IPv6) {
                accepted = Accept(ready);
            }
        } catch (const ZiRez::CSocketError& error) {
            Fail(error);
            failed = true;
        }
        bool last = false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            --m_idle;
            // After a quiet while every idle worker but the last retires.
            if (failed || (ready == ZiRez::CAcceptWaiter::Ready::TimeOut && m_idle > 0)) {
                return;
            }
            last = m_idle == 0;
        }
        if (accepted >= 0 && !Take(accepted, last)) {
            return;
        }
    }
}

int CConnectionWorkers::Accept(ZiRez::CAcceptWaiter::Ready listener)
{
    int index = -1;
    try {
        index = m_server->TryAccept(listener == ZiRez::CAcceptWaiter::Ready::IPv6);
    } catch (const ZiRez::CSocketError&) {
        m_waiter.Rearm(listener);
        throw;
    }
    // The listener wakes the next waiter once re-armed, after the accept.
    m_waiter.Rearm(listener);
    return index;
}

bool CConnectionWorkers::Take(int index, bool last)
{
    // Someone must wait for the next connection while this one is served.
    if (last && !Ended()) {
        const int error = Spawn(-1);
        if (error != 0) {
            LogNoThread(error, true);
            m_server->CloseConnection(index);
            return true;
        }
    }
    return Serve(index);
}

bool CConnectionWorkers::Serve(int index)
{
    // A connection accepted as the pause arrived waits, unserved, for continue.
    if (!WaitWhilePaused(m_context)) {
        m_server->CloseConnection(index);
        return false;
    }
    // At the cap the peer silent longest makes room, so a unit is served whatever number
    // of silent peers hold connections.
    if (m_server->ConnectionCount() > m_context.maxConnections) {
        m_server->DropLongestSilent();
    }
    ServeConnection(m_server, index);
    return true;
}
