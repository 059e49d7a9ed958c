// The guard counts file beside the store: what is written reads back, a rewrite replaces it
// whole, and a file that is missing, damaged or not all there reads as no counts.
#include "settings/GuardCounts.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

TEST(GuardCounts, AWriteReadsBackAndARewriteReplacesIt)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("corvane-guard-counts-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string directory = folder.string();
    EXPECT_FALSE(ReadGuardCounts(directory)) << "nothing written yet";
    const SGuardCounts counts[] = {{1765000000, 12, 3}, {1765000060, 0, 0}};
    for (const SGuardCounts& written : counts) {
        ASSERT_TRUE(WriteGuardCounts(written, directory));
        const auto read = ReadGuardCounts(directory);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->written, written.written);
        EXPECT_EQ(read->throttled, written.throttled);
        EXPECT_EQ(read->mismatches, written.mismatches);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "no file left beside it";
    EXPECT_FALSE(WriteGuardCounts(counts[0], ""));
    std::filesystem::remove_all(folder);
}

TEST(GuardCounts, OnlyAWholeFileIsRead)
{
    const struct
    {
        const char* text;
        bool read;
    } cases[] = {
        {"written 5\nthrottled 1\nmismatches 2\n", true},
        {"mismatches 2 throttled 1 written 5", true},
        {"written 5\nthrottled 1\n", false},
        {"written 5\nthrottled 1\nmismatches two\n", false},
        {"written 5\nthrottled 1\nmismatches 2\nother 3\n", false},
        {"", false},
    };
    for (const auto& c : cases) {
        std::istringstream text(c.text);
        EXPECT_EQ(ParseGuardCounts(text).has_value(), c.read) << c.text;
    }
    std::istringstream text(GuardCountsText({7, 8, 9}));
    const auto parsed = ParseGuardCounts(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->written, 7);
    EXPECT_EQ(parsed->throttled, 8u);
    EXPECT_EQ(parsed->mismatches, 9u);
}

} // namespace
