#include "CRequestGuard.h"

#include "Log.h"
#include "settings/GuardCounts.h"

CRequestGuard& CRequestGuard::Shared()
{
    // Never destroyed: parked connections and workers may use it while the process exits.
    static auto* const guard = new CRequestGuard;
    return *guard;
}

void CRequestGuard::Configure(const SGuardSettings& settings)
{
    m_throttle.Configure(settings.throttleRate, settings.throttleBurst);
}

void CRequestGuard::Admit(const ZiRez::CPeerAddress& peer, CPeerThrottle::Kind kind, uint32_t status,
                          uint32_t detail)
{
    if (!m_throttle.Take(peer, kind, Clock::now())) {
        throw SThrottled{status, detail};
    }
}

void CRequestGuard::GiveBack(const ZiRez::CPeerAddress& peer, CPeerThrottle::Kind kind)
{
    m_throttle.GiveBack(peer, kind);
}

void CRequestGuard::Tick(Clock::time_point now)
{
    for (const std::string& line : m_throttle.TakeSummaries(now)) {
        LogLine(line);
    }
    const int64_t minute =
        std::chrono::duration_cast<std::chrono::minutes>(std::chrono::system_clock::now().time_since_epoch()).count();
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
    if (WriteGuardCounts(counts)) {
        m_lastWritten = minute;
    }
}
