// The server socket when the process runs out of descriptors (a limit of Linux's).
#include "RawSocket.h"
#include "net/CStrmSrvSocket.h"
#include "net/SocketErrors.h"
#include "platform/CEvent.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace ZiRez;

// An accept() that fails after the listener was readable (here: out of descriptors) must not
// hand out a slot; Accept keeps waiting and takes the connection once it can.
TEST(StrmSrvSocketDescriptors, FailedAcceptTakesNoSlot)
{
    Platform::CEvent cancel{false, false};
    CStrmSrvSocket server(FAMILY_UNSPEC, SOCKET_STREAM, true, IPv6LoopbackUsable(), 0, &cancel, 5000);
    server.Open(0);
    RawSocket client = RawSocket::Open(AF_INET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.BaseSocket().BoundPort(FAMILY_INET));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::atomic<bool> done{false};
    int index = -1;
    int32_t lastError = 0;
    std::thread accepting([&] {
        index = server.Accept();
        lastError = GetLastSocketError();
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    // While the limit is tight, neither thread may need a descriptor (the sanitizers' checks
    // of polymorphic objects do), so only plain calls happen until it is restored.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = dup(0);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    const bool tightened = setrlimit(RLIMIT_NOFILE, &tight) == 0;
    const bool connected = connect(client.Fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int countWhileShort = server.ConnectionCount();
    const bool waitingWhileShort = !done;
    setrlimit(RLIMIT_NOFILE, &saved);
    accepting.join();

    ASSERT_TRUE(tightened);
    ASSERT_TRUE(connected);
    EXPECT_EQ(countWhileShort, 0);
    EXPECT_TRUE(waitingWhileShort);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(lastError, 10024) << "accept() did fail for want of descriptors";
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_EQ(server.Write(0, "x", 1), 1);
    char reply[8] = {};
    EXPECT_EQ(client.Receive(reply, sizeof reply), 1);
    EXPECT_EQ(reply[0], 'x');
}
