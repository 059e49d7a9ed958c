#include "CRequestLog.h"

#include <cstdio>

void CRequestLog::AddId(std::string_view id)
{
    if (m_ids.size() < kShownIds) {
        m_ids.push_back(Escape(id, kIdLimit));
    }
    ++m_idCount;
}

void CRequestLog::AddStatus(uint32_t status, uint32_t detail)
{
    if (m_statuses.size() < kShownStatuses) {
        m_statuses.emplace_back(status, detail);
    }
    ++m_statusCount;
}

void CRequestLog::SetError(std::string_view message)
{
    m_error = Escape(message, 200);
}

std::string CRequestLog::Escape(std::string_view bytes, size_t limit)
{
    std::string text;
    const size_t shown = bytes.size() < limit ? bytes.size() : limit;
    for (size_t i = 0; i < shown; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
            text.push_back(static_cast<char>(byte));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
    }
    if (shown < bytes.size()) {
        text += "...(" + std::to_string(bytes.size()) + " bytes)";
    }
    return text;
}

std::string CRequestLog::Line() const
{
    std::string line = "request from " + m_peer + ": code ";
    line += m_code >= 0 ? std::to_string(m_code) : std::string("none");
    if (m_idCount > 0) {
        line += m_idCount == 1 ? ", id" : ", ids";
        for (size_t i = 0; i < m_ids.size(); ++i) {
            line += (i == 0 ? " \"" : ", \"") + m_ids[i] + "\"";
        }
        if (m_idCount > m_ids.size()) {
            line += " and " + std::to_string(m_idCount - m_ids.size()) + " more";
        }
    }
    line += ", status";
    if (m_statusCount == 0) {
        line += " none";
    }
    for (size_t i = 0; i < m_statuses.size(); ++i) {
        line += (i == 0 ? " (" : " (") + std::to_string(m_statuses[i].first) + ", " +
                std::to_string(m_statuses[i].second) + ")";
    }
    if (m_statusCount > m_statuses.size()) {
        line += " and " + std::to_string(m_statusCount - m_statuses.size()) + " more";
    }
    if (!m_error.empty()) {
        line += ", ended by \"" + m_error + "\"";
    }
    return line;
}
