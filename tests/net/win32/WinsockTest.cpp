// What Winsock does its own way: a connection through the accept waiter over IPv4 and IPv6
// loopback, a lone peer's connections one after another through it, and the Winsock codes
// and texts of a refused connect and of a port another listener of the layer holds.
#include "net/CAcceptWaiter.h"
#include "net/CSocketError.h"
#include "net/CStrmCltSocket.h"
#include "net/CStrmSrvSocket.h"
#include "net/SocketErrors.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>

using namespace ZiRez;

namespace {

// A listener of the layer on a free port of both families.
struct CListener
{
    CStrmSrvSocket server{FAMILY_UNSPEC, SOCKET_STREAM, true, true, 0, nullptr, 5000};

    CListener() { server.Open(0); }
    uint16_t Port() const { return server.BaseSocket().BoundPort(FAMILY_INET); }
};

} // namespace

TEST(Winsock, BytesTravelBothWaysOverIPv4AndIPv6)
{
    for (const char* host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(host);
        CListener listener;
        const uint16_t port =
            std::string(host) == "::1" ? listener.server.BaseSocket().BoundPort(FAMILY_INET6) : listener.Port();
        ASSERT_NE(port, 0);
        std::thread peer([&] {
            CStrmCltSocket client(FAMILY_UNSPEC, nullptr, 5000);
            client.Open(host, port);
            client.Write("ping", 4);
            char reply[4] = {};
            EXPECT_EQ(client.Read(reply, 4), 4);
            EXPECT_EQ(std::string(reply, 4), "pong");
        });
        CAcceptWaiter waiter(listener.server, {});
        int ready = 0;
        ASSERT_EQ(waiter.Wait(5000, ready), CAcceptWaiter::Ready::Listener);
        const int slot = listener.server.TryAccept(ready);
        ASSERT_GE(slot, 0);
        EXPECT_EQ(listener.server.GetPeerAddress(slot), host);
        char request[4] = {};
        EXPECT_EQ(listener.server.Read(slot, request, 4), 4);
        EXPECT_EQ(std::string(request, 4), "ping");
        EXPECT_EQ(listener.server.Write(slot, "pong", 4), 4);
        peer.join();
        listener.server.CloseConnection(slot);
    }
}

// A lone peer that connects again as soon as its last connection is answered, served as a
// connection worker serves: a look for a queued connection after each one, then the wait.
// Each connection must wake the wait, although the look before it may have found none (Wine
// re-enables FD_ACCEPT only on an accept that succeeds, and may record a connection that
// was accepted already: the wait that spends that record is the last one signalled).
TEST(Winsock, EveryConnectionOfALonePeerWakesTheAcceptWaiter)
{
    constexpr int kConnections = 300;
    CListener listener;
    const uint16_t port = listener.Port();
    std::atomic<bool> over{false};
    std::thread peer([&] {
        for (int i = 0; i < kConnections && !over; ++i) {
            try {
                CStrmCltSocket client(FAMILY_UNSPEC, nullptr, 5000);
                client.Open("127.0.0.1", port);
                char reply = 0;
                client.Read(&reply, 1);
            } catch (const std::logic_error&) { // the socket layer's errors and time-outs
                return;
            }
        }
    });
    CAcceptWaiter waiter(listener.server, {});
    int served = 0;
    bool lookFirst = false;
    while (served < kConnections) {
        // Looks for the next connection a while before the wait, as a busy worker finds
        // one queued: an accept that may come before Wine has recorded that connection.
        int slot = -1;
        for (int look = 0; lookFirst && slot < 0 && look < 20; ++look) {
            slot = listener.server.TryAccept(0);
        }
        if (slot < 0) {
            // Far longer than any wake takes: a time-out is a connection that never woke it.
            int ready = 0;
            if (waiter.Wait(3000, ready) == CAcceptWaiter::Ready::TimeOut) {
                break;
            }
            slot = listener.server.TryAccept(ready);
            waiter.Rearm(ready);
        }
        lookFirst = slot >= 0;
        if (slot >= 0) {
            listener.server.Write(slot, "k", 1);
            listener.server.CloseConnection(slot);
            ++served;
        }
    }
    over = true;
    peer.join();
    EXPECT_EQ(served, kConnections);
}

TEST(Winsock, RefusedConnectAndPortInUseCarryTheirWinsockCodes)
{
    uint16_t freed = 0;
    {
        CListener listener;
        freed = listener.Port();
    }
    CStrmCltSocket client(FAMILY_UNSPEC, nullptr, 5000);
    EXPECT_THROW(client.Open("127.0.0.1", freed), CSocketError);
    EXPECT_EQ(GetLastSocketError(), 10061);
    EXPECT_EQ(CBaseSocket::GetErrorText(), "WSAECONNREFUSED: Connection refused.\n");

    CListener holder;
    CStrmSrvSocket second(FAMILY_UNSPEC, SOCKET_STREAM, true, true, 0, nullptr, 5000);
    try {
        second.Open(holder.Port());
        FAIL() << "a port another listener holds was opened";
    } catch (const CSocketError& error) {
        EXPECT_EQ(error.GetCode(), 5);
        // Windows answers WSAEADDRINUSE; Wine refuses the exclusive listener's port with
        // WSAEACCES. Either is the code as Winsock gives it, with its text.
        const int32_t code = GetLastSocketError();
        EXPECT_TRUE(code == 10048 || code == 10013) << code;
        EXPECT_EQ(CBaseSocket::GetErrorText(),
                  code == 10048 ? "WSAEADDRINUSE: Address already in use.\n" : "WSAEACCES: Permission denied.\n");
    }
}
