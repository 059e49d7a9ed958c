#include "platform/CEvent.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using Platform::CEvent;

TEST(CEvent, ManualResetStaysSignalledUntilReset)
{
    CEvent event(true, false);
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.TryTake());
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.TryTake());
}

TEST(CEvent, AutoResetIsTakenOnceHoweverOftenItWasSet)
{
    CEvent event(false, true);
    event.Set();
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.TryTake());
}

TEST(CEvent, WaitTimesOutWithoutSignal)
{
    CEvent event(false, false);
    EXPECT_FALSE(event.Wait(20));
}

TEST(CEvent, SignalFromAnotherThreadEndsAnUnlimitedWait)
{
    CEvent event(false, false);
    std::thread setter([&] { event.Set(); });
    EXPECT_TRUE(event.Wait(-1));
    setter.join();
}

// Many waiters on one auto-reset event: each signal releases exactly one of them.
TEST(CEvent, AutoResetSignalReleasesExactlyOneWaiter)
{
    CEvent event(false, false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            if (event.Wait(500)) {
                ++released;
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    event.Set();
    for (auto& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(released.load(), 1);
}
