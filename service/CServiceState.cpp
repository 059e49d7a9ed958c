#include "CServiceState.h"

#include "Log.h"

CServiceState::CServiceState(CStatusReporter& reporter) : m_reporter(reporter) {}

bool CServiceState::Report(uint32_t state, uint32_t exitCode)
{
    return m_reporter.Report(MakeStatus(state, exitCode));
}

void CServiceState::SetState(int state)
{
    {
        std::lock_guard<std::mutex> guard(m_gateLock);
        m_state = state;
    }
    m_gateChanged.notify_all();
}

bool CServiceState::BeginRunning()
{
    std::lock_guard<std::mutex> guard(m_gateLock);
    if (m_state != kStateNone) {
        return false;
    }
    m_state = kStateRunning;
    return true;
}

void CServiceState::EndRunning()
{
    SetState(kStateStopped);
}

// Running is reported only once a unit can connect: a service whose port is held by
// another program stops without ever having reported it, so its start fails.
bool CServiceState::WaitForFirstListener()
{
    std::unique_lock<std::mutex> guard(m_gateLock);
    m_gateChanged.wait(guard, [this] { return m_listening || m_state == kStateStopPending; });
    return m_state != kStateStopPending;
}

void CServiceState::ReportRunning()
{
    std::lock_guard<std::mutex> controls(m_controlLock);
    Report(kServiceRunning);
    m_runningReported = true;
}

uint32_t CServiceState::ReportCurrent()
{
    std::lock_guard<std::mutex> controls(m_controlLock);
    const int state = m_state;
    const uint32_t reported = !m_runningReported && state == kStateRunning ? kServiceStartPending
                              : state == kStateRunning                     ? kServiceRunning
                              : state == kStatePaused                      ? kServicePaused
                                                                           : kServiceStopped;
    Report(reported);
    return reported;
}

void CServiceState::Pause()
{
    std::lock_guard<std::mutex> controls(m_controlLock);
    if (!m_runningReported) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_gateLock);
        if (m_state != kStateRunning) {
            return;
        }
        m_state = kStatePaused;
        m_pausedEvent.Set();
    }
    m_gateChanged.notify_all();
    Report(kServicePausePending);
    LogLine("paused: no new connection is served");
    Report(kServicePaused);
}

void CServiceState::Continue()
{
    std::lock_guard<std::mutex> controls(m_controlLock);
    if (!m_runningReported || m_state != kStatePaused) {
        return;
    }
    Report(kServiceContinuePending);
    {
        std::lock_guard<std::mutex> guard(m_gateLock);
        // A stop that arrived meanwhile wins.
        if (m_state == kStatePaused) {
            m_state = kStateRunning;
            m_pausedEvent.Reset();
        }
    }
    m_gateChanged.notify_all();
    LogLine("continued");
    Report(kServiceRunning);
}

void CServiceState::Stop()
{
    Report(kServiceStopPending);
    LogLine("stopping");
    SetState(kStateStopPending);
    m_stopEvent.Set();
}

void CServiceState::ListenerOpened(uint16_t port)
{
    m_listeningPort = port;
    {
        std::lock_guard<std::mutex> guard(m_gateLock);
        m_listening = true;
    }
    m_gateChanged.notify_all();
}

bool CServiceState::WaitWhilePaused()
{
    if (m_state == kStateRunning) {
        return true;
    }
    std::unique_lock<std::mutex> guard(m_gateLock);
    m_gateChanged.wait(guard, [this] { return m_state != kStatePaused; });
    return m_state != kStateStopPending;
}
