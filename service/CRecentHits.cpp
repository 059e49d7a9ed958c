#include "CRecentHits.h"

#include <algorithm>
#include <vector>

std::string CRecentHits::KeyOf(const ZiRez::CPeerAddress& peer, std::string_view id)
{
    std::string key(reinterpret_cast<const char*>(peer.Bytes()), peer.Length());
    key += static_cast<char>(peer.Family());
    key += id;
    return key;
}

void CRecentHits::Remember(const ZiRez::CPeerAddress& peer, std::string_view id, Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::string key = KeyOf(peer, id);
    if (m_hits.size() >= m_capacity && m_hits.find(key) == m_hits.end()) {
        std::vector<Clock::time_point> times;
        times.reserve(m_hits.size());
        for (const auto& hit : m_hits) {
            times.push_back(hit.second);
        }
        auto middle = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
        std::nth_element(times.begin(), middle, times.end());
        const Clock::time_point cut = *middle;
        for (auto it = m_hits.begin(); it != m_hits.end();) {
            it = it->second <= cut ? m_hits.erase(it) : std::next(it);
        }
    }
    m_hits[std::move(key)] = now;
}

bool CRecentHits::Holds(const ZiRez::CPeerAddress& peer, std::string_view id, Clock::time_point now) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_hits.find(KeyOf(peer, id));
    return found != m_hits.end() && now - found->second < kKept;
}

size_t CRecentHits::Size() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_hits.size();
}
