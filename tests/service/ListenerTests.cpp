// The listener against the real service: port moves, reopening, a taken port, both IP
// families, and peers that hold or flood connections.
#include "Fixture.h"

#include <algorithm>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Wire;

namespace {

const std::string kId = "00A0B0C0D0E0";
const std::string kMask = "0123456789abcdef0123456789abcdef";

bool ClosedByService(Harness::CPeer& peer, int timeOutMs)
{
    bool closed = false;
    peer.ReadToClose(timeOutMs, &closed);
    return closed;
}

} // namespace

TEST_F(TernwickTest, PortNoMovesTheListener)
{
    Register(kId, Key(2));
    Start();
    // Connections of the old run wait in reads across the move: they must neither keep
    // the old port listening nor take the change away from the accept loop.
    std::vector<Harness::CPeer> lingering(20);
    for (auto& peer : lingering) {
        ASSERT_TRUE(peer.Connect("127.0.0.1", m_port));
        peer.Send(Request(16));
        ASSERT_EQ(Hex(peer.Read(8, 10000)), Hex(Ack()));
    }
    const uint16_t oldPort = m_port;
    const uint16_t newPort = Harness::FreePort();
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"port", std::to_string(newPort)}), 0);
    ASSERT_TRUE(Harness::WaitForListener(newPort, 10000)) << m_service->Log();
    EXPECT_FALSE(Harness::CanConnect(oldPort)) << "the old port is still listening";
    EXPECT_TRUE(m_service->WaitForLog("listening on port " + std::to_string(newPort), 1, 1000));
    // The old run's connections are still served.
    const std::string rest = Ack() + Ack() + Data(Seal(Key(2), kId, kMask)) + Status(0, 0);
    for (auto& peer : lingering) {
        peer.Send(Data(kId) + Data(kMask) + Ack() + Ack());
        EXPECT_EQ(Hex(peer.Read(rest.size(), 10000)), Hex(rest));
    }
}

TEST_F(TernwickTest, PasswordWriteReopensTheListenerOnTheSamePort)
{
    Start();
    const std::string listening = "listening on port " + std::to_string(m_port);
    // The log is written a moment after the listener opens.
    ASSERT_TRUE(m_service->WaitForLog(listening, 1, 10000)) << m_service->Log();
    ASSERT_EQ(m_service->CountLog(listening), 1u);
    SetPassword("new-password");
    EXPECT_TRUE(m_service->WaitForLog(listening, 2, 10000)) << m_service->Log();
    EXPECT_TRUE(Harness::WaitForListener(m_port, 10000));
    EXPECT_FALSE(m_service->WaitExit(0));
}

TEST_F(TernwickTest, PortHeldAtStartStopsTheServiceWithoutEverReportingReady)
{
    const RawSocket holder = Harness::HoldFreePort("0.0.0.0", m_port);
    ASSERT_TRUE(holder.Valid());
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"port", std::to_string(m_port)}), 0);
    m_service = std::make_unique<Harness::CTernwickProcess>(m_dir.Path(), m_notify.Address());
    const auto status = m_service->WaitExit(20000);
    ASSERT_TRUE(status) << m_service->Log();
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_TRUE(m_notify.WaitForLine("STATUS=Stopped", 1000));
    EXPECT_NE(m_service->Log().find("cannot listen on port " + std::to_string(m_port)), std::string::npos)
        << m_service->Log();
    // A service manager must see a start that failed, not a service that ran and stopped.
    const std::vector<std::string> expected = {"Start pending", "Stop pending", "Stopped"};
    EXPECT_EQ(m_notify.Statuses(), expected);
    for (const auto& message : m_notify.Messages()) {
        EXPECT_EQ(message.find("READY=1"), std::string::npos) << message;
    }
}

TEST_F(TernwickTest, MovingToAHeldPortStopsTheService)
{
    Start();
    uint16_t taken = 0;
    const RawSocket holder = Harness::HoldFreePort("0.0.0.0", taken);
    ASSERT_TRUE(holder.Valid());
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"port", std::to_string(taken)}), 0);
    const auto status = m_service->WaitExit(20000);
    ASSERT_TRUE(status) << m_service->Log();
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    const auto statuses = m_notify.Statuses();
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(statuses[statuses.size() - 2], "Stop pending");
    EXPECT_EQ(statuses.back(), "Stopped");
}

TEST_F(TernwickTest, ServesIPv4AndIPv6)
{
    Register(kId, Key(5));
    Start();
    EXPECT_EQ(Hex(GetKey(kId, kMask)), Hex(GetKeyReply(Key(5), kId, kMask)));
    if (!Harness::IPv6LoopbackWorks()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    const std::string reply = Harness::Converse(m_port, Request(16) + Data(kId) + Data(kMask) + Ack() + Ack(), "::1");
    EXPECT_EQ(Hex(reply), Hex(GetKeyReply(Key(5), kId, kMask)));
    EXPECT_TRUE(m_service->WaitForLog("request from ::1: code 16", 1, 10000)) << m_service->Log();
}

TEST_F(TernwickTest, SilentPeersBelowTheCapDoNotDelayAUnit)
{
    Register(kId, Key(6));
    Start();
    std::vector<Harness::CPeer> silent(300);
    for (auto& peer : silent) {
        ASSERT_TRUE(peer.Connect("127.0.0.1", m_port));
    }
    EXPECT_EQ(Hex(GetKey(kId, kMask)), Hex(GetKeyReply(Key(6), kId, kMask)));
    // Below the cap nobody is pushed out.
    EXPECT_TRUE(silent.front().StaysQuiet(200));
    EXPECT_TRUE(silent.back().StaysQuiet(0));
}

TEST_F(TernwickTest, SilentPeersPastTheCapMakeRoomOldestFirst)
{
    Harness::RaiseDescriptorLimit();
    Register(kId, Key(7));
    Start();
    std::vector<Harness::CPeer> silent(1100);
    for (auto& peer : silent) {
        ASSERT_TRUE(peer.Connect("127.0.0.1", m_port));
    }
    EXPECT_EQ(Hex(GetKey(kId, kMask)), Hex(GetKeyReply(Key(7), kId, kMask)));
    // The first peers were silent longest: they were closed to make room.
    EXPECT_TRUE(ClosedByService(silent.front(), 20000));
    // Room is made once peers have been silent a second; a regular worker serves what it
    // accepts even before that, so the cap may be passed by one connection per regular
    // worker (two a processor, at least four).
    const long pastTheCap = 1100 - 1024 - std::max(4, 2 * static_cast<int>(std::thread::hardware_concurrency()));
    const auto closedNow = [&silent] {
        return std::count_if(silent.begin(), silent.end(), [](Harness::CPeer& peer) { return !peer.StaysQuiet(0); });
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (closedNow() < pastTheCap && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GE(closedNow(), pastTheCap);
    EXPECT_TRUE(silent.back().StaysQuiet(0)) << "the newest peer must keep its connection";
    EXPECT_FALSE(m_service->WaitExit(0));
}

TEST_F(TernwickTest, ALowDescriptorLimitLowersTheCapInsteadOfLockingUnitsOut)
{
    Register(kId, Key(9));
    m_service = std::make_unique<Harness::CTernwickProcess>(m_dir.Path(), m_notify.Address(), 300);
    ASSERT_TRUE(Harness::WaitForListener(m_port, 20000)) << m_service->Log();
    std::vector<Harness::CPeer> silent(400);
    for (auto& peer : silent) {
        ASSERT_TRUE(peer.Connect("127.0.0.1", m_port));
    }
    EXPECT_EQ(Hex(GetKey(kId, kMask)), Hex(GetKeyReply(Key(9), kId, kMask))) << m_service->Log();
    EXPECT_TRUE(ClosedByService(silent.front(), 20000));
    EXPECT_NE(m_service->Log().find("only 236 connections at once"), std::string::npos) << m_service->Log();
}

TEST_F(TernwickTest, UnitsThatKeepTalkingAreNotClosedToMakeRoomPastTheCap)
{
    Harness::RaiseDescriptorLimit();
    Register(kId, Key(10));
    // A cap of 236 connections (see above), filled by units that pause a moment before
    // their mask; the units past it must wait their turn, and nobody is closed.
    m_service = std::make_unique<Harness::CTernwickProcess>(m_dir.Path(), m_notify.Address(), 300);
    ASSERT_TRUE(Harness::WaitForListener(m_port, 20000)) << m_service->Log();
    std::vector<Harness::CPeer> pausing(240);
    for (auto& unit : pausing) {
        ASSERT_TRUE(unit.Connect("127.0.0.1", m_port));
        ASSERT_TRUE(unit.Send(Request(16) + Data(kId)));
    }
    std::vector<Harness::CPeer> later(20);
    for (auto& unit : later) {
        ASSERT_TRUE(unit.Connect("127.0.0.1", m_port));
        ASSERT_TRUE(unit.Send(Request(16) + Data(kId) + Data(kMask) + Ack() + Ack()));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (auto& unit : pausing) {
        ASSERT_TRUE(unit.Send(Data(kMask) + Ack() + Ack()));
    }
    const std::string reply = Hex(GetKeyReply(Key(10), kId, kMask));
    size_t served = 0;
    for (auto* units : {&pausing, &later}) {
        for (auto& unit : *units) {
            served += Hex(unit.ReadToClose(30000)) == reply ? 1 : 0;
        }
    }
    EXPECT_EQ(served, pausing.size() + later.size()) << m_service->Log();
}

TEST_F(TernwickTest, PeersThatConnectAndCloseAtOnceLeaveTheServiceRunning)
{
    Harness::RaiseDescriptorLimit();
    Register(kId, Key(8));
    Start();
    for (int i = 0; i < 1000; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(m_port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        if (i % 2 == 0) {
            // Half of them reset the connection instead of closing it.
            linger reset{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
        close(fd);
    }
    EXPECT_TRUE(Harness::WaitForListener(m_port, 20000));
    EXPECT_EQ(Hex(GetKey(kId, kMask)), Hex(GetKeyReply(Key(8), kId, kMask)));
    EXPECT_FALSE(m_service->WaitExit(0));
}

TEST_F(TernwickTest, ASilentConnectionIsClosedAfterAMinute)
{
    Start();
    Harness::CPeer silent;
    ASSERT_TRUE(silent.Connect("127.0.0.1", m_port));
    Harness::CPeer halfway;
    ASSERT_TRUE(halfway.Connect("127.0.0.1", m_port));
    halfway.Send(Request(16));
    EXPECT_EQ(Hex(halfway.Read(8, 10000)), Hex(Ack()));
    // Well within the minute nothing happens; well after it both are closed.
    EXPECT_TRUE(silent.StaysQuiet(30000));
    EXPECT_TRUE(ClosedByService(silent, 60000));
    EXPECT_TRUE(ClosedByService(halfway, 10000));
}
