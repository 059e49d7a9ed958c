#pragma once

#include "net/CNeighbourTable.h"
#include "net/CSubnet.h"
#include "service/CPeerThrottle.h"
#include "service/CRecentHits.h"
#include "service/CRefusedUnits.h"
#include "settings/CGuardSettings.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

// A request that its peer's throttle refused: it ends with this status, sent after a delay
// by CDelayedReplies rather than on the worker.
struct SThrottled
{
    uint32_t status;
    uint32_t detail;
};

// The key service's guards over what a request may be told, by who asks (the settings of
// SGuardSettings): the per-peer throttle on misses and wrong passwords (every address of
// this machine is one peer: a local user may send from any of them), the release check
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
    // GET_KEY of this ID: takes a token of the peer's miss bucket, or throws SThrottled with
    // the miss's status. When its neighbours emptied the shared bucket, a unit served this
    // ID lately at this address is admitted still, and so is one whose link-layer address
    // is the ID, from the spare bucket. Refusals of registered IDs are gathered for the log. True
    // when a token was taken, to be given back by Served.
    bool AdmitLookUp(const ZiRez::CPeerAddress& peer, std::string_view id, bool registered);
    // The key was handed out: the token (when taken) back, the hit remembered.
    void Served(const ZiRez::CPeerAddress& peer, std::string_view id, bool tokenTaken);
    // A password request: takes a token, or throws SThrottled with the wrong password's status.
    void AdmitPassword(const ZiRez::CPeerAddress& peer);
    // The password was right: its token back.
    void PasswordRight(const ZiRez::CPeerAddress& peer);
    // The throttle's party of the peer: one for all addresses of this machine.
    ZiRez::CPeerAddress PartyOf(const ZiRez::CPeerAddress& peer);
    // About once a second: logs the throttle's summaries, and once a minute writes the
    // counts of the last hour (at once after a start, so the tools find them while the
    // service runs).
    void Tick(Clock::time_point now);
    void WriteCountsNow();

    CPeerThrottle& Throttle() { return m_throttle; }
    // The registrations cooperation pushes may bring the store to; 0 for no limit.
    uint32_t PushLimit() const { return m_pushLimit.load(std::memory_order_relaxed); }
    // Release-check mismatches since the start.
    uint64_t MismatchCount() const { return m_mismatchTotal.load(std::memory_order_relaxed); }

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
    std::shared_ptr<ZiRez::CNeighbourTable> Neighbours();
    bool IsOwnAddress(const ZiRez::CPeerAddress& peer);
    // The peer's link-layer address is the ID read as a MAC address.
    bool IsMatchedUnit(const ZiRez::CPeerAddress& peer, std::string_view id);

    struct SPeerHash
    {
        size_t operator()(const ZiRez::CPeerAddress& peer) const { return peer.Hash(); }
    };
    struct SOwnAnswer
    {
        bool own = false;
        Clock::time_point asked;
    };
    // Addresses of this machine change (DHCP, SLAAC): an answer is asked again after this.
    static constexpr auto kOwnAnswerKept = std::chrono::seconds(10);
    static constexpr size_t kOwnAnswerCapacity = 4096;
    static int64_t MinuteNow();

    struct SReleasePolicy
    {
        SGuardSettings::ReleaseCheck check = SGuardSettings::ReleaseCheck::Off;
        std::vector<ZiRez::CSubnet> exempt;
    };

    CPeerThrottle m_throttle;
    CRecentHits m_hits;
    CRefusedUnits m_refused;
    std::mutex m_ownLock;
    std::unordered_map<ZiRez::CPeerAddress, SOwnAnswer, SPeerHash> m_ownAnswers;
    std::atomic<bool> m_checking{false};
    std::atomic<uint32_t> m_pushLimit{SGuardSettings::kDefaultPushLimit};
    std::mutex m_policyLock;
    std::shared_ptr<const SReleasePolicy> m_policy = std::make_shared<SReleasePolicy>();
    std::shared_ptr<ZiRez::CNeighbourTable> m_neighbours;
    std::atomic<uint64_t> m_mismatches{0};
    std::atomic<uint64_t> m_mismatchTotal{0};
    std::mutex m_countsLock;
    std::array<SMinute, kMinutes> m_minutes{};
    int64_t m_lastWritten = -1;
};
