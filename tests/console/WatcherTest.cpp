#include "ConsoleTest.h"
#include "Wire.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Counts the watcher's calls and lets the test wait for the next one.
class WatcherTest : public ConsoleTest
{
protected:
    WatcherTest() { EXPECT_TRUE(Tool({"layout"})); }

    void Changed()
    {
        const std::lock_guard lock(m_mutex);
        ++calls;
        m_called.notify_all();
    }

    // True when the count of calls passes seen within the time.
    bool WaitForCall(int seen, int timeOutMs)
    {
        std::unique_lock lock(m_mutex);
        return m_called.wait_for(lock, std::chrono::milliseconds(timeOutMs), [&] { return calls > seen; });
    }

    int calls = 0;
    std::mutex m_mutex;
    std::condition_variable m_called;
    CKeyListWatcher watcher{store, [this] { Changed(); }};
};

TEST_F(WatcherTest, WakesForAnotherProcessesRegistrationsButNotForItsSettings)
{
    watcher.Start();
    // The watch is armed on the watcher's thread: write until the first call shows it is.
    bool woke = false;
    for (int attempt = 0; attempt < 10 && !woke; ++attempt) {
        ASSERT_TRUE(Tool({"key", "00A0B0C0D0E" + std::to_string(attempt), Wire::Hex(Wire::Key(1))}));
        woke = WaitForCall(0, 3000);
    }
    ASSERT_TRUE(woke);
    const int seen = calls;
    ASSERT_TRUE(Tool({"port", "4000"}) && Tool({"password", "pw"}));
    EXPECT_FALSE(WaitForCall(seen, 2500)) << "a Config write woke the key-list watcher";
    ASSERT_TRUE(Tool({"delete", "00A0B0C0D0E0"}));
    EXPECT_TRUE(WaitForCall(seen, 10000));
}

TEST_F(WatcherTest, StoppingDuringThePauseEndsItWithoutACall)
{
    watcher.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Register("00A0B0C0D0E0", 1);
    // The change is seen within milliseconds; the stop comes early in the one-second pause.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    watcher.Stop();
    EXPECT_EQ(calls, 0);
}

} // namespace
