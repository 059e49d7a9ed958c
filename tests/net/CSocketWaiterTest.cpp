#include "net/CSocketWaiter.h"

#include "RawSocket.h"
#include "platform/CEvent.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace ZiRez;
using Platform::CEvent;
using Clock = std::chrono::steady_clock;

namespace {

long ElapsedMs(Clock::time_point since)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

} // namespace

TEST(CSocketWaiter, TimeOutZeroReturnsAtOnceWithoutLooking)
{
    RawSocketPair pair;
    ASSERT_EQ(pair.b.Send("x", 1), 1);
    CEvent event(true, true);
    CSocketWaiter waiter;
    waiter.AddSocket(pair.a.Fd());
    waiter.AddEvent(&event);
    EXPECT_EQ(waiter.Wait(0, true), 0);
    EXPECT_EQ(waiter.KindOf(pair.a.Fd()), CSocketWaiter::KIND_NONE);
    EXPECT_EQ(waiter.KindOf(&event), CSocketWaiter::KIND_NONE);
}

TEST(CSocketWaiter, ReadableSocketIsReportedBeforeASignalledEvent)
{
    RawSocketPair pair;
    ASSERT_EQ(pair.b.Send("x", 1), 1);
    CEvent event(false, true);
    CSocketWaiter waiter;
    waiter.AddEvent(&event);
    waiter.AddSocket(pair.a.Fd());
    ASSERT_EQ(waiter.Wait(1000, true), 1);
    EXPECT_EQ(waiter.KindOf(pair.a.Fd()), CSocketWaiter::KIND_READ);
    EXPECT_EQ(waiter.KindOf(&event), CSocketWaiter::KIND_NONE);
    // The auto-reset signal was left for the next wait.
    EXPECT_TRUE(event.Wait(0));
}

TEST(CSocketWaiter, SocketsAreReportedInListOrderAndByKind)
{
    RawSocketPair first;
    RawSocketPair second;
    ASSERT_EQ(first.b.Send("x", 1), 1);
    ASSERT_EQ(second.b.Send("x", 1), 1);
    CSocketWaiter waiter;
    waiter.AddSocket(second.a.Fd());
    waiter.AddSocket(first.a.Fd());
    waiter.AddSocket(second.a.Fd()); // duplicates are skipped
    ASSERT_EQ(waiter.Wait(1000, true), 1);
    EXPECT_EQ(waiter.KindOf(second.a.Fd()), CSocketWaiter::KIND_READ);
    EXPECT_EQ(waiter.KindOf(first.a.Fd()), CSocketWaiter::KIND_NONE);

    // Asked only for writability, a writable socket is kind 1.
    ASSERT_EQ(waiter.Wait(1000, false, true), 1);
    EXPECT_EQ(waiter.KindOf(second.a.Fd()), CSocketWaiter::KIND_WRITE);
}

TEST(CSocketWaiter, EventAloneEndsTheWait)
{
    CEvent event(false, false);
    CSocketWaiter waiter;
    waiter.AddEvent(&event);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        event.Set();
    });
    EXPECT_EQ(waiter.Wait(-1, true), 1);
    EXPECT_EQ(waiter.KindOf(&event), CSocketWaiter::KIND_READ);
    setter.join();
    EXPECT_FALSE(event.Wait(0)) << "the waiter took the auto-reset signal";
}

TEST(CSocketWaiter, QuietSocketTimesOutAfterTheRealTime)
{
    RawSocketPair pair;
    CEvent event(false, false);
    CSocketWaiter waiter;
    waiter.AddSocket(pair.a.Fd());
    waiter.AddEvent(&event);
    const auto start = Clock::now();
    EXPECT_EQ(waiter.Wait(150, true), 0);
    EXPECT_GE(ElapsedMs(start), 150);
    EXPECT_EQ(waiter.KindOf(pair.a.Fd()), CSocketWaiter::KIND_NONE);
}

TEST(CSocketWaiter, InvalidSocketInTheListIsAnError)
{
    CEvent event(false, false);
    CSocketWaiter waiter;
    waiter.AddSocket(INVALID_SOCKET_HANDLE);
    waiter.AddEvent(&event);
    EXPECT_EQ(waiter.Wait(-1, true), -1);

    // A closed socket as well.
    const RawSocket::Handle gone = RawSocket::Open(AF_INET).Fd();
    CSocketWaiter closed;
    closed.AddSocket(gone);
    EXPECT_EQ(closed.Wait(-1, true), -1);
}

TEST(CSocketWaiter, NothingToWaitForWithoutLimitIsAnError)
{
    CSocketWaiter waiter;
    EXPECT_EQ(waiter.Wait(-1, true), -1);
    EXPECT_EQ(waiter.Wait(20, true), 0);
}

TEST(CSocketWaiter, PeerCloseCountsAsReadable)
{
    RawSocketPair pair;
    pair.b.Reset();
    CSocketWaiter waiter;
    waiter.AddSocket(pair.a.Fd());
    ASSERT_EQ(waiter.Wait(1000, true), 1);
    EXPECT_EQ(waiter.KindOf(pair.a.Fd()), CSocketWaiter::KIND_READ);
}

// Two waiters on one auto-reset event: one signal releases exactly one; the other keeps
// waiting and takes the second signal instead of giving up when it loses the first.
TEST(CSocketWaiter, TwoWaitersShareAnAutoResetEvent)
{
    CEvent event(false, false);
    std::atomic<int> released{0};
    std::atomic<int> started{0};
    auto waitOnce = [&] {
        CSocketWaiter waiter;
        waiter.AddEvent(&event);
        ++started;
        if (waiter.Wait(10000, true) == 1) {
            ++released;
        }
    };
    std::thread one(waitOnce);
    std::thread two(waitOnce);
    while (started < 2) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    event.Set();
    const auto start = Clock::now();
    while (released == 0 && ElapsedMs(start) < 5000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(released.load(), 1);
    event.Set();
    one.join();
    two.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_FALSE(event.Wait(0));
}

TEST(CSocketWaiter, ManualResetEventReleasesEveryWaiter)
{
    CEvent event(true, false);
    std::atomic<int> released{0};
    auto waitOnce = [&] {
        CSocketWaiter waiter;
        waiter.AddEvent(&event);
        if (waiter.Wait(2000, true) == 1) {
            ++released;
        }
    };
    std::thread one(waitOnce);
    std::thread two(waitOnce);
    event.Set();
    one.join();
    two.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_TRUE(event.Wait(0));
}
