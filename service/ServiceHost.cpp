#include "ServiceHost.h"

#include "CControlDispatcher.h"
#include "ConnectionThread.h"
#include "Log.h"
#include "WatchSettings.h"

#include <exception>
#include <string>
#include <system_error>

namespace {

constexpr int kFinalLogDrainMs = 1000;

// Once it reads the stopped report, Windows may end the process at any moment: the last log
// lines are written out first.
void ReportStopped(ServiceContext& context, uint32_t exitCode)
{
    DrainLog(kFinalLogDrainMs);
    ReportStatus(context, kServiceStopped, exitCode);
}

void SetState(ServiceContext& context, int state)
{
    {
        std::lock_guard<std::mutex> guard(context.gateLock);
        context.state = state;
    }
    context.gateChanged.notify_all();
}

// Running is reported only once a unit can connect: a service whose port is held by
// another program stops without ever having reported it, so its start fails.
bool WaitForFirstListener(ServiceContext& context)
{
    std::unique_lock<std::mutex> guard(context.gateLock);
    context.gateChanged.wait(guard, [&context] { return context.listening || context.state == kStateStopPending; });
    return context.state != kStateStopPending;
}

// Reports the state, and writes it to the log for whoever asked by hand.
void Interrogate(ServiceContext& context)
{
    std::lock_guard<std::mutex> controls(context.controlLock);
    const int state = context.state;
    const uint32_t reported = !context.runningReported && state == kStateRunning ? kServiceStartPending
                              : state == kStateRunning                           ? kServiceRunning
                              : state == kStatePaused                            ? kServicePaused
                                                                                 : kServiceStopped;
    ReportStatus(context, reported, 0);
    LogLine(std::string("state: ") + StatusText(reported) + ", listening on port " +
            std::to_string(context.listeningPort.load()) + ", " + std::to_string(OpenConnections()) +
            " connections open");
}

} // namespace

bool ReportStatus(ServiceContext& context, uint32_t state, uint32_t exitCode)
{
    if (context.statusHandle == nullptr) {
        return false;
    }
    return context.statusHandle->Report(MakeStatus(state, exitCode));
}

void ServiceMain(ServiceContext& context, CStatusReporter& reporter)
{
    context.state = kStateNone;
    context.exitCode = 0;
    context.runningReported = false;
    context.listening = false;
    context.statusHandle = &reporter;
    // Made before controls can arrive, so that a stop is never lost.
    try {
        context.stopEvent = std::make_unique<Platform::CEvent>(true, false);
        context.pausedEvent = std::make_unique<Platform::CEvent>(true, false);
    } catch (const std::exception& error) {
        LogLine(std::string("cannot create the stop and pause events: ") + error.what());
        ReportStopped(context, 0);
        return;
    }
    // Registering the control handler: controls queued as signals until now are taken.
    if (!CControlDispatcher::Start(ControlHandler, &context)) {
        LogLine("cannot start the control dispatcher");
        return;
    }
    LogLine("Ternwick starting");
    ReportStatus(context, kServiceStartPending, 0);

    if (!StartWorker(context)) {
        if (context.state != kStateStopPending) {
            LogLine("cannot start the watcher thread");
        }
        ReportStopped(context, 0);
        return;
    }
    if (WaitForFirstListener(context)) {
        std::lock_guard<std::mutex> controls(context.controlLock);
        ReportStatus(context, kServiceRunning, 0);
        context.runningReported = true;
    }

    context.stopEvent->Wait(-1);

    LogLine("Ternwick stopped");
    ReportStopped(context, static_cast<uint32_t>(context.exitCode.load()));
    // The watcher is not waited for: it may be blocked in an accept; the process ends
    // with the service.
    if (context.workerThread.joinable()) {
        context.workerThread.detach();
    }
}

uint32_t ControlHandler(uint32_t control, uint32_t /*eventType*/, void* /*eventData*/, void* contextPointer)
{
    ServiceContext& context = *static_cast<ServiceContext*>(contextPointer);
    switch (control) {
    case kServiceControlStop:
    case kServiceControlShutdown:
        Stop(context);
        break;
    case kServiceControlPause:
        Pause(context);
        break;
    case kServiceControlContinue:
        Continue(context);
        break;
    default:
        Interrogate(context);
        break;
    }
    return 0;
}

bool StartWorker(ServiceContext& context)
{
    {
        // A stop that came first keeps the service from starting at all.
        std::lock_guard<std::mutex> guard(context.gateLock);
        if (context.state != kStateNone) {
            return false;
        }
        context.state = kStateRunning;
    }
    try {
        context.workerThread = std::thread([&context] { WatchSettings(context); });
    } catch (const std::system_error&) {
        context.state = kStateStopped;
        return false;
    }
    return true;
}

void Pause(ServiceContext& context)
{
    std::lock_guard<std::mutex> controls(context.controlLock);
    if (!context.runningReported) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(context.gateLock);
        if (context.state != kStateRunning) {
            return;
        }
        context.state = kStatePaused;
        if (context.pausedEvent) {
            context.pausedEvent->Set();
        }
    }
    context.gateChanged.notify_all();
    ReportStatus(context, kServicePausePending, 0);
    LogLine("paused: no new connection is served");
    ReportStatus(context, kServicePaused, 0);
}

void Continue(ServiceContext& context)
{
    std::lock_guard<std::mutex> controls(context.controlLock);
    if (!context.runningReported || context.state != kStatePaused) {
        return;
    }
    ReportStatus(context, kServiceContinuePending, 0);
    {
        std::lock_guard<std::mutex> guard(context.gateLock);
        // A stop that arrived meanwhile wins.
        if (context.state == kStatePaused) {
            context.state = kStateRunning;
            if (context.pausedEvent) {
                context.pausedEvent->Reset();
            }
        }
    }
    context.gateChanged.notify_all();
    LogLine("continued");
    ReportStatus(context, kServiceRunning, 0);
}

void Stop(ServiceContext& context)
{
    ReportStatus(context, kServiceStopPending, 0);
    LogLine("stopping");
    SetState(context, kStateStopPending);
    if (context.stopEvent) {
        context.stopEvent->Set();
    }
}

void ListenerOpened(ServiceContext& context, uint16_t port)
{
    context.listeningPort = port;
    {
        std::lock_guard<std::mutex> guard(context.gateLock);
        context.listening = true;
    }
    context.gateChanged.notify_all();
}

bool WaitWhilePaused(ServiceContext& context)
{
    if (context.state == kStateRunning) {
        return true;
    }
    std::unique_lock<std::mutex> guard(context.gateLock);
    context.gateChanged.wait(guard, [&context] { return context.state != kStatePaused; });
    return context.state != kStateStopPending;
}
