#include "CRequestGuard.h"

#include "Log.h"
#include "platform/SafeText.h"
#include "platform/StateDirectory.h"
#include "protocol/Packet.h"
#include "settings/GuardCounts.h"

namespace {

// The identifier read as a MAC address: twelve hex digits, or six pairs joined by ':' or '-'.
bool ParseMac(std::string_view id, std::array<uint8_t, 6>& mac)
{
    const bool joined = id.size() == 17;
    if (id.size() != 12 && !joined) {
        return false;
    }
    const auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    for (size_t i = 0; i < 6; ++i) {
        const size_t at = joined ? 3 * i : 2 * i;
        if (joined && i > 0 && id[at - 1] != ':' && id[at - 1] != '-') {
            return false;
        }
        const int high = digit(id[at]);
        const int low = digit(id[at + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        mac[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

std::string MacText(const std::array<uint8_t, 6>& mac)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const uint8_t byte : mac) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

} // namespace

void CRequestGuard::Configure(const SGuardSettings& settings)
{
    m_throttle.Configure(settings.throttleRate, settings.throttleBurst);
    m_pushLimit = settings.pushLimit;
    auto policy = std::make_shared<SReleasePolicy>();
    policy->check = settings.releaseCheck;
    std::string bad;
    auto exempt = ZiRez::CSubnet::ParseList(settings.exemptSubnets, &bad);
    if (exempt) {
        policy->exempt = std::move(*exempt);
    } else {
        LogLine("the release check's exempt subnets cannot be read at \"" + SafeText(bad, {64, true}) +
                "\": no subnet is exempt");
    }
    {
        std::lock_guard<std::mutex> guard(m_policyLock);
        if (!m_neighbours) {
            m_neighbours = ZiRez::CreateNeighbourTable();
        }
        m_policy = std::move(policy);
    }
    m_checking = settings.releaseCheck != SGuardSettings::ReleaseCheck::Off;
}

bool CRequestGuard::MayRelease(const ZiRez::CPeerAddress& peer, std::string_view id)
{
    if (!m_checking.load(std::memory_order_relaxed) || peer.IsLoopback()) {
        return true;
    }
    std::shared_ptr<const SReleasePolicy> policy;
    std::shared_ptr<ZiRez::CNeighbourTable> neighbours;
    {
        std::lock_guard<std::mutex> guard(m_policyLock);
        policy = m_policy;
        neighbours = m_neighbours;
    }
    if (policy->check == SGuardSettings::ReleaseCheck::Off) {
        return true;
    }
    for (const ZiRez::CSubnet& subnet : policy->exempt) {
        if (subnet.Contains(peer)) {
            return true;
        }
    }
    const ZiRez::CNeighbourTable::SNeighbour neighbour = neighbours->LinkAddressOf(peer);
    using Outcome = ZiRez::CNeighbourTable::Outcome;
    if (neighbour.outcome == Outcome::Local) {
        return true;
    }
    std::array<uint8_t, 6> asked{};
    if (neighbour.outcome == Outcome::Found && ParseMac(id, asked) && asked == neighbour.address) {
        return true;
    }
    ++m_mismatches;
    m_mismatchTotal.fetch_add(1, std::memory_order_relaxed);
    const bool enforced = policy->check == SGuardSettings::ReleaseCheck::Enforce;
    LogLine("release check: " + peer.Text() + " (" +
            (neighbour.outcome == Outcome::Found ? "link-layer address " + MacText(neighbour.address) : neighbour.why) +
            ") asked for the key of \"" + SafeText(id, {64, true}) +
            "\": " + (enforced ? "refused as unknown" : "handed out, as the check only logs"));
    return !enforced;
}

std::shared_ptr<ZiRez::CNeighbourTable> CRequestGuard::Neighbours()
{
    std::lock_guard<std::mutex> guard(m_policyLock);
    return m_neighbours;
}

bool CRequestGuard::IsOwnAddress(const ZiRez::CPeerAddress& peer)
{
    if (peer.IsLoopback()) {
        return true;
    }
    const Clock::time_point now = Clock::now();
    {
        std::lock_guard<std::mutex> guard(m_ownLock);
        const auto found = m_ownAnswers.find(peer);
        if (found != m_ownAnswers.end() && now - found->second.asked < kOwnAnswerKept) {
            return found->second.own;
        }
    }
    const auto neighbours = Neighbours();
    const bool own = neighbours && neighbours->LinkAddressOf(peer).outcome == ZiRez::CNeighbourTable::Outcome::Local;
    std::lock_guard<std::mutex> guard(m_ownLock);
    if (m_ownAnswers.size() >= kOwnAnswerCapacity) {
        m_ownAnswers.clear();
    }
    m_ownAnswers[peer] = SOwnAnswer{own, now};
    return own;
}

ZiRez::CPeerAddress CRequestGuard::PartyOf(const ZiRez::CPeerAddress& peer)
{
    static const ZiRez::CPeerAddress thisMachine = ZiRez::CPeerAddress::FromText("127.0.0.1");
    return IsOwnAddress(peer) ? thisMachine : peer.Party();
}

bool CRequestGuard::IsMatchedUnit(const ZiRez::CPeerAddress& peer, std::string_view id)
{
    std::array<uint8_t, 6> asked{};
    if (!ParseMac(id, asked)) {
        return false;
    }
    const auto neighbours = Neighbours();
    if (!neighbours) {
        return false;
    }
    const ZiRez::CNeighbourTable::SNeighbour neighbour = neighbours->LinkAddressOf(peer);
    return neighbour.outcome == ZiRez::CNeighbourTable::Outcome::Found && neighbour.address == asked;
}

bool CRequestGuard::AdmitLookUp(const ZiRez::CPeerAddress& peer, std::string_view id, bool registered)
{
    const Clock::time_point now = Clock::now();
    const ZiRez::CPeerAddress party = PartyOf(peer);
    if (m_throttle.Take(party, CPeerThrottle::kMiss, now)) {
        return true;
    }
    // Asked whether the ID is registered or not, so that neither way takes longer. A pair
    // served before teaches nothing new: it needs no token. A unit matched by its link-layer
    // address may be a sweeper that changes its own: it takes from the spare bucket.
    if (m_hits.Holds(peer, id, now) ||
        (IsMatchedUnit(peer, id) && m_throttle.Take(party, CPeerThrottle::kMatchedUnit, now))) {
        return false;
    }
    m_throttle.CountThrottled(party, CPeerThrottle::kMiss, now);
    if (registered) {
        m_refused.Add(peer, id, now);
    }
    throw SThrottled{ST_EXEC_ERROR, DT_KEY_NOT_FOUND};
}

void CRequestGuard::Served(const ZiRez::CPeerAddress& peer, std::string_view id, bool tokenTaken)
{
    if (tokenTaken) {
        m_throttle.Refund(PartyOf(peer), CPeerThrottle::kMiss);
    }
    m_hits.Remember(peer, id, Clock::now());
}

void CRequestGuard::AdmitPassword(const ZiRez::CPeerAddress& peer)
{
    if (!m_throttle.Admit(PartyOf(peer), CPeerThrottle::kWrongPassword, Clock::now())) {
        throw SThrottled{ST_AUTH_ERROR, DT_BAD_PASSWORD};
    }
}

void CRequestGuard::PasswordRight(const ZiRez::CPeerAddress& peer)
{
    m_throttle.Refund(PartyOf(peer), CPeerThrottle::kWrongPassword);
}

void CRequestGuard::Tick(Clock::time_point now)
{
    for (const std::string& line : m_throttle.TakeSummaries(now)) {
        LogLine(line);
    }
    for (const std::string& line : m_refused.TakeLines(now)) {
        LogLine(line);
    }
    const int64_t minute = MinuteNow();
    std::lock_guard<std::mutex> guard(m_countsLock);
    SMinute& current = m_minutes[static_cast<size_t>(minute) % kMinutes];
    if (current.minute != minute) {
        current = SMinute{minute, 0, 0};
    }
    current.throttled += m_throttle.TakeThrottledCount();
    current.mismatches += m_mismatches.exchange(0);
    if (m_lastWritten != minute) {
        WriteCounts(minute);
    }
}

int64_t CRequestGuard::MinuteNow()
{
    return std::chrono::duration_cast<std::chrono::minutes>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void CRequestGuard::WriteCountsNow()
{
    std::lock_guard<std::mutex> guard(m_countsLock);
    WriteCounts(MinuteNow());
}

void CRequestGuard::WriteCounts(int64_t minute)
{
    SGuardCounts counts;
    counts.written = minute * 60;
    for (const SMinute& past : m_minutes) {
        if (past.minute > minute - static_cast<int64_t>(kMinutes)) {
            counts.throttled += past.throttled;
            counts.mismatches += past.mismatches;
        }
    }
    // Tried again at the next tick when it fails.
    if (WriteGuardCounts(counts, Platform::StateDirectory())) {
        m_lastWritten = minute;
    }
}
