#pragma once

#include "net/CPeerAddress.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Requests for registered IDs that the throttle refused, gathered per peer address so that
// the log says which unit was refused, once a minute per peer, rather than line by line.
// At most its capacity of peers and a few IDs each are kept. Thread-safe.
class CRefusedUnits
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kDefaultCapacity = 1024;
    static constexpr size_t kIdsNamed = 4;
    static constexpr auto kPeriod = std::chrono::seconds(60);

    explicit CRefusedUnits(size_t capacity = kDefaultCapacity) : m_capacity(capacity) {}

    void Add(const ZiRez::CPeerAddress& peer, std::string_view id, Clock::time_point now);
    // One line per peer whose first refusal since its last line is a period old.
    std::vector<std::string> TakeLines(Clock::time_point now);

private:
    struct SPeer
    {
        ZiRez::CPeerAddress address;
        Clock::time_point first;
        uint64_t count = 0;
        std::vector<std::string> ids;
    };

    const size_t m_capacity;
    std::mutex m_lock;
    std::vector<SPeer> m_peers;
    // Refusals of peers past the capacity, summed into the next line of any peer.
    uint64_t m_unlisted = 0;
};
