// The log queue against a pipe that stalls: lines are dropped and counted, never split.
#include "linux/ReadUntilQuiet.h"
#include "service/CLogQueue.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <unistd.h>

// Rounds of more lines than the ring holds while nobody reads, with line lengths that move
// the point where the ring wraps: every line comes out whole (the drop note on a line of
// its own), and the lines written and the lines dropped add up to those queued.
TEST(LogQueue, AStalledSinkDropsWholeLinesAndCountsThemAcrossTheWrap)
{
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    fcntl(pipeFds[0], F_SETPIPE_SZ, 4096);
    CLogQueue& queue = CLogQueue::Open(pipeFds[1]);
    size_t queued = 0;
    size_t seen = 0;
    size_t dropped = 0;
    size_t notes = 0;
    for (size_t round = 0; round < 6; ++round) {
        const size_t length = 700 + 131 * round;
        for (size_t i = 0; i < 2 * CLogQueue::kCapacity / length; ++i) {
            const std::string head = "line " + std::to_string(round) + "." + std::to_string(i) + " ";
            queue.Add(head + std::string(length - head.size(), static_cast<char>('a' + round)));
            ++queued;
        }
        const std::string out = ReadUntilQuiet(pipeFds[0], 300);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.back(), '\n');
        for (size_t begin = 0; begin < out.size();) {
            const size_t end = out.find('\n', begin);
            const std::string line = out.substr(begin, end - begin);
            begin = end + 1;
            const size_t note = line.find(" log lines dropped");
            if (note != std::string::npos && note + 18 == line.size()) {
                dropped += std::stoul(line.substr(0, note));
                ++notes;
                continue;
            }
            const char filler = line.empty() ? '?' : line.back();
            ASSERT_EQ(line.rfind("line ", 0), 0u) << "a line split: " << line.substr(0, 80);
            EXPECT_EQ(line.size(), 700 + 131 * static_cast<size_t>(filler - 'a')) << line.substr(0, 40);
            EXPECT_EQ(line.find_first_not_of(filler, line.find(' ', 5) + 1), std::string::npos) << line.substr(0, 40);
            ++seen;
        }
    }
    EXPECT_GE(notes, 6u);
    EXPECT_EQ(seen + dropped, queued);
}
