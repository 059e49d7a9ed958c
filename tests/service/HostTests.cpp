// The host's controls and pause gate, and the port the service takes from the store, inside
// this process (its store is the private one that main sets up).
#include "CCountingStore.h"
#include "CRecordingReporter.h"
#include "keys/AsciiCase.h"
#include "service/CControlDispatcher.h"
#include "service/CServiceHost.h"
#include "service/StoreCheck.h"
#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"
#include "settings/CSettingsStore.h"

#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Where a fresh service is brought, through the calls its host makes, before the control.
enum class Given
{
    None,
    Starting, // running, not reported yet
    Running,
    Paused,
    Stopping,
};

void Bring(CServiceHost& host, Given given)
{
    CServiceState& state = host.State();
    if (given == Given::None) {
        return;
    }
    ASSERT_TRUE(state.BeginRunning());
    if (given == Given::Starting) {
        return;
    }
    state.ReportRunning();
    if (given == Given::Paused) {
        state.Pause();
    } else if (given == Given::Stopping) {
        state.Stop();
    }
}

struct SControlCase
{
    const char* name;
    Given given;
    uint32_t control;
    std::vector<uint32_t> reports;
    int stateAfter;
    bool stopSignalled;
};

} // namespace

TEST(ServiceHost, ControlsChangeStateAndReportAsTheTableSays)
{
    const std::vector<SControlCase> cases = {
        {"pause while running",
         Given::Running,
         kServiceControlPause,
         {kServicePausePending, kServicePaused},
         kStatePaused,
         false},
        {"pause while paused", Given::Paused, kServiceControlPause, {}, kStatePaused, false},
        {"pause while stopping", Given::Stopping, kServiceControlPause, {}, kStateStopPending, true},
        {"continue while paused",
         Given::Paused,
         kServiceControlContinue,
         {kServiceContinuePending, kServiceRunning},
         kStateRunning,
         false},
        {"continue while running", Given::Running, kServiceControlContinue, {}, kStateRunning, false},
        {"interrogate while running",
         Given::Running,
         kServiceControlInterrogate,
         {kServiceRunning},
         kStateRunning,
         false},
        {"interrogate while paused", Given::Paused, kServiceControlInterrogate, {kServicePaused}, kStatePaused, false},
        {"interrogate while stopping",
         Given::Stopping,
         kServiceControlInterrogate,
         {kServiceStopped},
         kStateStopPending,
         true},
        {"unknown control", Given::Running, 99, {kServiceRunning}, kStateRunning, false},
        {"stop while running", Given::Running, kServiceControlStop, {kServiceStopPending}, kStateStopPending, true},
        {"shutdown while paused",
         Given::Paused,
         kServiceControlShutdown,
         {kServiceStopPending},
         kStateStopPending,
         true},
        // Before running is reported (start pending) only a stop is taken.
        {"pause while starting", Given::Starting, kServiceControlPause, {}, kStateRunning, false},
        {"interrogate while starting",
         Given::Starting,
         kServiceControlInterrogate,
         {kServiceStartPending},
         kStateRunning,
         false},
        {"stop before the start", Given::None, kServiceControlStop, {kServiceStopPending}, kStateStopPending, true},
    };
    for (const auto& test : cases) {
        CRecordingReporter reporter;
        CServiceHost host(reporter);
        Bring(host, test.given);
        reporter.Take();
        EXPECT_EQ(CServiceHost::ControlHandler(test.control, 0, nullptr, &host), 0u) << test.name;
        EXPECT_EQ(reporter.Take(), test.reports) << test.name;
        EXPECT_EQ(host.State().State(), test.stateAfter) << test.name;
        EXPECT_EQ(host.State().StopEvent().Wait(0), test.stopSignalled) << test.name;
        if (test.stateAfter != kStateStopPending) {
            // The event that wakes waiting workers follows the pause.
            EXPECT_EQ(host.State().PausedEvent().Wait(0), test.stateAfter == kStatePaused) << test.name;
        }
    }
}

TEST(ServiceHost, PauseGateHoldsUntilContinueOrStop)
{
    for (const bool stop : {false, true}) {
        CRecordingReporter reporter;
        CServiceHost host(reporter);
        CServiceState& state = host.State();
        Bring(host, Given::Running);
        EXPECT_TRUE(state.WaitWhilePaused());
        state.Pause();
        auto passed = std::async(std::launch::async, [&state] { return state.WaitWhilePaused(); });
        EXPECT_EQ(passed.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
        if (stop) {
            state.Stop();
        } else {
            state.Continue();
        }
        ASSERT_EQ(passed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(passed.get(), !stop) << (stop ? "stop" : "continue");
    }
}

// A readable "Config" without a port (or with port 0) means the default port; a store that
// cannot be read keeps the service from starting.
TEST(ServiceStart, ThePortIsTheStoredOneOrTheDefault)
{
    CKeyStore store;
    const auto deletePort = [&store] { store.OpenConfigKey().DeleteValue("PortNo"); };
    const struct
    {
        const char* name;
        std::function<void()> change;
        uint16_t port;
        bool usable;
    } cases[] = {
        {"PortNo 4711", [&store] { store.WritePort(4711); }, 4711, true},
        {"PortNo 0", [&store] { store.WritePort(0); }, CKeyStore::kDefaultPort, true},
        {"no PortNo", deletePort, CKeyStore::kDefaultPort, true},
        {"no \"Config\" (the start makes the layout)", [&store] { store.RemoveLayout(); }, 0, true},
    };
    for (const auto& test : cases) {
        ASSERT_EQ(store.CreateLayout(), 1);
        test.change();
        EXPECT_EQ(ServicePort(store), test.port) << test.name;
        const SStoreCheck check = CheckStoreForService();
        EXPECT_EQ(check.usable, test.usable) << test.name << ": " << check.reason;
    }

    // A store that fails is not taken for one without a port.
    ASSERT_EQ(store.CreateLayout(), 1);
    deletePort();
    CSettingsStore& real = SettingsStore();
    CCountingStore faulty(real);
    faulty.failOpensOf = LowerAscii(CKeyStore::kConfigPath);
    faulty.failOpens = 1000;
    SetSettingsStoreForTesting(&faulty);
    const uint16_t port = ServicePort(store);
    SetSettingsStoreForTesting(&real);
    EXPECT_EQ(port, 0);
    ASSERT_EQ(store.CreateLayout(), 1);
}
