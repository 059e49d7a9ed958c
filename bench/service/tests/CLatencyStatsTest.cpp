#include "CLatencyStats.h"

#include <gtest/gtest.h>

namespace {

TEST(CLatencyStatsTest, NearestRankPercentilesOverMergedSamples)
{
    CLatencyStats first;
    CLatencyStats second;
    // 1..100 in a scrambled order, split over two clients.
    for (int64_t i = 0; i < 100; ++i) {
        ((i % 2 == 0) ? first : second).Record((i * 37) % 100 + 1);
    }
    first.Merge(second);
    const struct
    {
        double percent;
        int64_t value;
    } cases[] = {{50, 50}, {99, 99}, {100, 100}, {1, 1}, {0.5, 1}, {99.5, 100}};
    for (const auto& entry : cases) {
        EXPECT_EQ(first.Percentile(entry.percent), entry.value) << entry.percent;
    }
    EXPECT_EQ(first.Count(), 100u);
    EXPECT_EQ(first.Max(), 100);
    EXPECT_DOUBLE_EQ(first.MeanNanoseconds(), 50.5);
    // Recording after a percentile was read still counts.
    first.Record(1000);
    EXPECT_EQ(first.Percentile(100), 1000);
}

TEST(CLatencyStatsTest, EmptyStatsGiveZero)
{
    const CLatencyStats stats;
    EXPECT_EQ(stats.Percentile(99), 0);
    EXPECT_EQ(stats.Max(), 0);
    EXPECT_EQ(stats.MeanNanoseconds(), 0.0);
}

} // namespace
