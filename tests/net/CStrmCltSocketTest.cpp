#include "net/CStrmCltSocket.h"

#include "CPeer.h"
#include "RawSocket.h"
#include "SocketCatch.h"
#include "net/CStrmSrvSocket.h"
#include "net/SocketErrors.h"
#include "platform/CEvent.h"

#include <chrono>
#include <cstring>
#include <future>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace ZiRez;
using Platform::CEvent;

namespace {

constexpr int32_t kGenerousMs = 5000;

// A listener whose queue is full and that never accepts: a new connection gets no answer.
struct SilentPeer
{
    SilentPeer()
    {
        listener = RawSocket::Listen(AF_INET, "127.0.0.1", 0, 0);
        queued.push_back(RawSocket::Connect(AF_INET, "127.0.0.1", listener.Port()));
        queued.push_back(RawSocket::ConnectPending(AF_INET, "127.0.0.1", listener.Port()));
    }
    RawSocket listener;
    std::vector<RawSocket> queued;
};

} // namespace

TEST(StrmCltSocket, NumericHostsConnectOverTheirOwnFamily)
{
    struct Row
    {
        int family;
        const char* host;
        uint16_t selector;
    };
    std::vector<Row> rows{{AF_INET, "127.0.0.1", FAMILY_INET}};
    if (IPv6LoopbackUsable()) {
        rows.push_back({AF_INET6, "::1", FAMILY_INET6});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host);
        RawSocket listener = RawSocket::Listen(row.family, row.host, 0, 4);
        ASSERT_TRUE(listener.Valid());
        // The constructor's selector is replaced by the host's family.
        CStrmCltSocket client(row.family == AF_INET ? FAMILY_INET6 : FAMILY_INET, nullptr, kGenerousMs);
        client.Open(row.host, listener.Port());
        EXPECT_EQ(client.BaseSocket().Family(), row.selector);
        EXPECT_EQ(client.BaseSocket().IPv4Socket() != INVALID_SOCKET_HANDLE, row.family == AF_INET);
        EXPECT_EQ(client.BaseSocket().IPv6Socket() != INVALID_SOCKET_HANDLE, row.family == AF_INET6);
        const SocketHandle used =
            row.family == AF_INET ? client.BaseSocket().IPv4Socket() : client.BaseSocket().IPv6Socket();
        // Where the system tells the mode.
        EXPECT_NE(RawSocket::NonBlocking(used), std::optional<bool>(true)) << "back in blocking mode after the connect";

        RawSocket server = listener.Accept();
        ASSERT_TRUE(server.Valid());
        EXPECT_EQ(client.Write("12345678", 8), 8);
        char received[8];
        ASSERT_EQ(server.Receive(received, sizeof received), 8);
        EXPECT_EQ(std::string(received, 8), "12345678");

        ASSERT_EQ(server.Send("reply", 5), 5);
        unsigned char address[128];
        std::memset(address, 0xAA, sizeof address);
        int length = 0;
        char buffer[16];
        EXPECT_EQ(client.Read(buffer, sizeof buffer, address, &length), 5);
        EXPECT_EQ(std::string(buffer, 5), "reply");
        EXPECT_EQ(length, 128);
        if (row.family == AF_INET) {
            const auto* peer = reinterpret_cast<const sockaddr_in*>(address);
            EXPECT_EQ(peer->sin_family, AF_INET);
            EXPECT_EQ(ntohs(peer->sin_port), listener.Port());
            EXPECT_EQ(ntohl(peer->sin_addr.s_addr), 0x7F000001U);
            EXPECT_EQ(address[16], 0) << "the rest of the store is zero";
        } else {
            const auto* peer = reinterpret_cast<const sockaddr_in6*>(address);
            EXPECT_EQ(peer->sin6_family, AF_INET6);
            EXPECT_EQ(ntohs(peer->sin6_port), listener.Port());
            EXPECT_TRUE(IN6_IS_ADDR_LOOPBACK(&peer->sin6_addr));
            EXPECT_EQ(address[28], 0);
        }

        server.Reset();
        EXPECT_EQ(client.Read(buffer, sizeof buffer), 0) << "the peer closed";
    }
    if (rows.size() == 1) {
        GTEST_SKIP() << "::1 cannot be bound; IPv4 checked only";
    }
}

TEST(StrmCltSocket, HostOfNeitherFamilyIsAnUnspecifiedConnectError)
{
    for (const char* host : {"", "no-such-host.invalid"}) {
        CStrmCltSocket client(FAMILY_INET, nullptr, kGenerousMs);
        const Thrown thrown = Catch([&] { client.Open(host, 51056); });
        EXPECT_EQ(thrown.kind, Thrown::Error) << host;
        EXPECT_EQ(thrown.code, 6) << host;
        EXPECT_EQ(thrown.message, "(UNSPEC) Socket Connect Error!") << host;
    }
}

TEST(StrmCltSocket, RefusedConnectionIsAConnectErrorNotAConnection)
{
    const uint16_t port = Harness::FreePort();
    ASSERT_NE(port, 0);
    CStrmCltSocket client(FAMILY_INET, nullptr, kGenerousMs);
    const Thrown thrown = Catch([&] { client.Open("127.0.0.1", port); });
    EXPECT_EQ(thrown.kind, Thrown::Error);
    EXPECT_EQ(thrown.code, 6);
    // Reported at the connect call or, more usually, as the pending error after the wait.
    EXPECT_TRUE(thrown.message == "Socket Connect Error!" ||
                thrown.message == "CBaseSocket::Connect: WSAECONNREFUSED: Connection refused.\n(IPv4) Socket "
                                  "Connect Error!")
        << thrown.message;
    EXPECT_EQ(GetLastSocketError(), 10061);
}

TEST(StrmCltSocket, PeerThatNeverAnswersTimesOut)
{
    SilentPeer peer;
    ASSERT_TRUE(peer.listener.Valid());
    CStrmCltSocket client(FAMILY_INET, nullptr, 300);
    const Thrown thrown = Catch([&] { client.Open("127.0.0.1", peer.listener.Port()); });
    EXPECT_EQ(thrown.kind, Thrown::TimeOut);
    EXPECT_EQ(thrown.code, 6);
    EXPECT_EQ(thrown.message, "Socket TimeOut Error!");
}

TEST(StrmCltSocket, CancelEventEndsTheConnectWait)
{
    SilentPeer peer;
    CEvent cancel(false, false);
    CStrmCltSocket client(FAMILY_INET, &cancel, -1);
    auto connecting =
        std::async(std::launch::async, [&] { return Catch([&] { client.Open("127.0.0.1", peer.listener.Port()); }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancel.Set();
    const Thrown thrown = connecting.get();
    EXPECT_EQ(thrown.kind, Thrown::Event);
    EXPECT_EQ(thrown.message, "User Set Event Signal.");
}

TEST(StrmCltSocket, ReadEndsByTimeOutOrByTheCancelEvent)
{
    RawSocket listener = RawSocket::Listen(AF_INET, "127.0.0.1", 0, 4);
    CEvent cancel(false, false);
    CStrmCltSocket client(FAMILY_INET, &cancel, 200);
    client.Open("127.0.0.1", listener.Port());
    RawSocket server = listener.Accept();
    char buffer[8];
    const Thrown timedOut = Catch([&] { client.Read(buffer, sizeof buffer); });
    EXPECT_EQ(timedOut.kind, Thrown::TimeOut);
    EXPECT_EQ(timedOut.code, 3);
    EXPECT_EQ(timedOut.message, "Socket TimeOut Error!");

    cancel.Set();
    const Thrown cancelled = Catch([&] { client.Read(buffer, sizeof buffer); });
    EXPECT_EQ(cancelled.kind, Thrown::Event);

    // Data waiting and the event set: the data wins.
    ASSERT_EQ(server.Send("d", 1), 1);
    cancel.Set();
    EXPECT_EQ(client.Read(buffer, sizeof buffer), 1);
}

TEST(StrmCltSocket, WritingToAClosedPeerFailsWithoutSignal)
{
    RawSocket listener = RawSocket::Listen(AF_INET, "127.0.0.1", 0, 4);
    CStrmCltSocket client(FAMILY_INET, nullptr, kGenerousMs);
    client.Open("127.0.0.1", listener.Port());
    listener.Accept().Reset();
    Thrown thrown;
    for (int i = 0; i < 100 && thrown.kind == Thrown::Nothing; ++i) {
        thrown = Catch([&] { client.Write("0123456789", 10); });
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(thrown.kind, Thrown::Error);
    EXPECT_EQ(thrown.code, 2);
    EXPECT_EQ(thrown.message, "CBaseSocket::Send: SendData Error!");
}

TEST(StrmCltSocket, ReadAndWriteWithoutAConnectionFail)
{
    CStrmCltSocket client(FAMILY_INET, nullptr, kGenerousMs);
    char buffer[4];
    const Thrown read = Catch([&] { client.Read(buffer, sizeof buffer); });
    EXPECT_EQ(read.kind, Thrown::Error);
    EXPECT_EQ(read.code, 9);
    EXPECT_EQ(read.message, "CStrmCltSocket::Read(): SocketEvent Wait Error!");
    const Thrown write = Catch([&] { client.Write("x", 1); });
    EXPECT_EQ(write.code, 2);
}

TEST(StrmCltSocket, TalksToTheDualStackServerOverBothFamilies)
{
    const bool ipv6 = IPv6LoopbackUsable();
    CStrmSrvSocket server(FAMILY_UNSPEC, SOCKET_STREAM, true, ipv6, 0, nullptr, kGenerousMs);
    server.Open(0);
    std::vector<std::pair<std::string, uint16_t>> targets{{"127.0.0.1", server.BaseSocket().BoundPort(FAMILY_INET)}};
    if (ipv6) {
        targets.emplace_back("::1", server.BaseSocket().BoundPort(FAMILY_INET6));
    }
    for (const auto& [host, port] : targets) {
        SCOPED_TRACE(host);
        CStrmCltSocket client(FAMILY_INET, nullptr, kGenerousMs);
        client.Open(host, port);
        const int index = server.Accept();
        EXPECT_EQ(server.GetPeerAddress(index), host);
        EXPECT_EQ(client.Write("ping", 4), 4);
        char buffer[8];
        EXPECT_EQ(server.Read(index, buffer, sizeof buffer), 4);
        EXPECT_EQ(server.Write(index, "pong", 4), 4);
        EXPECT_EQ(client.Read(buffer, sizeof buffer), 4);
        EXPECT_EQ(std::string(buffer, 4), "pong");
        server.CloseConnection(index);
        EXPECT_EQ(client.Read(buffer, sizeof buffer), 0);
    }
    if (!ipv6) {
        GTEST_SKIP() << "::1 cannot be bound; IPv4 checked only";
    }
}
