#include "protocol/CReceiveBudget.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(ReceiveBudget, TheLargestHolderIsEvictedWhoeverChargesAndCountsUntilItGoes)
{
    CReceiveBudget budget(100, 10s);
    std::vector<size_t> woken;
    std::atomic<size_t> wakes{0};
    const auto wake = [&woken, &wakes](size_t held) {
        woken.push_back(held);
        ++wakes;
    };
    CReceiveBudget::CAccount small(budget, wake);
    auto large = std::make_unique<CReceiveBudget::CAccount>(budget, wake);
    auto middle = std::make_unique<CReceiveBudget::CAccount>(budget, wake);
    ASSERT_TRUE(large->Charge(60));
    ASSERT_TRUE(middle->Charge(30));
    ASSERT_TRUE(small.Charge(5));

    // Past the bound: the largest goes, not the one that charged; the charge waits until
    // the evicted account's bytes are freed, as until then they are still held.
    auto charged = std::async(std::launch::async, [&small] { return small.Charge(10); });
    EXPECT_EQ(charged.wait_for(200ms), std::future_status::timeout);
    ASSERT_EQ(wakes, 1u);
    EXPECT_EQ(woken, std::vector<size_t>({60}));
    EXPECT_TRUE(large->Evicted());
    EXPECT_FALSE(large->Charge(1)) << "an evicted account takes no more";
    EXPECT_EQ(budget.Total(), 105u);
    large.reset();
    EXPECT_TRUE(charged.get());
    EXPECT_EQ(budget.Total(), 45u);

    // The one that charged holds the most: its own charge fails and is not counted.
    EXPECT_FALSE(middle->Charge(60));
    EXPECT_EQ(woken, std::vector<size_t>({60, 90}));
    EXPECT_EQ(budget.Total(), 45u);
    middle.reset();
    EXPECT_EQ(budget.Total(), 15u);
    EXPECT_FALSE(small.Evicted());

    // Those gone are off the list: a later charge past the bound finds the largest left.
    auto later = std::make_unique<CReceiveBudget::CAccount>(budget, wake);
    ASSERT_TRUE(later->Charge(80));
    charged = std::async(std::launch::async, [&small] { return small.Charge(10); });
    while (wakes < 3) {
        std::this_thread::sleep_for(1ms);
    }
    later.reset();
    EXPECT_TRUE(charged.get());
    EXPECT_EQ(woken, std::vector<size_t>({60, 90, 80}));
    EXPECT_EQ(budget.Total(), 25u);
}

// An evicted account that is never freed holds the bound: a charge gives up after the wait
// rather than take the memory past it.
TEST(ReceiveBudget, AChargeGivesUpWhenEvictedBytesAreNotFreedInTime)
{
    CReceiveBudget budget(100, 50ms);
    CReceiveBudget::CAccount stuck(budget, nullptr);
    CReceiveBudget::CAccount unit(budget, nullptr);
    ASSERT_TRUE(stuck.Charge(90));
    EXPECT_FALSE(unit.Charge(20));
    EXPECT_TRUE(stuck.Evicted());
    EXPECT_LE(budget.Total(), 100u);
}
