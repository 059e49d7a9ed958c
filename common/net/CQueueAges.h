#pragma once

#include <chrono>
#include <deque>
#include <span>
#include <vector>

namespace ZiRez {

// Which of several listeners' queues holds the connection that has waited longest, so that
// connections spread over them are taken as from one queue: first come, first served. A
// queue gives its connections in the order they came, so each queue's connections are
// stamped when a look at the lengths first finds them, oldest first; those taken meanwhile
// by a caller that did not say (or gone) are the oldest ones. Not thread-safe.
class CQueueAges
{
public:
    using Clock = std::chrono::steady_clock;

    explicit CQueueAges(size_t queues) : m_seen(queues) {}

    // The lengths now, one per queue (0 for one closed): the queue whose first connection was
    // seen earliest, -1 when all are empty.
    int Oldest(std::span<const int> lengths, Clock::time_point now);
    // The first connection of the queue was taken.
    void Took(int queue);

private:
    std::vector<std::deque<Clock::time_point>> m_seen;
};

} // namespace ZiRez
