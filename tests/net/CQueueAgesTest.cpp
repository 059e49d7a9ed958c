#include "net/CQueueAges.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using ZiRez::CQueueAges;

namespace {

// One step: the queues' lengths at a look (ms after the start), the queue expected oldest,
// and whether the caller then takes its first connection.
struct SLook
{
    int atMs;
    std::vector<int> lengths;
    int oldest;
    bool take;
};

struct SCase
{
    const char* name;
    std::vector<SLook> looks;
};

} // namespace

TEST(CQueueAges, TheConnectionSeenFirstIsTakenFirstAcrossQueues)
{
    const std::vector<SCase> cases = {
        {"all empty", {{0, {0, 0, 0}, -1, false}}},
        {"a short queue seen earlier wins over a longer newer one",
         {{0, {0, 1, 0}, 1, false}, {5, {0, 1, 4}, 1, true}, {6, {0, 0, 4}, 2, true}}},
        {"the queue that was longest is not favoured once its head is newer",
         {{0, {3, 0}, 0, true},
          {1, {2, 1}, 0, true},
          {2, {1, 1}, 0, true},
          {3, {3, 1}, 1, true},
          {4, {3, 0}, 0, false}}},
        {"connections taken by others leave the newest stamps",
         {{0, {2, 0}, 0, false}, {5, {2, 1}, 0, false}, {6, {1, 1}, 0, false}, {7, {0, 1}, 1, false}}},
        {"a closed queue (0) forgets its stamps",
         {{0, {1, 0}, 0, false}, {5, {0, 1}, 1, false}, {6, {1, 1}, 1, false}}},
        {"ties go to the lower number", {{0, {1, 1, 1}, 0, true}, {1, {0, 1, 1}, 1, false}}},
    };
    for (const SCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        CQueueAges ages(testCase.looks.front().lengths.size());
        const auto start = CQueueAges::Clock::now();
        for (const SLook& look : testCase.looks) {
            const int oldest = ages.Oldest(look.lengths, start + std::chrono::milliseconds(look.atMs));
            ASSERT_EQ(oldest, look.oldest) << "at " << look.atMs << " ms";
            if (look.take) {
                ages.Took(oldest);
            }
        }
    }
}
