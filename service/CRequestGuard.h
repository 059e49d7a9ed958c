#pragma once

#include "service/CPeerThrottle.h"
#include "settings/CGuardSettings.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

// A request that its peer's throttle refused: it ends with this status, sent after a delay
// by CDelayedReplies rather than on the worker.
struct SThrottled
{
    uint32_t status;
    uint32_t detail;
};

// The key service's guards over what a request may be told, by who asks (the settings of
// SGuardSettings): the per-peer throttle on misses and wrong passwords, and the counts of
// the last hour the tools show. One for the process, configured at every start of the
// request server.
class CRequestGuard
{
public:
    using Clock = std::chrono::steady_clock;
    // A throttled request is answered this long after it was refused.
    static constexpr auto kThrottledReplyDelay = std::chrono::milliseconds(1000);

    static CRequestGuard& Shared();

    void Configure(const SGuardSettings& settings);
    // Throws SThrottled with the miss's status when the peer may not be told more of this
    // kind now; otherwise a token is taken, to be given back for a hit.
    void Admit(const ZiRez::CPeerAddress& peer, CPeerThrottle::Kind kind, uint32_t status, uint32_t detail);
    void GiveBack(const ZiRez::CPeerAddress& peer, CPeerThrottle::Kind kind);
    // About once a second: logs the throttle's summaries, and once a minute writes the
    // counts of the last hour.
    void Tick(Clock::time_point now);

    CPeerThrottle& Throttle() { return m_throttle; }

private:
    static constexpr size_t kMinutes = 60;
    struct SMinute
    {
        int64_t minute = -1; // since the epoch
        uint64_t throttled = 0;
        uint64_t mismatches = 0;
    };

    void WriteCounts(int64_t minute);

    CPeerThrottle m_throttle;
    std::atomic<uint64_t> m_mismatches{0};
    // Used by the ticking thread alone.
    std::array<SMinute, kMinutes> m_minutes{};
    int64_t m_lastWritten = -1;
};
