#include "CServiceMetrics.h"

#include "platform/ProductVersion.h"
#include "protocol/Packet.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr const char* kKindNames[] = {"get_key", "check", "fetch_keys", "store_keys", "other"};

void Family(std::string& text, const char* name, const char* type, const char* help)
{
    text.append("# HELP ").append(name).append(" ").append(help).append("\n# TYPE ").append(name).append(" ");
    text.append(type).append("\n");
}

void Sample(std::string& text, const char* name, uint64_t value)
{
    text.append(name).append(" ").append(std::to_string(value)).append("\n");
}

} // namespace

CServiceMetrics::CServiceMetrics()
    : m_startTime(
          std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count())
{}

size_t CServiceMetrics::KindOf(int code)
{
    switch (static_cast<uint32_t>(code)) {
    case REQ_GET_KEY:
        return 0;
    case REQ_CHECK:
        return 1;
    case REQ_FETCH_KEYS:
        return 2;
    case REQ_STORE_KEYS:
        return 3;
    default:
        return 4;
    }
}

void CServiceMetrics::CountRequest(int code, const std::optional<Status>& lastStatus)
{
    size_t slot = kNoStatus;
    if (lastStatus) {
        const auto [status, detail] = *lastStatus;
        slot = status < kStatusRange && detail < kStatusRange ? status * kStatusRange + detail : kOtherStatus;
    }
    m_requests[KindOf(code) * kSlots + slot].fetch_add(1, std::memory_order_relaxed);
}

std::string CServiceMetrics::StatusLabels(size_t slot)
{
    if (slot == kNoStatus) {
        return "status=\"none\",detail=\"none\"";
    }
    if (slot == kOtherStatus) {
        return "status=\"other\",detail=\"other\"";
    }
    return "status=\"" + std::to_string(slot / kStatusRange) + "\",detail=\"" + std::to_string(slot % kStatusRange) +
           "\"";
}

std::string CServiceMetrics::Text(const SReadings& readings) const
{
    std::string text;
    text.reserve(2048);
    Family(text, "corvane_requests_total", "counter",
           "Connections served, by request code and the last status sent (none: the connection ended without one).");
    for (size_t kind = 0; kind < kKinds; ++kind) {
        for (size_t slot = 0; slot < kSlots; ++slot) {
            const uint64_t count = m_requests[kind * kSlots + slot].load(std::memory_order_relaxed);
            // The usual answers are always shown, so that a rate has a series from the start.
            if (count != 0 || (slot == 0 && kind != 4)) {
                text.append("corvane_requests_total{code=\"").append(kKindNames[kind]).append("\",");
                text.append(StatusLabels(slot)).append("} ").append(std::to_string(count)).append("\n");
            }
        }
    }
    Family(text, "corvane_throttled_requests_total", "counter",
           "Requests answered late and as refused because their peer exceeded its throttle.");
    Sample(text, "corvane_throttled_requests_total", m_throttled.load(std::memory_order_relaxed));
    Family(text, "corvane_release_check_mismatches_total", "counter",
           "Keys asked for by a peer whose link-layer address is not the identifier.");
    Sample(text, "corvane_release_check_mismatches_total", readings.mismatches);
    Family(text, "corvane_open_connections", "gauge", "Connections being served now.");
    Sample(text, "corvane_open_connections", static_cast<uint64_t>(readings.openConnections));
    Family(text, "corvane_units_turned_away_total", "counter",
           "Connections closed to make room at the connection cap (silent or stalled peers).");
    Sample(text, "corvane_units_turned_away_total", m_turnedAway.load(std::memory_order_relaxed));
    Family(text, "corvane_store_load_failures_total", "counter",
           "Loads of the key list from the store that failed (the last list loaded was served).");
    Sample(text, "corvane_store_load_failures_total", readings.storeLoadFailures);
    Family(text, "corvane_process_start_time_seconds", "gauge", "Start time of the key service, in unix seconds.");
    Sample(text, "corvane_process_start_time_seconds", static_cast<uint64_t>(m_startTime));
    if (!readings.peers.empty()) {
        Family(text, "corvane_peer_in_sync", "gauge", "1 when the last sync with the peer went through whole.");
        for (const SPeerReading& peer : readings.peers) {
            text.append("corvane_peer_in_sync{peer=\"").append(peer.name).append("\"} ");
            text.append(peer.inSync ? "1\n" : "0\n");
        }
        Family(text, "corvane_peer_sync_age_seconds", "gauge",
               "Seconds since the last complete sync with the peer (kept to the minute); none before the first.");
        for (const SPeerReading& peer : readings.peers) {
            if (peer.lastSync != 0) {
                text.append("corvane_peer_sync_age_seconds{peer=\"").append(peer.name).append("\"} ");
                text.append(std::to_string(std::max<int64_t>(0, readings.now - peer.lastSync))).append("\n");
            }
        }
        Family(text, "corvane_peer_changes_waiting", "gauge", "Changes of this server the peer has not had yet.");
        for (const SPeerReading& peer : readings.peers) {
            text.append("corvane_peer_changes_waiting{peer=\"").append(peer.name).append("\"} ");
            text.append(std::to_string(peer.waiting)).append("\n");
        }
        Family(text, "corvane_sync_conflicts", "gauge",
               "IDs with another key on a peer than here, served as here until settled.");
        Sample(text, "corvane_sync_conflicts", readings.conflicts);
    }
    Family(text, "corvane_build_info", "gauge", "The key service's version, as a label.");
    text.append("corvane_build_info{version=\"").append(kProductVersion).append("\"} 1\n");
    return text;
}
