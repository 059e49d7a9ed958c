#pragma once

#include "service/CLogSink.h"

#include <string>
#include <string_view>
#include <vector>

// The log in the journal, one entry a line: MESSAGE is the line's text as written
// elsewhere, MESSAGE_ID a fixed id for its kind of event, and the line's own fields beside
// them (CORVANE_PEER, CORVANE_REQUEST, CORVANE_STATUS, CORVANE_ID for a request), so that
// "journalctl -u Ternwick CORVANE_STATUS=2" finds them. A line the journal refuses goes to
// the descriptor as text.
class CJournalSink : public CLogSink
{
public:
    // The ids of the kinds of events (made once, never to change).
    static constexpr const char* kRequestId = "fec09664ce6f4d458a775ad8237ba18c";
    static constexpr const char* kStartId = "b59bf2573d804bfe83fc4b57f82adddb";
    static constexpr const char* kStopId = "e12268a99ce64d3e9242a0336944c516";
    static constexpr const char* kStateId = "6bf7185cce794399a0e02295577099d1";
    static constexpr const char* kSettingsId = "cb4aaf0b0e6c4177988bd6460100e430";
    static constexpr const char* kThrottleId = "679040d3681849b69b7211c62df337f9";
    static constexpr const char* kRefusalId = "d7fe06a0c1c94607bcb67af3f866546f";
    static constexpr const char* kFailureId = "325dfb6da2a44103855d95df2e45097b";
    static constexpr const char* kOtherId = "f39f698d09f440078d0d7db50880b6f2";

    explicit CJournalSink(int fallbackDescriptor) : m_fallback(fallbackDescriptor) {}

    bool TakesFields() const override { return true; }
    void Write(const char* bytes, size_t length) override;

    // The journal fields ("NAME=value") of one queued line (without its line end).
    static std::vector<std::string> Fields(std::string_view queued);

protected:
    // One queued line (without its line end) into the journal.
    virtual void Send(std::string_view queued);

private:
    const int m_fallback;
    // The start of a line cut where the queue's ring wraps.
    std::string m_partial;
};
