#include "net/CQueueAges.h"

namespace ZiRez {

int CQueueAges::Oldest(std::span<const int> lengths, Clock::time_point now)
{
    int oldest = -1;
    for (size_t queue = 0; queue < m_seen.size() && queue < lengths.size(); ++queue) {
        std::deque<Clock::time_point>& seen = m_seen[queue];
        const size_t length = lengths[queue] > 0 ? static_cast<size_t>(lengths[queue]) : 0;
        while (seen.size() > length) {
            seen.pop_front();
        }
        while (seen.size() < length) {
            seen.push_back(now);
        }
        if (!seen.empty() && (oldest < 0 || seen.front() < m_seen[static_cast<size_t>(oldest)].front())) {
            oldest = static_cast<int>(queue);
        }
    }
    return oldest;
}

void CQueueAges::Took(int queue)
{
    std::deque<Clock::time_point>& seen = m_seen.at(static_cast<size_t>(queue));
    if (!seen.empty()) {
        seen.pop_front();
    }
}

} // namespace ZiRez
