#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What one request did, for its line in the log: peer, request code, identifiers and the
// statuses sent, or the error that ended it. Never holds a key, a mask or a password.
// Identifiers are escaped (a peer's bytes must not forge log lines) and shortened.
class CRequestLog
{
public:
    explicit CRequestLog(std::string peer) : m_peer(std::move(peer)) {}

    void SetCode(int code) { m_code = code; }
    void AddId(std::string_view id);
    void AddStatus(uint32_t status, uint32_t detail);
    void SetError(std::string_view message);

    std::string Line() const;

    int Code() const { return m_code; }
    // The status sent last; nullopt when none was.
    std::optional<std::pair<uint32_t, uint32_t>> LastStatus() const { return m_lastStatus; }

private:
    static constexpr size_t kShownIds = 4;
    static constexpr size_t kShownStatuses = 8;
    static constexpr size_t kIdLimit = 64;
    static constexpr size_t kErrorLimit = 200;

    std::string m_peer;
    int m_code = -1;
    std::vector<std::string> m_ids;
    size_t m_idCount = 0;
    std::vector<std::pair<uint32_t, uint32_t>> m_statuses;
    size_t m_statusCount = 0;
    std::optional<std::pair<uint32_t, uint32_t>> m_lastStatus;
    std::string m_error;
};
