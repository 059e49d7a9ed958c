#include "RequestServer.h"

#include "CConnectionWorkers.h"
#include "CDelayedReplies.h"
#include "CRequestGuard.h"
#include "Log.h"
#include "StoreCheck.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "net/CSocketWaiter.h"
#include "net/CStrmSrvSocket.h"
#include "net/StackProbe.h"
#include "settings/CGuardSettings.h"
#include "settings/CKeyStore.h"

#include <string>
#include <vector>

namespace {

// While the workers stall, the watcher looks again this often.
constexpr int kInTheirPlaceLookMs = 100;

// Ends the run on every way out: its idle workers leave, and the listening sockets close
// at once, so that the old port is free (or moved) while the run's connections are still
// served.
class CRunEnd
{
public:
    CRunEnd(CConnectionWorkers& workers, ZiRez::CStrmSrvSocket& server) : m_workers(workers), m_server(server) {}
    ~CRunEnd()
    {
        m_workers.End();
        m_server.CloseListeners();
    }
    CRunEnd(const CRunEnd&) = delete;
    CRunEnd& operator=(const CRunEnd&) = delete;

private:
    CConnectionWorkers& m_workers;
    ZiRez::CStrmSrvSocket& m_server;
};

std::shared_ptr<ZiRez::CStrmSrvSocket> OpenListener(const SServiceLimits& limits, uint16_t port,
                                                    Platform::CEvent* settingsChanged)
{
    auto server =
        std::make_shared<ZiRez::CStrmSrvSocket>(ZiRez::FAMILY_UNSPEC, ZiRez::SOCKET_STREAM, ZiRez::IsIPv4Available(),
                                                ZiRez::IsIPv6Available(), port, settingsChanged, -1);
    // Reads do not watch the settings-change event (it must reach the watcher), and a
    // silent peer is given up after a while.
    server->SetReadWait(nullptr, kConnectionTimeOutMs);
    server->SetRequestDeadline(limits.requestDeadlineMs);
    try {
        server->Open(port);
    } catch (const ZiRez::CSocketError& error) {
        LogLine("cannot listen on port " + std::to_string(port) + ": " + error.what());
        throw;
    }
    // Every reply is a few small writes (header, payload, status) each awaiting the peer's
    // acknowledgement; with Nagle's algorithm each would wait for the peer's delayed ACK.
    server->DisableNagle();
    return server;
}

// Waits until the run ends, accepting in the workers' place while they stall (silent peers
// hold them all, or no more could be started): a connection then gets a worker of its own,
// or is closed when it cannot.
void WatchRun(CServiceState& state, Platform::CEvent* settingsChanged, ZiRez::CStrmSrvSocket& server,
              CConnectionWorkers& workers)
{
    // At the cap with no silent peer to make room: the waiting connections stay queued a while.
    bool full = false;
    while (!state.Stopping()) {
        const int stalledIn = workers.StalledInMs();
        const bool inTheirPlace = stalledIn == 0;
        ZiRez::CSocketWaiter waiter;
        // Only this thread closes the listeners (at the run's end): their handles stay valid.
        std::vector<ZiRez::SocketHandle> listeners(ZiRez::CStrmSrvSocket::ListenerCount(),
                                                   ZiRez::INVALID_SOCKET_HANDLE);
        for (size_t listener = 0; listener < listeners.size(); ++listener) {
            server.UseListener(static_cast<int>(listener),
                               [&](ZiRez::SocketHandle socket) { listeners[listener] = socket; });
            if (inTheirPlace && !full && state.State() == kStateRunning &&
                listeners[listener] != ZiRez::INVALID_SOCKET_HANDLE) {
                waiter.AddSocket(listeners[listener]);
            }
        }
        waiter.AddEvent(settingsChanged);
        waiter.AddEvent(&state.StopEvent());
        waiter.AddEvent(&workers.Failed());
        waiter.AddEvent(&workers.AllBusy());
        if (waiter.Wait(inTheirPlace ? kInTheirPlaceLookMs : stalledIn, true) < 0) {
            throw ZiRez::CSocketError("CStrmSrvSocket::Accept(): SocketEvent Wait Error!", 9);
        }
        if (const auto failure = workers.Failure()) {
            throw *failure;
        }
        if (settingsChanged != nullptr && waiter.KindOf(settingsChanged) == ZiRez::CSocketWaiter::KIND_READ) {
            throw ZiRez::CSocketEvent();
        }
        int ready = -1;
        for (size_t listener = 0; listener < listeners.size() && ready < 0; ++listener) {
            if (listeners[listener] != ZiRez::INVALID_SOCKET_HANDLE &&
                waiter.KindOf(listeners[listener]) == ZiRez::CSocketWaiter::KIND_READ) {
                ready = static_cast<int>(listener);
            }
        }
        full = ready >= 0 && !workers.MakeRoom(1);
        if (ready >= 0 && !full) {
            const int index = server.TryAccept(ready);
            if (index >= 0 && !workers.StartWorker(index)) {
                server.CloseConnection(index);
            }
        }
    }
}

// The guards' settings are read at every start of a run (a change of "Config" starts one);
// when they cannot be read, the last ones stay. The guard's counts are kept from the first
// run on: not before the store was found usable.
void ConfigureGuards(const SServiceParts& parts)
{
    CRequestGuard& guard = parts.guard;
    parts.delayedReplies.SetTick([&guard](CDelayedReplies::Clock::time_point now) { guard.Tick(now); });
    SGuardSettings settings;
    if (CGuardSettings::Read(settings) == 0) {
        LogLine("cannot read the throttle and release-check settings: the last ones stay");
        return;
    }
    guard.Configure(settings);
    guard.WriteCountsNow();
    LogLine("throttle per peer: " +
            (settings.throttleRate == 0 ? std::string("off")
                                        : std::to_string(settings.throttleRate) + " a second, burst " +
                                              std::to_string(settings.throttleBurst)) +
            "; release check: " + CGuardSettings::CheckText(settings.releaseCheck));
}

} // namespace

void RunServer(const SServiceParts& parts, Platform::CEvent* settingsChanged)
{
    CKeyStore store;
    const uint16_t port = ServicePort(store);
    if (port == 0) {
        // Never a port the store did not name, when it cannot be read: units are pointed at
        // the stored one.
        throw CStoreUnusable("cannot read the port from the key store: the service stops");
    }
    ConfigureGuards(parts);
    const auto server = OpenListener(parts.limits, port, settingsChanged);
    const auto workers = std::make_shared<CConnectionWorkers>(parts, server);
    const CRunEnd end(*workers, *server);
    LogLine("listening on port " + std::to_string(port));
    parts.state.ListenerOpened(port);
    workers->StartWorker(-1);
    WatchRun(parts.state, settingsChanged, *server, *workers);
}
