// The listeners that share a server's port on Linux, each with a queue of its own.
#include "../SocketCatch.h"
#include "RawSocket.h"
#include "net/CAcceptWaiter.h"
#include "net/CStrmSrvSocket.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

using namespace ZiRez;

namespace {

RawSocket SharingListener(bool shares)
{
    RawSocket socket = RawSocket::Open(AF_INET);
    const int one = 1;
    if (shares) {
        setsockopt(socket.Fd(), SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    }
    if (!socket.Bind(AF_INET, "127.0.0.1", 0) || listen(socket.Fd(), 4) != 0) {
        socket.Reset();
    }
    return socket;
}

} // namespace

// A port another socket listens on is taken, whether that socket shares its port or not: a
// server must never join another program's listeners and take half of their connections.
TEST(SharedPort, APortListenedOnIsTakenWhetherItsListenerSharesOrNot)
{
    for (const bool shares : {false, true}) {
        SCOPED_TRACE(shares ? "listener shares its port" : "plain listener");
        const RawSocket holder = SharingListener(shares);
        ASSERT_TRUE(holder.Valid());
        CStrmSrvSocket server(FAMILY_INET, SOCKET_STREAM, true, false, 0, nullptr, -1);
        const Thrown thrown = Catch([&] { server.Open(holder.Port()); });
        EXPECT_EQ(thrown.kind, Thrown::Error);
        EXPECT_EQ(thrown.message,
                  "CBaseSocket::Bind: WSAEADDRINUSE: Address already in use.\n(IPv4) Socket Bind Error!");
    }
}

// Units from many addresses are spread over every listener of the port, and each of them is
// waited on, by the workers' waiter and by the plain Accept: a connection on a listener
// nobody watched would never be accepted.
TEST(SharedPort, ConnectionsFromManyAddressesReachEveryListenerAndAreAllAccepted)
{
    CStrmSrvSocket server(FAMILY_INET, SOCKET_STREAM, true, false, 0, nullptr, 5000);
    server.Open(0);
    constexpr int kUnits = 64;
    std::vector<RawSocket> units;
    for (int unit = 0; unit < kUnits; ++unit) {
        const std::string source = "127.0.1." + std::to_string(unit + 1);
        units.push_back(
            RawSocket::Connect(AF_INET, "127.0.0.1", server.BaseSocket().BoundPort(FAMILY_INET), source.c_str()));
        ASSERT_TRUE(units.back().Valid()) << source;
    }
    CAcceptWaiter waiter(server, {});
    std::set<int> listeners;
    for (int unit = 0; unit < kUnits / 2; ++unit) {
        int listener = -1;
        ASSERT_EQ(waiter.Wait(5000, listener), CAcceptWaiter::Ready::Listener) << "accepted " << unit;
        EXPECT_EQ(listener % 2, 0) << "an IPv4 listener";
        listeners.insert(listener);
        EXPECT_GE(server.TryAccept(listener), 0);
        waiter.Rearm(listener);
    }
    EXPECT_GT(listeners.size(), 1U) << "all on one listener: its queue alone would overflow in a storm";
    for (int unit = kUnits / 2; unit < kUnits; ++unit) {
        EXPECT_GE(server.Accept(), 0) << "accepted " << unit;
    }
    EXPECT_EQ(server.ConnectionCount(), kUnits);
}
