#include "CRequestLog.h"

#include "platform/SafeText.h"

void CRequestLog::AddId(std::string_view id)
{
    if (m_ids.size() < kShownIds) {
        m_ids.push_back(SafeText(id, {kIdLimit, true}));
    }
    ++m_idCount;
}

void CRequestLog::AddStatus(uint32_t status, uint32_t detail)
{
    if (m_statuses.size() < kShownStatuses) {
        m_statuses.emplace_back(status, detail);
    }
    ++m_statusCount;
    m_lastStatus.emplace(status, detail);
}

void CRequestLog::SetError(std::string_view message)
{
    m_error = SafeText(message, {kErrorLimit, true});
}

std::string CRequestLog::Line() const
{
    // One string grown in place: the line is made for every request.
    std::string line;
    line.reserve(128);
    line.append("request from ").append(m_peer).append(": code ");
    line += m_code >= 0 ? std::to_string(m_code) : std::string("none");
    if (m_idCount > 0) {
        line += m_idCount == 1 ? ", id" : ", ids";
        for (size_t i = 0; i < m_ids.size(); ++i) {
            line.append(i == 0 ? " \"" : ", \"").append(m_ids[i]) += '"';
        }
        if (m_idCount > m_ids.size()) {
            line.append(" and ").append(std::to_string(m_idCount - m_ids.size())).append(" more");
        }
    }
    line += ", status";
    if (m_statusCount == 0) {
        line += " none";
    }
    for (const auto& [status, detail] : m_statuses) {
        line.append(" (").append(std::to_string(status)).append(", ").append(std::to_string(detail)) += ')';
    }
    if (m_statusCount > m_statuses.size()) {
        line.append(" and ").append(std::to_string(m_statusCount - m_statuses.size())).append(" more");
    }
    if (!m_error.empty()) {
        line.append(", ended by \"").append(m_error) += '"';
    }
    return line;
}
