#pragma once

#include "net/CPeerAddress.h"

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// The units served lately, by their own address and the ID they were served: such a unit
// is served again whatever its neighbours did to their shared bucket. Only the address
// that got the key is remembered with it, so a sweeper learns nothing it did not already
// hold. At most its capacity of pairs; the older half makes room. Thread-safe.
class CRecentHits
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kDefaultCapacity = 65536;
    static constexpr auto kKept = std::chrono::hours(24 * 30);

    explicit CRecentHits(size_t capacity = kDefaultCapacity) : m_capacity(capacity < 2 ? 2 : capacity) {}

    void Remember(const ZiRez::CPeerAddress& peer, std::string_view id, Clock::time_point now);
    bool Holds(const ZiRez::CPeerAddress& peer, std::string_view id, Clock::time_point now) const;
    size_t Size() const;

private:
    static std::string KeyOf(const ZiRez::CPeerAddress& peer, std::string_view id);

    const size_t m_capacity;
    mutable std::mutex m_lock;
    std::unordered_map<std::string, Clock::time_point> m_hits;
};
