// The host's controls, the pause gate, the key-list snapshot, the request log, the
// throttle's table on a clock the test sets, and the request server's workers and its
// handling of a connection thread that cannot start, inside this process (its store is
// the private one that main sets up).
#include "CCountingStore.h"
#include "CPeer.h"
#include "ThisProcess.h"
#include "Wire.h"
#include "net/CSocketEvent.h"
#include "service/CKeyListCache.h"
#include "service/CPeerThrottle.h"
#include "service/CRequestLog.h"
#include "service/RequestServer.h"
#include "service/ServiceHost.h"
#include "settings/AsciiCase.h"
#include "settings/CKeyStore.h"
#include "settings/CSettingsStore.h"

#include <algorithm>
#include <deque>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

class CRecordingReporter : public CStatusReporter
{
public:
    bool Report(const ServiceStatus& status) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        states.push_back(status.currentState);
        return true;
    }
    std::vector<uint32_t> Take()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return std::exchange(states, {});
    }

private:
    std::mutex m_lock;
    std::vector<uint32_t> states;
};

struct HostFixture
{
    explicit HostFixture(int state, bool running = true)
    {
        context.statusHandle = &reporter;
        context.stopEvent = std::make_unique<Platform::CEvent>(true, false);
        context.state = state;
        context.runningReported = running;
    }
    CRecordingReporter reporter;
    ServiceContext context;
};

struct Case
{
    const char* name;
    int state;
    uint32_t control;
    std::vector<uint32_t> reports;
    int stateAfter;
    bool stopSignalled;
};

void RunControls(const std::vector<Case>& cases, bool running)
{
    for (const auto& test : cases) {
        HostFixture host(test.state, running);
        EXPECT_EQ(ControlHandler(test.control, 0, nullptr, &host.context), 0u) << test.name;
        EXPECT_EQ(host.reporter.Take(), test.reports) << test.name;
        EXPECT_EQ(host.context.state.load(), test.stateAfter) << test.name;
        EXPECT_EQ(host.context.stopEvent->Wait(0), test.stopSignalled) << test.name;
    }
}

} // namespace

TEST(ServiceHost, ControlsChangeStateAndReportAsTheTableSays)
{
    const std::vector<Case> cases = {
        {"pause while running",
         kStateRunning,
         kServiceControlPause,
         {kServicePausePending, kServicePaused},
         kStatePaused,
         false},
        {"pause while paused", kStatePaused, kServiceControlPause, {}, kStatePaused, false},
        {"pause while stopping", kStateStopPending, kServiceControlPause, {}, kStateStopPending, false},
        {"continue while paused",
         kStatePaused,
         kServiceControlContinue,
         {kServiceContinuePending, kServiceRunning},
         kStateRunning,
         false},
        {"continue while running", kStateRunning, kServiceControlContinue, {}, kStateRunning, false},
        {"interrogate while running",
         kStateRunning,
         kServiceControlInterrogate,
         {kServiceRunning},
         kStateRunning,
         false},
        {"interrogate while paused", kStatePaused, kServiceControlInterrogate, {kServicePaused}, kStatePaused, false},
        {"interrogate while stopping",
         kStateStopPending,
         kServiceControlInterrogate,
         {kServiceStopped},
         kStateStopPending,
         false},
        {"unknown control", kStateRunning, 99, {kServiceRunning}, kStateRunning, false},
        {"stop while running", kStateRunning, kServiceControlStop, {kServiceStopPending}, kStateStopPending, true},
        {"shutdown while paused",
         kStatePaused,
         kServiceControlShutdown,
         {kServiceStopPending},
         kStateStopPending,
         true},
    };
    RunControls(cases, true);
}

TEST(ServiceHost, BeforeRunningIsReportedOnlyAStopIsTaken)
{
    const std::vector<Case> cases = {
        {"pause while starting", kStateRunning, kServiceControlPause, {}, kStateRunning, false},
        {"continue while starting", kStatePaused, kServiceControlContinue, {}, kStatePaused, false},
        {"interrogate while starting",
         kStateRunning,
         kServiceControlInterrogate,
         {kServiceStartPending},
         kStateRunning,
         false},
        {"stop while starting", kStateNone, kServiceControlStop, {kServiceStopPending}, kStateStopPending, true},
    };
    RunControls(cases, false);
}

TEST(ServiceHost, PauseGateHoldsUntilContinueOrStop)
{
    for (const bool stop : {false, true}) {
        HostFixture host(kStateRunning);
        EXPECT_TRUE(WaitWhilePaused(host.context));
        Pause(host.context);
        auto passed = std::async(std::launch::async, [&host] { return WaitWhilePaused(host.context); });
        EXPECT_EQ(passed.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
        if (stop) {
            Stop(host.context);
        } else {
            Continue(host.context);
        }
        ASSERT_EQ(passed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(passed.get(), !stop) << (stop ? "stop" : "continue");
    }
}

TEST(KeyListCache, ReloadsOnlyWhenTheListChanged)
{
    CKeyStore store;
    ASSERT_EQ(store.CreateLayout(), 1);
    CKeyListCache cache(store);
    const auto first = cache.Current();
    const auto again = cache.Current();
    EXPECT_EQ(first.get(), again.get()) << "an unchanged list must not be loaded again";
    EXPECT_EQ(cache.LoadCount(), 1u);

    CKeyRecord record;
    record.SetId("0011223344AA");
    const std::string key = Wire::Key(42);
    record.SetKey(key.data());
    ASSERT_EQ(store.StoreKey(record), 1);
    const auto added = cache.Current();
    ASSERT_EQ(added->count("0011223344AA"), 1u);
    EXPECT_EQ(added->at("0011223344AA").GetKey().View(), key);
    EXPECT_EQ(cache.LoadCount(), 2u);

    // Exactly what a fresh load gives.
    const auto fresh = store.LoadKeyList();
    ASSERT_EQ(fresh.size(), added->size());
    for (const auto& [id, entry] : fresh) {
        ASSERT_EQ(added->count(id), 1u) << id;
        EXPECT_EQ(added->at(id).GetKey(), entry.GetKey()) << id;
    }

    ASSERT_EQ(store.DeleteKey("0011223344AA"), 1);
    EXPECT_EQ(cache.Current()->count("0011223344AA"), 0u);
    EXPECT_EQ(first->count("0011223344AA"), 0u) << "a snapshot handed out never changes";
}

TEST(KeyListCache, AFailedLoadIsNotTakenForAnEmptyList)
{
    CKeyStore store;
    ASSERT_EQ(store.CreateLayout(), 1);
    const auto storeKey = [&store](const std::string& id, unsigned char seed) {
        CKeyRecord record;
        record.SetId(id);
        const std::string key = Wire::Key(seed);
        record.SetKey(key.data());
        return store.StoreKey(record);
    };
    ASSERT_EQ(storeKey("00A0B0C0D0E1", 1), 1);
    CSettingsStore& real = SettingsStore();
    CCountingStore faulty(real);
    faulty.failOpensOf = LowerAscii(CKeyStore::kKeyListPath);
    SetSettingsStoreForTesting(&faulty);
    const auto retry = std::chrono::milliseconds(200);
    CKeyListCache cache(store, retry);
    EXPECT_EQ(cache.Current()->size(), 1u);

    // The list changed, and the load that follows fails once: the requests meanwhile are
    // served from the last list loaded, and the store is not asked again at once.
    ASSERT_EQ(storeKey("00A0B0C0D0E2", 2), 1);
    faulty.failOpens = 1;
    const auto failedAt = std::chrono::steady_clock::now();
    const auto during = cache.Current();
    const int opens = faulty.openCalls;
    const auto again = cache.Current();
    const bool withinRetry = std::chrono::steady_clock::now() - failedAt < retry;
    const int opensAgain = faulty.openCalls;
    SetSettingsStoreForTesting(&real);
    EXPECT_EQ(during->size(), 1u) << "a failed load must not be taken for an empty list";
    EXPECT_EQ(again->size(), 1u);
    if (withinRetry) {
        EXPECT_EQ(opensAgain, opens) << "the store was asked again within the retry interval";
    }
    std::this_thread::sleep_for(retry);
    EXPECT_EQ(cache.Current()->size(), 2u);
}

TEST(RequestLog, EscapesPeerBytesAndShortensThem)
{
    CRequestLog log("192.0.2.7");
    log.SetCode(512);
    log.AddId("AB\n\"\\\x01");
    log.AddId(std::string(100, 'C'));
    for (int i = 0; i < 5; ++i) {
        log.AddId("D");
    }
    log.AddStatus(2, 4);
    log.AddStatus(0, 0);
    const std::string line = log.Line();
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line, "request from 192.0.2.7: code 512, ids \"AB\\x0A\\x22\\x5C\\x01\", \"" + std::string(64, 'C') +
                        "...(100 bytes)\", \"D\", \"D\" and 3 more, status (2, 4) (0, 0)");

    CRequestLog failed("::1");
    failed.SetError("No Data Error!");
    EXPECT_EQ(failed.Line(), "request from ::1: code none, status none, ended by \"No Data Error!\"");
}

namespace {

using ZiRez::CPeerAddress;
using Clock = CPeerThrottle::Clock;

// Every admission takes a token; a hit gives it back, a miss keeps it, and a request still
// running (its outcome unknown) holds it.
enum class Act
{
    Miss,
    Hit,
    Running,
};

struct Step
{
    const char* peer;
    CPeerThrottle::Kind kind;
    int atMs;
    Act act;
    bool admitted;
};

struct Scenario
{
    const char* name;
    size_t capacity;
    uint32_t perSecond;
    uint32_t burst;
    std::vector<Step> steps;
};

constexpr auto kMiss = CPeerThrottle::kMiss;
constexpr auto kPassword = CPeerThrottle::kWrongPassword;

} // namespace

TEST(PeerThrottle, BucketsPerPeerOnAClockTheTestSets)
{
    const std::vector<Scenario> scenarios = {
        {"burst, then one token per tenth of a second",
         16,
         10,
         3,
         {{"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, false},
          {"192.0.2.1", kMiss, 50, Act::Miss, false},
          {"192.0.2.1", kMiss, 100, Act::Miss, true},
          {"192.0.2.1", kMiss, 100, Act::Miss, false},
          // A long pause fills the bucket to its size, no further.
          {"192.0.2.1", kMiss, 60000, Act::Miss, true},
          {"192.0.2.1", kMiss, 60000, Act::Miss, true},
          {"192.0.2.1", kMiss, 60000, Act::Miss, true},
          {"192.0.2.1", kMiss, 60000, Act::Miss, false}}},
        {"a hit spends nothing; kinds and other peers keep their own",
         16,
         1,
         2,
         {{"192.0.2.1", kMiss, 0, Act::Hit, true},
          {"192.0.2.1", kMiss, 0, Act::Hit, true},
          {"192.0.2.1", kMiss, 0, Act::Hit, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, false},
          {"192.0.2.1", kMiss, 0, Act::Hit, false}, // an empty bucket admits no hit either
          {"192.0.2.1", kPassword, 0, Act::Miss, true},
          {"192.0.2.2", kMiss, 0, Act::Miss, true}}},
        {"requests running together take no more than the bucket holds",
         16,
         1,
         2,
         {{"192.0.2.1", kMiss, 0, Act::Running, true},
          {"192.0.2.1", kMiss, 0, Act::Running, true},
          {"192.0.2.1", kMiss, 0, Act::Running, false},
          {"192.0.2.1", kPassword, 0, Act::Running, true}}},
        {"an IPv6 /64 is one peer; an IPv4-mapped address is its IPv4 address",
         16,
         1,
         1,
         {{"2001:db8:1:2::1", kMiss, 0, Act::Miss, true},
          {"2001:db8:1:2:ffff:ffff:ffff:ffff", kMiss, 0, Act::Miss, false},
          {"2001:db8:1:3::1", kMiss, 0, Act::Miss, true},
          {"::ffff:192.0.2.7", kMiss, 0, Act::Miss, true},
          {"192.0.2.7", kMiss, 0, Act::Miss, false},
          {"192.0.2.8", kMiss, 0, Act::Miss, true}}},
        {"the peer used least recently makes room",
         2,
         1,
         1,
         {{"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.2", kMiss, 1, Act::Miss, true},
          {"192.0.2.1", kMiss, 2, Act::Miss, false}, // .1 is now the more recent
          {"192.0.2.3", kMiss, 3, Act::Miss, true},  // evicts .2
          {"192.0.2.1", kMiss, 4, Act::Miss, false},
          {"192.0.2.2", kMiss, 5, Act::Miss, true}}}, // anew, with a full bucket
        {"rate 0 throttles nothing",
         16,
         0,
         1,
         {{"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true}}},
    };
    for (const Scenario& scenario : scenarios) {
        CPeerThrottle throttle(scenario.capacity);
        throttle.Configure(scenario.perSecond, scenario.burst);
        const Clock::time_point start = Clock::now();
        for (size_t i = 0; i < scenario.steps.size(); ++i) {
            const Step& step = scenario.steps[i];
            const CPeerAddress peer = CPeerAddress::FromText(step.peer);
            ASSERT_NE(peer.Family(), 0) << step.peer;
            const bool admitted = throttle.Admit(peer, step.kind, start + std::chrono::milliseconds(step.atMs));
            EXPECT_EQ(admitted, step.admitted) << scenario.name << ", step " << i;
            if (admitted && step.act == Act::Hit) {
                throttle.Refund(peer, step.kind);
            }
        }
        EXPECT_LE(throttle.Size(), scenario.capacity) << scenario.name;
    }
}

TEST(PeerThrottle, ThrottledRequestsAreSummedUpOncePerPeerAndMinute)
{
    CPeerThrottle throttle(2);
    throttle.Configure(1, 1);
    const Clock::time_point start = Clock::now();
    const CPeerAddress sweeper = CPeerAddress::FromText("2001:db8:5:6::9");
    // The loopback party stands for all of this machine's addresses.
    const CPeerAddress guesser = CPeerAddress::FromText("127.0.0.1");
    const auto miss = [&throttle](const CPeerAddress& peer, CPeerThrottle::Kind kind, Clock::time_point at) {
        return throttle.Admit(peer, kind, at);
    };
    for (int i = 0; i < 4; ++i) {
        miss(sweeper, kMiss, start);
        miss(guesser, kPassword, start);
    }
    miss(sweeper, kPassword, start);
    EXPECT_EQ(throttle.TakeThrottledCount(), 3u + 3u);
    EXPECT_TRUE(throttle.TakeSummaries(start + std::chrono::seconds(59)).empty());
    auto lines = throttle.TakeSummaries(start + std::chrono::seconds(60));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "throttled 2001:db8:5:6::/64 in the last minute: 3 unknown-ID requests, 0 password attempts",
                         "throttled this machine in the last minute: 0 unknown-ID requests, 3 password attempts",
                     }));
    EXPECT_TRUE(throttle.TakeSummaries(start + std::chrono::seconds(200)).empty());
    // A peer evicted with throttled requests not yet summed up has its line at once.
    miss(guesser, kPassword, start + std::chrono::seconds(200));
    EXPECT_FALSE(miss(guesser, kPassword, start + std::chrono::seconds(200)));
    miss(CPeerAddress::FromText("192.0.2.10"), kMiss, start + std::chrono::seconds(201));
    miss(CPeerAddress::FromText("192.0.2.11"), kMiss, start + std::chrono::seconds(202));
    EXPECT_EQ(throttle.TakeSummaries(start + std::chrono::seconds(202)),
              (std::vector<std::string>{
                  "throttled this machine in the last minute: 0 unknown-ID requests, 1 password attempts"}));
}

namespace {

// Workers of a run may look at their context after the run ended, as the service's
// never goes: a context of its own for each test, kept until the process ends.
ServiceContext& LastingContext()
{
    static auto* const contexts = new std::deque<ServiceContext>;
    return contexts->emplace_back();
}

// The request server of this process on a free port until the settings-change event.
class CServerRun
{
public:
    explicit CServerRun(ServiceContext& context) : m_context(context)
    {
        CKeyStore store;
        store.CreateLayout();
        port = Harness::FreePort();
        store.WritePort(port);
        m_context.statusHandle = &m_reporter;
        m_context.state = kStateRunning;
        m_run = std::async(std::launch::async, [this] {
            try {
                RunServer(m_context, &m_settingsChanged);
            } catch (const ZiRez::CSocketEvent&) {
                return 0;
            } catch (...) {
                return 2;
            }
            return 1;
        });
    }
    // A test that failed part-way still ends its run rather than wait for it for ever.
    ~CServerRun()
    {
        if (m_run.valid()) {
            End();
        }
    }
    CServerRun(const CServerRun&) = delete;
    CServerRun& operator=(const CServerRun&) = delete;

    // 0 when the run ended by the settings-change event.
    int End()
    {
        m_settingsChanged.Set();
        return m_run.wait_for(std::chrono::seconds(10)) == std::future_status::ready ? m_run.get() : 3;
    }
    bool Running() { return m_run.wait_for(std::chrono::milliseconds(0)) == std::future_status::timeout; }

    uint16_t port = 0;

private:
    ServiceContext& m_context;
    CRecordingReporter m_reporter;
    Platform::CEvent m_settingsChanged{false, false};
    std::future<int> m_run;
};

// Connects count silent peers at once, each to hold a worker, and waits until they do.
std::vector<Harness::CPeer> HoldWorkers(uint16_t port, size_t count)
{
    std::vector<Harness::CPeer> held(count);
    for (auto& peer : held) {
        EXPECT_TRUE(peer.Connect("127.0.0.1", port));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return held;
}

// The thread count once it reached at least count (threads start slowly on a loaded
// machine), or what it is after five seconds.
long ThreadsOnceAtLeast(long count)
{
    long now = ThreadsOfThisProcess();
    for (int wait = 0; wait < 250 && now < count; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        now = ThreadsOfThisProcess();
    }
    return now;
}

bool CheckIsAnswered(uint16_t port)
{
    return Wire::Hex(Harness::Converse(port, Wire::Request(1) + Wire::Ack())) ==
           Wire::Hex(Wire::Ack() + Wire::Status(0, 0));
}

} // namespace

TEST(RequestServer, WorkersAreReusedAndTheSurplusRetires)
{
    ServiceContext& context = LastingContext();
    context.pausedEvent = std::make_unique<Platform::CEvent>(true, false);
    context.runningReported = true;
    CServerRun run(context);
    ASSERT_TRUE(Harness::WaitForListener(run.port, 10000));
    const long before = ThreadsOfThisProcess();
    {
        // Held at once, each on a worker of its own (where one or two waited before), then
        // let go: the workers wait again.
        const auto held = HoldWorkers(run.port, 8);
        EXPECT_GE(ThreadsOnceAtLeast(before + 6), before + 6);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // No thread can be started now, yet requests one after another are served by the
    // workers already there.
    context.connectionStackSize = size_t{1} << 45;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(CheckIsAnswered(run.port)) << i;
    }
    context.connectionStackSize = kConnectionStackSize;
    // Idle for a while, all but the last retire (a pause and continue wakes them to take
    // the shorter while).
    context.workerRetireMs = 100;
    Pause(context);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Continue(context);
    long now = ThreadsOfThisProcess();
    // Before, one or two workers waited; eight more were needed meanwhile.
    for (int wait = 0; wait < 250 && now > before + 1; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        now = ThreadsOfThisProcess();
    }
    EXPECT_LE(now, before + 1) << "surplus workers did not retire";
    EXPECT_EQ(run.End(), 0);
}

// The watcher's relief workers, started while silent peers held the regular ones, leave
// once the regular workers finish connections again, under continued load as well: more
// serving workers than processors only cost.
TEST(RequestServer, ReliefWorkersLeaveOnceTheRegularOnesServeAgain)
{
    ServiceContext& context = LastingContext();
    context.pausedEvent = std::make_unique<Platform::CEvent>(true, false);
    context.runningReported = true;
    context.busyWorkers = 2;
    context.workerRetireMs = 60000; // no worker leaves for being idle here
    CServerRun run(context);
    ASSERT_TRUE(Harness::WaitForListener(run.port, 10000));
    const long before = ThreadsOfThisProcess();
    {
        // Held by the two regular workers (one or two waited before) and four relief workers.
        const auto held = HoldWorkers(run.port, 6);
        ASSERT_GE(ThreadsOnceAtLeast(before + 4), before + 4);
    }
    // Served meanwhile by whichever workers are there; those that serve none retire after
    // their shorter idle while.
    long now = ThreadsOfThisProcess();
    for (int i = 0; i < 150 && now > before + 1; ++i) {
        ASSERT_TRUE(CheckIsAnswered(run.port)) << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        now = ThreadsOfThisProcess();
    }
    EXPECT_LE(now, before + 1) << "relief workers stayed after the stall";
    EXPECT_EQ(run.End(), 0);
}

TEST(RequestServer, AConnectionThreadThatCannotStartClosesOnlyItsConnection)
{
    ServiceContext& context = LastingContext();
    // No system can map a stack this large: every thread creation fails for real.
    context.connectionStackSize = size_t{1} << 45;
    CServerRun run(context);
    for (int attempt = 0; attempt < 3; ++attempt) {
        Harness::CPeer peer;
        for (int wait = 0; wait < 500 && !peer.Connect("127.0.0.1", run.port); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(peer.IsOpen());
        peer.Send(Wire::Request(1) + Wire::Ack());
        bool closed = false;
        EXPECT_EQ(peer.ReadToClose(10000, &closed), "");
        EXPECT_TRUE(closed) << "attempt " << attempt;
    }
    EXPECT_TRUE(run.Running()) << "the server must go on";

    context.connectionStackSize = kConnectionStackSize;
    EXPECT_TRUE(Harness::WaitForListener(run.port, 10000));
    EXPECT_EQ(run.End(), 0);
}

// The deadline holds for the whole request: a peer that keeps trickling bytes (never
// silent for long) is closed once the deadline has passed since its accept.
TEST(RequestServer, ATricklingPeerIsClosedAtTheRequestDeadline)
{
    ServiceContext& context = LastingContext();
    context.requestDeadlineMs = 700;
    CServerRun run(context);
    ASSERT_TRUE(Harness::WaitForListener(run.port, 10000));
    Harness::CPeer peer;
    ASSERT_TRUE(peer.Connect("127.0.0.1", run.port));
    const std::string request = Wire::Request(16) + Wire::Data(std::string(4000, 'A'));
    const auto start = std::chrono::steady_clock::now();
    bool closed = false;
    std::string received;
    // 20 bytes a second would take 200 s for the whole request.
    for (size_t sent = 0; sent < request.size() && !closed; ++sent) {
        peer.Send(request.substr(sent, 1));
        received += peer.ReadToClose(50, &closed);
    }
    EXPECT_TRUE(closed);
    EXPECT_EQ(Wire::Hex(received), Wire::Hex(Wire::Ack())) << "only the request's ACK, then the close";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(run.End(), 0);
}
