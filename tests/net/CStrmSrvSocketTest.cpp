#include "net/CStrmSrvSocket.h"

#include "RawSocket.h"
#include "SocketCatch.h"
#include "net/CAcceptWaiter.h"
#include "net/SocketErrors.h"
#include "platform/CEvent.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace ZiRez;
using Platform::CEvent;

namespace {

constexpr int32_t kGenerousMs = 5000;

class StrmSrvSocket : public ::testing::Test
{
protected:
    void OpenServer(int32_t timeOut = kGenerousMs, bool ipv6 = IPv6LoopbackUsable())
    {
        server = std::make_unique<CStrmSrvSocket>(FAMILY_UNSPEC, SOCKET_STREAM, true, ipv6, 0, &cancel, timeOut);
        server->Open(0);
        ipv4Port = server->BaseSocket().BoundPort(FAMILY_INET);
        ipv6Port = server->BaseSocket().BoundPort(FAMILY_INET6);
        ASSERT_NE(ipv4Port, 0);
    }

    RawSocket ConnectIPv4() { return RawSocket::Connect(AF_INET, "127.0.0.1", ipv4Port); }

    std::string ReadText(int index, int length)
    {
        std::string text(static_cast<size_t>(length), '\0');
        const int got = server->Read(index, text.data(), length);
        text.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return text;
    }

    CEvent cancel{false, false};
    std::unique_ptr<CStrmSrvSocket> server;
    uint16_t ipv4Port = 0;
    uint16_t ipv6Port = 0;
};

std::string ReadRaw(const RawSocket& socket)
{
    char buffer[64];
    const long got = socket.Receive(buffer, sizeof buffer);
    return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
}

} // namespace

TEST_F(StrmSrvSocket, SlotsAreNumberedFromZeroAndAFreedSlotIsReused)
{
    OpenServer();
    RawSocket first = ConnectIPv4();
    ASSERT_EQ(server->Accept(), 0);
    RawSocket second = ConnectIPv4();
    ASSERT_EQ(server->Accept(), 1);
    EXPECT_EQ(server->ConnectionCount(), 2);

    server->CloseConnection(0);
    EXPECT_EQ(ReadRaw(first), "") << "closing the slot closes the connection";
    EXPECT_EQ(server->ConnectionCount(), 1);

    RawSocket third = ConnectIPv4();
    ASSERT_EQ(server->Accept(), 0);
    ASSERT_EQ(second.Send("two", 3), 3);
    ASSERT_EQ(third.Send("three", 5), 5);
    EXPECT_EQ(ReadText(1, 16), "two");
    EXPECT_EQ(ReadText(0, 16), "three");
    EXPECT_EQ(server->Write(1, "back", 4), 4);
    EXPECT_EQ(ReadRaw(second), "back");
    RawSocket fourth = ConnectIPv4();
    EXPECT_EQ(server->Accept(), 2);
}

TEST_F(StrmSrvSocket, IndexesWithoutAConnectionFail)
{
    OpenServer();
    RawSocket client = ConnectIPv4();
    ASSERT_EQ(server->Accept(), 0);
    server->CloseConnection(0);
    char buffer[4];
    for (int index : {0, 1, 7, -1}) {
        const Thrown read = Catch([&] { server->Read(index, buffer, sizeof buffer); });
        EXPECT_EQ(read.kind, Thrown::Error) << index;
        EXPECT_EQ(read.code, 9) << index;
        EXPECT_EQ(read.message, "CStrmSrvSocket::Read(): SocketEvent Wait Error!");
        const Thrown write = Catch([&] { server->Write(index, "x", 1); });
        EXPECT_EQ(write.kind, Thrown::Error) << index;
        EXPECT_EQ(write.code, 2) << index;
        EXPECT_EQ(write.message, "CBaseSocket::Send: SendData Error!");
        server->CloseConnection(index);
    }
    EXPECT_EQ(server->ConnectionCount(), 0);
}

TEST_F(StrmSrvSocket, PeerThatClosesAtOnceReadsZero)
{
    OpenServer();
    {
        RawSocket client = ConnectIPv4();
    }
    const int index = server->Accept();
    char buffer[8];
    EXPECT_EQ(server->Read(index, buffer, sizeof buffer), 0);
}

TEST_F(StrmSrvSocket, BothFamiliesCarryDataAndNameTheirPeer)
{
    OpenServer();
    struct Row
    {
        int family;
        const char* host;
        uint16_t port;
    };
    std::vector<Row> rows{{AF_INET, "127.0.0.1", ipv4Port}};
    if (ipv6Port != 0) {
        rows.push_back({AF_INET6, "::1", ipv6Port});
    }
    for (const Row& row : rows) {
        RawSocket client = RawSocket::Connect(row.family, row.host, row.port);
        ASSERT_TRUE(client.Valid()) << row.host;
        const int index = server->Accept();
        EXPECT_EQ(server->GetPeerAddress(index), row.host);
        ASSERT_EQ(client.Send("12345678", 8), 8);
        EXPECT_EQ(ReadText(index, 3), "123") << "one receive of at most the length asked";
        EXPECT_EQ(ReadText(index, 16), "45678");
        EXPECT_EQ(server->Write(index, "reply", 5), 5);
        EXPECT_EQ(ReadRaw(client), "reply");
        server->CloseConnection(index);
        EXPECT_EQ(server->GetPeerAddress(index), "");
    }
    // Every number of a dotted quad, at its widest and narrowest (all of 127/8 is loopback).
    for (const char* source : {"127.0.0.9", "127.10.200.255", "127.255.99.100"}) {
        const RawSocket client = RawSocket::Connect(AF_INET, "127.0.0.1", ipv4Port, source);
        ASSERT_TRUE(client.Valid()) << source;
        const int index = server->Accept();
        EXPECT_EQ(server->GetPeerAddress(index), source);
        server->CloseConnection(index);
    }
    if (ipv6Port == 0) {
        GTEST_SKIP() << "::1 cannot be bound; IPv4 checked only";
    }
}

TEST_F(StrmSrvSocket, WithoutIPv6OnlyTheIPv4SocketListens)
{
    OpenServer(kGenerousMs, false);
    EXPECT_EQ(server->BaseSocket().IPv6Socket(), INVALID_SOCKET_HANDLE);
    RawSocket client = ConnectIPv4();
    EXPECT_EQ(server->Accept(), 0);
}

TEST_F(StrmSrvSocket, CancelEventEndsAcceptAndTheListenerStays)
{
    OpenServer(-1);
    auto accepting = std::async(std::launch::async, [&] { return Catch([&] { server->Accept(); }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancel.Set();
    const Thrown thrown = accepting.get();
    EXPECT_EQ(thrown.kind, Thrown::Event);
    EXPECT_EQ(thrown.message, "User Set Event Signal.");
    EXPECT_FALSE(cancel.Wait(0)) << "one signal ends one wait";

    RawSocket client = ConnectIPv4();
    EXPECT_EQ(server->Accept(), 0);
}

TEST_F(StrmSrvSocket, ReadWatchesTheConstructorsEventUntilSetReadWaitChangesIt)
{
    OpenServer(-1);
    RawSocket client = ConnectIPv4();
    const int index = server->Accept();
    char buffer[8];
    auto reading = std::async(std::launch::async, [&] { return Catch([&] { server->Read(index, buffer, 8); }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancel.Set();
    EXPECT_EQ(reading.get().kind, Thrown::Event);

    // Reads on their own settings: the accept event no longer ends them, the time-out does.
    server->SetReadWait(nullptr, 200);
    cancel.Set();
    const Thrown timedOut = Catch([&] { server->Read(index, buffer, 8); });
    EXPECT_EQ(timedOut.kind, Thrown::TimeOut);
    EXPECT_EQ(timedOut.code, 3);
    EXPECT_EQ(timedOut.message, "Socket TimeOut Error!");
    EXPECT_TRUE(cancel.Wait(0)) << "the read left the accept event alone";

    // The slot is unchanged after both.
    ASSERT_EQ(client.Send("ok", 2), 2);
    EXPECT_EQ(ReadText(index, 8), "ok");
}

TEST_F(StrmSrvSocket, AcceptTimesOut)
{
    OpenServer(200);
    const Thrown thrown = Catch([&] { server->Accept(); });
    EXPECT_EQ(thrown.kind, Thrown::TimeOut);
    EXPECT_EQ(thrown.code, 4);
    EXPECT_EQ(thrown.message, "Socket TimeOut Error!");
}

TEST_F(StrmSrvSocket, OpenOnATakenPortFailsWithTheBindMessage)
{
    RawSocket holder = RawSocket::Listen(AF_INET, "0.0.0.0", 0, 4);
    ASSERT_TRUE(holder.Valid());
    CStrmSrvSocket taken(FAMILY_UNSPEC, SOCKET_STREAM, true, IPv6LoopbackUsable(), 0, nullptr, -1);
    const Thrown thrown = Catch([&] { taken.Open(holder.Port()); });
    EXPECT_EQ(thrown.kind, Thrown::Error);
    EXPECT_EQ(thrown.code, 5);
    EXPECT_EQ(thrown.message, "CBaseSocket::Bind: WSAEADDRINUSE: Address already in use.\n(IPv4) Socket Bind Error!");
}

TEST_F(StrmSrvSocket, OnlyPeersThatKeepTheServerWaitingMakeRoomLongestFirst)
{
    // Each peer's state when room is wanted, whether it may be dropped for it, and whether
    // its exchange has moved on within the hour (its worker is not held by it).
    enum class State
    {
        SentUnread,  // its request waits unread: a unit queued behind others
        ServersTurn, // its bytes were read: it waits for the answer
        Silent,      // nothing sent since its accept
        SilentAgain, // read, and a read then waited in vain for more
    };
    const struct
    {
        State state;
        bool dropped;
        bool progressing;
    } peers[] = {
        {State::ServersTurn, false, true},
        {State::Silent, true, false},
        {State::SentUnread, false, false},
        {State::SilentAgain, true, true},
    };
    OpenServer();
    server->SetReadWait(nullptr, 50);
    std::vector<RawSocket> clients;
    for (size_t i = 0; i < std::size(peers); ++i) {
        clients.push_back(ConnectIPv4());
        ASSERT_EQ(server->Accept(), static_cast<int>(i));
        if (peers[i].state != State::Silent) {
            ASSERT_EQ(clients[i].Send("hi", 2), 2);
        }
        if (peers[i].state == State::ServersTurn || peers[i].state == State::SilentAgain) {
            EXPECT_EQ(ReadText(static_cast<int>(i), 2), "hi");
        }
        if (peers[i].state == State::SilentAgain) {
            EXPECT_EQ(Catch([&] { ReadText(static_cast<int>(i), 2); }).kind, Thrown::TimeOut);
        }
    }
    for (size_t i = 0; i < std::size(peers); ++i) {
        EXPECT_EQ(server->PeerProgressing(static_cast<int>(i), std::chrono::hours(1)), peers[i].progressing) << i;
    }
    const std::chrono::milliseconds now(0);
    const std::chrono::hours never(1);
    EXPECT_FALSE(server->DropSilent(never, never)) << "nobody has waited that long";
    // The peer silent since its accept; one that has spoken only once it has stalled.
    ASSERT_TRUE(server->DropSilent(now, never));
    EXPECT_FALSE(server->DropConnection(1)) << "dropped already";
    EXPECT_FALSE(server->DropSilent(now, never));
    while (server->DropSilent(now, now)) {
    }
    for (size_t i = 0; i < std::size(peers); ++i) {
        const int index = static_cast<int>(i);
        if (peers[i].state == State::SentUnread) {
            EXPECT_EQ(ReadText(index, 8), "hi") << "its request is intact";
        }
        EXPECT_EQ(server->DropConnection(index), !peers[i].dropped) << "peer " << i;
        EXPECT_EQ(ReadRaw(clients[i]), "") << "the peer sees the end: " << i;
        server->CloseConnection(index);
    }
    EXPECT_EQ(server->ConnectionCount(), 0);
    EXPECT_TRUE(server->PeerProgressing(0, std::chrono::hours(1))) << "a free slot holds nobody";
    RawSocket next = ConnectIPv4();
    EXPECT_EQ(server->Accept(), 0) << "the slots are reused";
}

TEST_F(StrmSrvSocket, CloseWakesAReaderOfAnotherThread)
{
    OpenServer(-1);
    server->SetReadWait(nullptr, -1);
    RawSocket client = ConnectIPv4();
    const int index = server->Accept();
    auto reading = std::async(std::launch::async, [&] {
        char buffer[8];
        return server->Read(index, buffer, sizeof buffer);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    server->Close();
    EXPECT_EQ(reading.get(), 0);
    EXPECT_EQ(ReadRaw(client), "");
    EXPECT_EQ(server->BaseSocket().IPv4Socket(), INVALID_SOCKET_HANDLE);
    EXPECT_EQ(server->ConnectionCount(), 0);
}

TEST_F(StrmSrvSocket, TryAcceptTakesOnlyWhatIsPendingAndClosedListenersFreeThePort)
{
    OpenServer();
    server->SetReadWait(nullptr, 200);
    // The kernel hands the connection to one of the IPv4 listeners that share the port.
    EXPECT_EQ(server->TryAcceptQueued(), -1) << "nothing pending";
    RawSocket client = ConnectIPv4();
    int index = -1;
    for (int attempt = 0; attempt < 100 && index < 0; ++attempt) {
        index = server->TryAcceptQueued();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(index, 0);
    // The accepted socket carries the listener's time-out: a blocking read gives up.
    char buffer[8];
    EXPECT_EQ(Catch([&] { server->Read(index, buffer, 8); }).kind, Thrown::TimeOut);

    server->CloseListeners();
    EXPECT_EQ(server->TryAcceptQueued(), -1);
    CStrmSrvSocket again(FAMILY_UNSPEC, SOCKET_STREAM, true, false, 0, nullptr, -1);
    EXPECT_EQ(Catch([&] { again.Open(ipv4Port); }).kind, Thrown::Nothing) << "the port is free again";
    ASSERT_EQ(client.Send("ok", 2), 2);
    EXPECT_EQ(ReadText(index, 8), "ok") << "connections outlive the listeners";
}

TEST_F(StrmSrvSocket, AcceptWaitersRearmSafelyWhileTheListenersClose)
{
    // Waiters accept and re-arm while another thread closes the listeners, as when the
    // service stops or moves its port under load. Under ThreadSanitizer a re-arm that
    // could touch the closed descriptor is reported.
    OpenServer();
    CEvent ended{true, false};
    CAcceptWaiter waiter(*server, {&ended});
    std::atomic<int> accepted{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            for (;;) {
                int listener = 0;
                if (waiter.Wait(-1, listener) == CAcceptWaiter::Ready::Event) {
                    return;
                }
                const int index = server->TryAccept(listener);
                waiter.Rearm(listener);
                if (index >= 0) {
                    ++accepted;
                    server->CloseConnection(index);
                }
            }
        });
    }
    std::vector<RawSocket> clients;
    for (int i = 0; i < 20; ++i) {
        clients.push_back(ConnectIPv4());
    }
    while (accepted < 5) {
        std::this_thread::yield();
    }
    server->CloseListeners();
    ended.Set();
    for (std::thread& thread : waiters) {
        thread.join();
    }
    EXPECT_GE(accepted.load(), 5);
}
