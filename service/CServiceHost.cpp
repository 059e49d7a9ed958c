#include "CServiceHost.h"

#include "CControlDispatcher.h"
#include "Log.h"
#include "WatchSettings.h"

#include <exception>
#include <string>
#include <system_error>

namespace {

constexpr int kFinalLogDrainMs = 1000;

// Once it reads the stopped report, Windows may end the process at any moment: the last log
// lines are written out first.
void ReportStopped(CStatusReporter& reporter, uint32_t exitCode)
{
    DrainLog(kFinalLogDrainMs);
    reporter.Report(MakeStatus(kServiceStopped, exitCode));
}

} // namespace

CServiceHost::CServiceHost(CStatusReporter& reporter) : m_state(reporter) {}

int CServiceHost::RunProcess(CStatusReporter& reporter, int maxConnections)
{
    // Never destroyed (see above).
    static CServiceHost* host = nullptr;
    try {
        host = new CServiceHost(reporter);
    } catch (const std::exception& error) {
        LogLine(std::string("cannot set up the service: ") + error.what());
        ReportStopped(reporter, 0);
        return 0;
    }
    host->m_limits.maxConnections = maxConnections;
    host->Run();
    return host->m_state.ExitCode();
}

void CServiceHost::Run()
{
    // Registering the control handler: controls queued as signals until now are taken.
    if (!CControlDispatcher::Start(ControlHandler, this)) {
        LogLine("cannot start the control dispatcher");
        return;
    }
    LogLine("Ternwick starting");
    m_state.Report(kServiceStartPending);

    if (!StartWatcher()) {
        if (!m_state.Stopping()) {
            LogLine("cannot start the watcher thread");
        }
        DrainLog(kFinalLogDrainMs);
        m_state.Report(kServiceStopped);
        return;
    }
    try {
        m_metricsWriter.Start();
    } catch (const std::system_error& error) {
        LogLine(std::string("cannot start the metrics thread: no metrics are written (") + error.what() + ")");
    }
    if (m_state.WaitForFirstListener()) {
        m_state.ReportRunning();
    }

    m_state.StopEvent().Wait(-1);
    m_metricsWriter.Join();

    LogLine("Ternwick stopped");
    DrainLog(kFinalLogDrainMs);
    m_state.Report(kServiceStopped, static_cast<uint32_t>(m_state.ExitCode()));
    // The watcher is not waited for: it may be blocked in an accept; the process ends
    // with the service.
    if (m_watcher.joinable()) {
        m_watcher.detach();
    }
}

uint32_t CServiceHost::ControlHandler(uint32_t control, uint32_t /*eventType*/, void* /*eventData*/, void* host)
{
    CServiceHost& self = *static_cast<CServiceHost*>(host);
    switch (control) {
    case kServiceControlStop:
    case kServiceControlShutdown:
        self.m_state.Stop();
        break;
    case kServiceControlPause:
        self.m_state.Pause();
        break;
    case kServiceControlContinue:
        self.m_state.Continue();
        break;
    default:
        self.Interrogate();
        break;
    }
    return 0;
}

bool CServiceHost::StartWatcher()
{
    // A stop that came first keeps the service from starting at all.
    if (!m_state.BeginRunning()) {
        return false;
    }
    try {
        m_watcher = std::thread([this] { WatchSettings(m_parts); });
    } catch (const std::system_error&) {
        m_state.EndRunning();
        return false;
    }
    return true;
}

void CServiceHost::Interrogate()
{
    const uint32_t reported = m_state.ReportCurrent();
    LogLine(std::string("state: ") + StatusText(reported) + ", listening on port " +
            std::to_string(m_state.ListeningPort()) + ", " + std::to_string(m_openConnections.load()) +
            " connections open");
}
