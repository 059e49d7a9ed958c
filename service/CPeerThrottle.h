#pragma once

#include "net/CPeerAddress.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// Token buckets per party (see CPeerAddress::Party; the caller names the party) for the
// answers that teach a sweeping or guessing peer something: misses of GET_KEY and wrong
// cooperation passwords, each kind with a bucket of its own, and a spare bucket for units
// the release check matched to their ID. A request of such a kind takes a token at its
// admission and has it back when it proves no miss (a unit asking for its own key, the
// right password): requests that arrive together never get past the bucket. A party whose
// bucket is empty gets the miss's answer without a look, so that a hit cannot show through.
// The table holds at most its capacity of parties; the one used least recently makes room.
// Thread-safe.
class CPeerThrottle
{
public:
    using Clock = std::chrono::steady_clock;
    enum Kind
    {
        kMiss = 0,
        kWrongPassword = 1,
        kMatchedUnit = 2,
    };
    static constexpr size_t kKinds = 3;
    static constexpr size_t kDefaultCapacity = 65536;
    // Throttled requests of a peer are summed over this long in one log line.
    static constexpr auto kSummaryPeriod = std::chrono::seconds(60);

    explicit CPeerThrottle(size_t capacity = kDefaultCapacity);
    CPeerThrottle(const CPeerThrottle&) = delete;
    CPeerThrottle& operator=(const CPeerThrottle&) = delete;

    // Tokens a second and the bucket's size; a rate of 0 throttles nothing. Peers known keep
    // what they have (up to the new size).
    void Configure(uint32_t perSecond, uint32_t burst);
    // Takes a token from the party's bucket of this kind; false when it is empty.
    bool Take(const ZiRez::CPeerAddress& party, Kind kind, Clock::time_point now);
    // Counts a request of the party refused for this kind, for the summaries.
    void CountThrottled(const ZiRez::CPeerAddress& party, Kind kind, Clock::time_point now);
    // Take, and CountThrottled when it fails.
    bool Admit(const ZiRez::CPeerAddress& party, Kind kind, Clock::time_point now);
    // Gives back the token of an admitted request that proved no miss.
    void Refund(const ZiRez::CPeerAddress& party, Kind kind);
    // One line per party whose first throttled request since its last line is a summary
    // period old: what was throttled, by kind.
    std::vector<std::string> TakeSummaries(Clock::time_point now);
    // Requests throttled since the last call, all peers and kinds together.
    uint64_t TakeThrottledCount();
    size_t Size() const;

private:
    struct SKey
    {
        ZiRez::CPeerAddress party;
        bool operator==(const SKey& other) const { return party == other.party; }
    };
    struct SKeyHash
    {
        size_t operator()(const SKey& key) const { return key.party.Hash(); }
    };
    // Entries form a list, most recently used first, by index into m_entries.
    struct SEntry
    {
        ZiRez::CPeerAddress party;
        float tokens[kKinds] = {};
        uint32_t throttled[kKinds] = {};
        Clock::time_point refilled;
        Clock::time_point firstThrottled;
        uint32_t newer = kNone;
        uint32_t older = kNone;
        // Where in m_pending, while throttled requests of the peer wait to be summed up.
        uint32_t pendingAt = kNone;
    };
    static constexpr uint32_t kNone = UINT32_MAX;

    // With the lock held: the peer's entry, refilled to now, made the most recent.
    SEntry& Touch(const ZiRez::CPeerAddress& party, Clock::time_point now);
    void Unlink(uint32_t index);
    void LinkFirst(uint32_t index);
    // Sums up the entry's throttled requests into m_summaries, and takes it off m_pending.
    void Summarise(uint32_t index);

    const size_t m_capacity;
    mutable std::mutex m_lock;
    float m_perSecond = 0;
    float m_burst = 0;
    std::vector<SEntry> m_entries;
    std::unordered_map<SKey, uint32_t, SKeyHash> m_index;
    uint32_t m_newest = kNone;
    uint32_t m_oldest = kNone;
    // Peers with throttled requests not yet summed up.
    std::vector<uint32_t> m_pending;
    std::vector<std::string> m_summaries;
    uint64_t m_throttledCount = 0;
};
