#include "CPeerThrottle.h"

#include <algorithm>
#include <utility>

CPeerThrottle::CPeerThrottle(size_t capacity) : m_capacity(std::max<size_t>(1, capacity))
{
    m_index.reserve(m_capacity);
}

void CPeerThrottle::Configure(uint32_t perSecond, uint32_t burst)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_perSecond = static_cast<float>(perSecond);
    m_burst = static_cast<float>(std::max<uint32_t>(1, burst));
    for (SEntry& entry : m_entries) {
        for (float& tokens : entry.tokens) {
            tokens = std::min(tokens, m_burst);
        }
    }
}

void CPeerThrottle::Unlink(uint32_t index)
{
    SEntry& entry = m_entries[index];
    (entry.newer == kNone ? m_newest : m_entries[entry.newer].older) = entry.older;
    (entry.older == kNone ? m_oldest : m_entries[entry.older].newer) = entry.newer;
    entry.newer = entry.older = kNone;
}

void CPeerThrottle::LinkFirst(uint32_t index)
{
    SEntry& entry = m_entries[index];
    entry.older = m_newest;
    entry.newer = kNone;
    if (m_newest != kNone) {
        m_entries[m_newest].newer = index;
    }
    m_newest = index;
    if (m_oldest == kNone) {
        m_oldest = index;
    }
}

CPeerThrottle::SEntry& CPeerThrottle::Touch(const ZiRez::CPeerAddress& party, Clock::time_point now)
{
    const auto found = m_index.find(SKey{party});
    uint32_t index;
    if (found != m_index.end()) {
        index = found->second;
        Unlink(index);
        SEntry& entry = m_entries[index];
        const float elapsed = std::chrono::duration<float>(now - entry.refilled).count();
        if (elapsed > 0) {
            for (float& tokens : entry.tokens) {
                tokens = std::min(m_burst, tokens + elapsed * m_perSecond);
            }
            entry.refilled = now;
        }
    } else {
        if (m_entries.size() < m_capacity) {
            index = static_cast<uint32_t>(m_entries.size());
            m_entries.emplace_back();
        } else {
            // The peer heard from least recently makes room; what it had throttled is summed
            // up now rather than lost.
            index = m_oldest;
            Unlink(index);
            m_index.erase(SKey{m_entries[index].party});
            if (m_entries[index].pendingAt != kNone) {
                Summarise(index);
            }
        }
        SEntry& entry = m_entries[index];
        entry = SEntry{};
        entry.party = party;
        entry.refilled = now;
        std::fill(std::begin(entry.tokens), std::end(entry.tokens), m_burst);
        m_index.emplace(SKey{party}, index);
    }
    LinkFirst(index);
    return m_entries[index];
}

bool CPeerThrottle::Take(const ZiRez::CPeerAddress& party, Kind kind, Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_perSecond <= 0) {
        return true;
    }
    float& tokens = Touch(party.Party(), now).tokens[kind];
    if (tokens < 1) {
        return false;
    }
    tokens -= 1;
    return true;
}

void CPeerThrottle::CountThrottled(const ZiRez::CPeerAddress& party, Kind kind, Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_perSecond <= 0) {
        return;
    }
    SEntry& entry = Touch(party.Party(), now);
    ++entry.throttled[kind];
    ++m_throttledCount;
    if (entry.pendingAt == kNone) {
        entry.firstThrottled = now;
        entry.pendingAt = static_cast<uint32_t>(m_pending.size());
        m_pending.push_back(static_cast<uint32_t>(&entry - m_entries.data()));
    }
}

bool CPeerThrottle::Admit(const ZiRez::CPeerAddress& party, Kind kind, Clock::time_point now)
{
    if (Take(party, kind, now)) {
        return true;
    }
    CountThrottled(party, kind, now);
    return false;
}

void CPeerThrottle::Refund(const ZiRez::CPeerAddress& party, Kind kind)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_index.find(SKey{party.Party()});
    if (m_perSecond > 0 && found != m_index.end()) {
        float& tokens = m_entries[found->second].tokens[kind];
        tokens = std::min(m_burst, tokens + 1);
    }
}

void CPeerThrottle::Summarise(uint32_t index)
{
    SEntry& entry = m_entries[index];
    // The loopback party stands for every address of this machine.
    m_summaries.push_back("throttled " + (entry.party.IsLoopback() ? "this machine" : entry.party.PartyText()) +
                          " in the last minute: " + std::to_string(entry.throttled[kMiss]) + " unknown-ID requests, " +
                          std::to_string(entry.throttled[kWrongPassword]) + " password attempts");
    entry.throttled[kMiss] = entry.throttled[kWrongPassword] = 0;
    const uint32_t moved = m_pending.back();
    m_pending[entry.pendingAt] = moved;
    m_entries[moved].pendingAt = entry.pendingAt;
    m_pending.pop_back();
    entry.pendingAt = kNone;
}

std::vector<std::string> CPeerThrottle::TakeSummaries(Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (size_t i = 0; i < m_pending.size();) {
        if (now - m_entries[m_pending[i]].firstThrottled >= kSummaryPeriod) {
            Summarise(m_pending[i]); // moves another entry to i
        } else {
            ++i;
        }
    }
    return std::exchange(m_summaries, {});
}

uint64_t CPeerThrottle::TakeThrottledCount()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return std::exchange(m_throttledCount, 0);
}

size_t CPeerThrottle::Size() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_index.size();
}
