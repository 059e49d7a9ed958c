#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the key service counts for monitoring: requests by code and the last status sent,
// throttled requests, and units turned away at the connection cap. Relaxed atomics: a count
// costs a request no lock and no shared line beyond its own counter. The host owns one and
// hands it down in SServiceParts.
class CServiceMetrics
{
public:
    using Status = std::pair<uint32_t, uint32_t>;

    // What the text shows besides the counts, read from the other parts when it is made.
    struct SPeerReading
    {
        std::string name; // letters, digits, '.', '-' and '_' only: a label as it stands
        bool inSync = false;
        int64_t lastSync = 0; // unix seconds; 0 for never
        uint32_t waiting = 0;
    };
    struct SReadings
    {
        int openConnections = 0;
        uint64_t mismatches = 0;
        uint64_t storeLoadFailures = 0;
        int64_t now = 0; // unix seconds
        std::vector<SPeerReading> peers;
        size_t conflicts = 0;
    };

    CServiceMetrics();

    // A connection's request (code -1: none was received) and the last status sent.
    void CountRequest(int code, const std::optional<Status>& lastStatus);
    void CountThrottled() { m_throttled.fetch_add(1, std::memory_order_relaxed); }
    void CountTurnedAway() { m_turnedAway.fetch_add(1, std::memory_order_relaxed); }

    // The Prometheus text exposition of the counts and the readings.
    std::string Text(const SReadings& readings) const;

private:
    static constexpr size_t kKinds = 5;
    // Statuses and details below this are counted apart, the rest together as "other".
    static constexpr uint32_t kStatusRange = 8;
    static constexpr size_t kNoStatus = kStatusRange * kStatusRange;
    static constexpr size_t kOtherStatus = kNoStatus + 1;
    static constexpr size_t kSlots = kOtherStatus + 1;

    static size_t KindOf(int code);
    static std::string StatusLabels(size_t slot);

    std::array<std::atomic<uint64_t>, kKinds * kSlots> m_requests{};
    std::atomic<uint64_t> m_throttled{0};
    std::atomic<uint64_t> m_turnedAway{0};
    const int64_t m_startTime;
};
