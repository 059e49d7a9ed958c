#include "CMetricsWriter.h"

#include "CKeyListCache.h"
#include "CRequestGuard.h"
#include "CServiceMetrics.h"
#include "Log.h"
#include "MetricsFile.h"
#include "SServiceParts.h"
#include "net/CSocketWaiter.h"
#include "settings/CKeyStore.h"
#include "settings/CMetricsSettings.h"
#include "settings/RegistryNotify.h"
#include "sync/CPeerStore.h"
#include "sync/CSyncLedger.h"

#include <ctime>

CMetricsWriter::~CMetricsWriter()
{
    Join();
}

void CMetricsWriter::Start()
{
    m_thread = std::thread([this] { Run(); });
}

void CMetricsWriter::Join()
{
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CMetricsWriter::Run()
{
    Platform::CEvent& stop = m_parts.state.StopEvent();
    Platform::CEvent settingsChanged(false, false);
    CKeyStore store;
    for (;;) {
        // Armed before the folder is read, so that a change made meanwhile is not lost.
        CRegistryKey config = store.OpenConfigKey();
        NotifyChangeKeyValue(config.GetHandle(), true, kRegNotifyChangeLastSet, &settingsChanged);
        WriteNow();
        ZiRez::CSocketWaiter waiter;
        waiter.AddEvent(&settingsChanged);
        waiter.AddEvent(&stop);
        if (waiter.Wait(kIntervalMs, true) < 0) {
            LogLine("metrics: cannot wait for the next write: no more are written until the service restarts");
            return;
        }
        if (waiter.KindOf(&stop) == ZiRez::CSocketWaiter::KIND_READ) {
            break;
        }
        config.Close();
        settingsChanged.TryTake();
    }
    WriteNow();
}

void CMetricsWriter::WriteNow()
{
    std::string directory;
    if (CMetricsSettings::Read(directory) == 0) {
        directory = m_directory;
    }
    if (directory != m_directory) {
        LogLine(directory.empty()
                    ? std::string("metrics: off")
                    : "metrics: written to " + directory + " every " + std::to_string(kIntervalMs / 1000) + " s");
        m_directory = directory;
        m_failing = false;
    }
    if (directory.empty()) {
        return;
    }
    CServiceMetrics::SReadings readings;
    readings.openConnections = m_parts.openConnections.load();
    readings.mismatches = m_parts.guard.MismatchCount();
    readings.storeLoadFailures = m_parts.keyLists.FailedLoadCount();
    readings.now = static_cast<int64_t>(std::time(nullptr));
    for (const CPeerStore::SPeer& peer : CPeerStore().List().value_or(std::vector<CPeerStore::SPeer>())) {
        readings.peers.push_back(
            {peer.name, peer.status.state.rfind("in sync", 0) == 0, peer.status.lastSync, peer.status.waiting});
    }
    readings.conflicts = readings.peers.empty() ? 0 : CSyncLedger::ReadConflicts().size();
    std::string error;
    const bool written = ReplaceMetricsFile(directory, m_parts.metrics.Text(readings), error);
    if (written == m_failing) {
        LogLine(written ? "metrics: written to " + directory + " again"
                        : "metrics: cannot write to " + directory + ": " + error);
        m_failing = !written;
    }
}
