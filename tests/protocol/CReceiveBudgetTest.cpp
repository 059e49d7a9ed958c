#include "protocol/CReceiveBudget.h"

#include <gtest/gtest.h>
#include <vector>

TEST(ReceiveBudget, TheLargestHolderIsEvictedWhoeverCharges)
{
    CReceiveBudget budget(100);
    std::vector<size_t> woken;
    const auto wake = [&woken](size_t held) { woken.push_back(held); };
    CReceiveBudget::CAccount small(budget, wake);
    {
        CReceiveBudget::CAccount large(budget, wake);
        CReceiveBudget::CAccount middle(budget, wake);
        ASSERT_TRUE(large.Charge(60));
        ASSERT_TRUE(middle.Charge(30));
        ASSERT_TRUE(small.Charge(5));

        // Past the bound: the largest goes, not the one that charged.
        EXPECT_TRUE(small.Charge(10));
        EXPECT_EQ(woken, std::vector<size_t>({60}));
        EXPECT_TRUE(large.Evicted());
        EXPECT_FALSE(large.Charge(1)) << "an evicted account takes no more";
        EXPECT_EQ(budget.Total(), 45u);

        // The one that charged holds the most: its own charge fails.
        EXPECT_FALSE(middle.Charge(60));
        EXPECT_EQ(woken, std::vector<size_t>({60, 90}));
        EXPECT_EQ(budget.Total(), 15u);
    }
    EXPECT_EQ(budget.Total(), 15u) << "evicted accounts no longer count when they go";
    EXPECT_FALSE(small.Evicted());

    // Those gone are off the list: a later charge past the bound finds the largest left.
    CReceiveBudget::CAccount later(budget, wake);
    ASSERT_TRUE(later.Charge(80));
    EXPECT_TRUE(small.Charge(10));
    EXPECT_EQ(woken, std::vector<size_t>({60, 90, 80}));
    EXPECT_EQ(budget.Total(), 25u);
}
