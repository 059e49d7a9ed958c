#include "CRefusedUnits.h"

#include "platform/SafeText.h"

#include <algorithm>
#include <utility>

void CRefusedUnits::Add(const ZiRez::CPeerAddress& peer, std::string_view id, Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = std::find_if(m_peers.begin(), m_peers.end(), [&](const SPeer& p) { return p.address == peer; });
    if (found == m_peers.end()) {
        if (m_peers.size() >= m_capacity) {
            ++m_unlisted;
            return;
        }
        m_peers.push_back(SPeer{peer, now, 0, {}});
        found = m_peers.end() - 1;
    }
    ++found->count;
    if (found->ids.size() < kIdsNamed && std::find(found->ids.begin(), found->ids.end(), id) == found->ids.end()) {
        found->ids.emplace_back(id);
    }
}

std::vector<std::string> CRefusedUnits::TakeLines(Clock::time_point now)
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::string> lines;
    for (auto it = m_peers.begin(); it != m_peers.end();) {
        if (now - it->first < kPeriod) {
            ++it;
            continue;
        }
        std::string line = "throttle refused " + it->address.Text() +
                           " in the last minute: " + std::to_string(it->count) + " requests for registered IDs";
        for (size_t i = 0; i < it->ids.size(); ++i) {
            line += (i == 0 ? " " : ", ") + SafeText(it->ids[i], {64, true});
        }
        if (m_unlisted > 0) {
            line += " (and " + std::to_string(std::exchange(m_unlisted, 0)) + " from peers not listed)";
        }
        lines.push_back(std::move(line));
        it = m_peers.erase(it);
    }
    return lines;
}
