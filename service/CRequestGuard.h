#pragma once

#include "net/CNeighbourTable.h"
#include "net/CSubnet.h"
#include "service/CPeerThrottle.h"
#include "settings/CGuardSettings.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

// A request that its peer's throttle refused: it ends with this status, sent after a delay
// by CDelayedReplies rather than on the worker.
struct SThrottled
{
    uint32_t status;
    uint32_t detail;
};

// The key service's guards over what a request may be told, by who asks (the settings of
// SGuardSettings): the per-peer throttle on misses and wrong passwords, the release check
// (a key goes only to the unit whose link-layer address is its identifier), and the counts
// of the last hour the tools show. One for the service, configured at every start of the
// request server.
class CRequestGuard
{
public:
    using Clock = std::chrono::steady_clock;
    // A throttled request is answered this long after it was refused.
    static constexpr auto kThrottledReplyDelay = std::chrono::milliseconds(1000);

    // Exempt subnets that cannot be read are logged: none are exempt then.
    void Configure(const SGuardSettings& settings);
    // For a registered key asked for by the peer: false when the release check refuses it.
    // Checked are peers off loopback and outside the exempt subnets; each mismatch is logged
    // and counted, and refused when enforced.
    bool MayRelease(const ZiRez::CPeerAddress& peer, std::string_view id);
    // Throws SThrottled with the miss's status when the peer may not be told more of this
    // kind now.
    void Admit(const ZiRez::CPeerAddress& peer, CPeerThrottle::Kind kind, uint32_t status, uint32_t detail);
    // An admitted request turned out a miss (or a wrong password).
    void Missed(const ZiRez::CPeerAddress& peer, CPeerThrottle::Kind kind);
    // About once a second: logs the throttle's summaries, and once a minute writes the
    // counts of the last hour (at once after a start, so the tools find them while the
    // service runs).
    void Tick(Clock::time_point now);
    void WriteCountsNow();

    CPeerThrottle& Throttle() { return m_throttle; }

private:
    static constexpr size_t kMinutes = 60;
    struct SMinute
    {
        int64_t minute = -1; // since the epoch
        uint64_t throttled = 0;
        uint64_t mismatches = 0;
    };

    // With m_countsLock held.
    void WriteCounts(int64_t minute);
    static int64_t MinuteNow();

    struct SReleasePolicy
    {
        SGuardSettings::ReleaseCheck check = SGuardSettings::ReleaseCheck::Off;
        std::vector<ZiRez::CSubnet> exempt;
    };

    CPeerThrottle m_throttle;
    std::atomic<bool> m_checking{false};
    std::mutex m_policyLock;
    std::shared_ptr<const SReleasePolicy> m_policy = std::make_shared<SReleasePolicy>();
    std::shared_ptr<ZiRez::CNeighbourTable> m_neighbours;
    std::atomic<uint64_t> m_mismatches{0};
    std::mutex m_countsLock;
    std::array<SMinute, kMinutes> m_minutes{};
    int64_t m_lastWritten = -1;
};
