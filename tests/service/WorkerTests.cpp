// The request server's workers, their retirement and relief, a connection thread that
// cannot start and the request deadline, inside this process (its store is the private one
// that main sets up).
#include "CPeer.h"
#include "CRecordingReporter.h"
#include "ThisProcess.h"
#include "Wire.h"
#include "net/CSocketEvent.h"
#include "service/CServiceHost.h"
#include "service/RequestServer.h"
#include "settings/CKeyStore.h"

#include <deque>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

struct SLastingService
{
    CRecordingReporter reporter;
    CServiceHost host{reporter};
};

// Workers of a run may look at their service after the run ended, as the process's never
// goes: a service of its own for each test, running (and reported so), kept until the
// process ends.
CServiceHost& LastingService()
{
    static auto* const services = new std::deque<SLastingService>;
    CServiceHost& host = services->emplace_back().host;
    host.State().BeginRunning();
    host.State().ReportRunning();
    return host;
}

// The request server of this process on a free port until the settings-change event.
class CServerRun
{
public:
    explicit CServerRun(CServiceHost& host) : m_parts(host.Parts())
    {
        CKeyStore store;
        store.CreateLayout();
        port = Harness::FreePort();
        store.WritePort(port);
        m_run = std::async(std::launch::async, [this] {
            try {
                RunServer(m_parts, &m_settingsChanged);
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
    const SServiceParts& m_parts;
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
    CServiceHost& host = LastingService();
    SServiceLimits& limits = host.Limits();
    CServerRun run(host);
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
    limits.connectionStackSize = size_t{1} << 45;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(CheckIsAnswered(run.port)) << i;
    }
    limits.connectionStackSize = kConnectionStackSize;
    // Idle for a while, all but the last retire (a pause and continue wakes them to take
    // the shorter while).
    limits.workerRetireMs = 100;
    host.State().Pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    host.State().Continue();
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
    CServiceHost& host = LastingService();
    SServiceLimits& limits = host.Limits();
    limits.busyWorkers = 2;
    limits.workerRetireMs = 60000; // no worker leaves for being idle here
    CServerRun run(host);
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
    CServiceHost& host = LastingService();
    SServiceLimits& limits = host.Limits();
    // No system can map a stack this large: every thread creation fails for real.
    limits.connectionStackSize = size_t{1} << 45;
    CServerRun run(host);
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

    limits.connectionStackSize = kConnectionStackSize;
    EXPECT_TRUE(Harness::WaitForListener(run.port, 10000));
    EXPECT_EQ(run.End(), 0);
}

// The deadline holds for the whole request: a peer that keeps trickling bytes (never
// silent for long) is closed once the deadline has passed since its accept.
TEST(RequestServer, ATricklingPeerIsClosedAtTheRequestDeadline)
{
    CServiceHost& host = LastingService();
    SServiceLimits& limits = host.Limits();
    limits.requestDeadlineMs = 700;
    CServerRun run(host);
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
