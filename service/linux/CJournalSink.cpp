#include "CJournalSink.h"

#include "service/CDescriptorSink.h"

#include <sys/uio.h>
// The entries name the service's event, not the line of this file that sent them.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>

namespace {

struct SKind
{
    std::string_view prefix;
    const char* id;
    const char* priority; // syslog's: 3 error, 5 notice, 6 informational
};

// Lines are told apart by how they begin; a line of none of these kinds is "other".
constexpr SKind kKinds[] = {
    {"request from ", CJournalSink::kRequestId, "6"},
    {"Ternwick starting", CJournalSink::kStartId, "6"},
    {"listening on port ", CJournalSink::kStartId, "6"},
    {"stopping", CJournalSink::kStopId, "6"},
    {"Ternwick stopped", CJournalSink::kStopId, "6"},
    {"paused: ", CJournalSink::kStateId, "6"},
    {"continued", CJournalSink::kStateId, "6"},
    {"state: ", CJournalSink::kStateId, "6"},
    {"settings changed", CJournalSink::kSettingsId, "6"},
    {"throttle per peer: ", CJournalSink::kSettingsId, "6"},
    {"metrics: ", CJournalSink::kSettingsId, "6"},
    {"throttled ", CJournalSink::kThrottleId, "5"},
    {"throttle refused ", CJournalSink::kThrottleId, "5"},
    {"release check: ", CJournalSink::kRefusalId, "5"},
    {"cannot ", CJournalSink::kFailureId, "3"},
    {"listener failed", CJournalSink::kFailureId, "3"},
    {"request server failed", CJournalSink::kFailureId, "3"},
    {"received items of all connections", CJournalSink::kFailureId, "5"},
};

const SKind& KindOf(std::string_view text)
{
    static constexpr SKind kOther{"", CJournalSink::kOtherId, "6"};
    for (const SKind& kind : kKinds) {
        if (text.substr(0, kind.prefix.size()) == kind.prefix) {
            return kind;
        }
    }
    return kOther;
}

} // namespace

std::vector<std::string> CJournalSink::Fields(std::string_view queued)
{
    const size_t mark = queued.find(kFieldMark);
    const std::string_view text = queued.substr(0, mark);
    const SKind& kind = KindOf(text);
    std::vector<std::string> fields{"MESSAGE=" + std::string(text), std::string("MESSAGE_ID=") + kind.id,
                                    std::string("PRIORITY=") + kind.priority, "SYSLOG_IDENTIFIER=Ternwick"};
    for (size_t at = mark; at != std::string_view::npos;) {
        const size_t next = queued.find(kFieldMark, at + 1);
        fields.emplace_back(queued.substr(at + 1, next == std::string_view::npos ? next : next - at - 1));
        at = next;
    }
    return fields;
}

void CJournalSink::Write(const char* bytes, size_t length)
{
    std::string_view rest(bytes, length);
    for (size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
        if (m_partial.empty()) {
            Send(rest.substr(0, end));
        } else {
            m_partial.append(rest.substr(0, end));
            Send(m_partial);
            m_partial.clear();
        }
        rest.remove_prefix(end + 1);
    }
    m_partial.append(rest);
}

void CJournalSink::Send(std::string_view queued)
{
    const std::vector<std::string> fields = Fields(queued);
    std::vector<iovec> entries;
    entries.reserve(fields.size());
    for (const std::string& field : fields) {
        entries.push_back({const_cast<char*>(field.data()), field.size()});
    }
    if (sd_journal_sendv(entries.data(), static_cast<int>(entries.size())) < 0) {
        // The text alone, as it would be written without the journal.
        const std::string line = std::string(queued.substr(0, queued.find(kFieldMark))) + "\n";
        CDescriptorSink(m_fallback).Write(line.data(), line.size());
    }
}
