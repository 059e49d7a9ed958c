#include "console/RequestParts.h"

#include <gtest/gtest.h>

namespace {

// A request holds the password, the count, the entries and the mask; the key service
// counts every item with 24 bytes besides its own and takes at most 1 MiB of them.
TEST(RequestPartsTest, PartsStayWithinWhatTheKeyServiceTakes)
{
    const size_t fixed = (10 + 24) + (4 + 24) + (32 + 24);
    const size_t pushed = (12 + 24) + (32 + 24);
    const size_t fullPush = (1024 * 1024 - fixed) / pushed;
    const size_t fullFetch = (1024 * 1024 - fixed) / (12 + 24);
    const struct
    {
        const char* name;
        size_t entries;
        size_t keyLength;
        std::vector<size_t> parts;
    } cases[] = {
        {"nothing is one empty request", 0, 32, {0}},
        {"a few keys", 3, 32, {3}},
        {"exactly one full push", fullPush, 32, {fullPush}},
        {"one key more", fullPush + 1, 32, {fullPush, 1}},
        {"three pushes", 2 * fullPush + 5, 32, {fullPush, fullPush, 5}},
        {"a full fetch carries no keys", fullFetch + 1, 0, {fullFetch, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SplitIntoRequests(std::vector<size_t>(c.entries, 12), 10, c.keyLength), c.parts);
    }
    EXPECT_EQ(fullPush, 11396u);
}

} // namespace
