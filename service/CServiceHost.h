#pragma once

#include "protocol/CReceiveBudget.h"
#include "service/CDelayedReplies.h"
#include "service/CKeyListCache.h"
#include "service/CMetricsWriter.h"
#include "service/CRequestGuard.h"
#include "service/CServiceMetrics.h"
#include "service/SServiceParts.h"
#include "settings/CKeyStore.h"

#include <atomic>
#include <cstdint>
#include <thread>

// One key service: its state and every part its request server uses, and its life: start,
// controls, status reports and the stop.
class CServiceHost
{
public:
    // Throws std::exception when its events or threads cannot be made.
    explicit CServiceHost(CStatusReporter& reporter);
    CServiceHost(const CServiceHost&) = delete;
    CServiceHost& operator=(const CServiceHost&) = delete;

    // The service of the process, with the connection cap given: runs it until it stopped
    // (see Run) and returns the process's exit code. The host is never destroyed, as
    // connection threads may still use it while the process exits.
    static int RunProcess(CStatusReporter& reporter, int maxConnections);

    // Starts the control dispatcher (the control signals must be blocked in every thread
    // already) and the watcher thread, and returns when the service has stopped; a host
    // runs once.
    void Run();

    // Control dispatcher entry (host: this host); always returns 0.
    static uint32_t ControlHandler(uint32_t control, uint32_t eventType, void* eventData, void* host);

    CServiceState& State() { return m_state; }
    SServiceLimits& Limits() { return m_limits; }
    const SServiceParts& Parts() const { return m_parts; }

private:
    // Sets the state to running and starts the watcher thread; false when it cannot start.
    bool StartWatcher();
    // Reports the state, and writes it to the log for whoever asked by hand.
    void Interrogate();

    CServiceState m_state;
    SServiceLimits m_limits;
    CRequestGuard m_guard;
    CKeyStore m_store;
    CKeyListCache m_keyLists{m_store};
    CReceiveBudget m_receiveBudget{CReceiveBudget::kServiceBound};
    std::atomic<int> m_openConnections{0};
    CServiceMetrics m_metrics;
    // After the guard, which its thread ticks once the request server ran.
    CDelayedReplies m_delayedReplies;
    const SServiceParts m_parts{m_state,    m_limits,        m_guard,           m_delayedReplies,
                                m_keyLists, m_receiveBudget, m_openConnections, m_metrics};
    CMetricsWriter m_metricsWriter{m_parts};
    std::thread m_watcher;
};
