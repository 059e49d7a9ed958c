// The journal's fields of the service's lines, as the log queue hands them to the journal
// sink: the text unchanged as MESSAGE, a MESSAGE_ID per kind of event, a request's fields.
#include "ReadUntilQuiet.h"
#include "service/CLogQueue.h"
#include "service/CRequestLog.h"
#include "service/linux/CJournalSink.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Takes fields as the journal's sink does and keeps the lines queued for it.
class CFieldRecorder : public CLogSink
{
public:
    bool TakesFields() const override { return true; }
    void Write(const char* bytes, size_t length) override
    {
        std::lock_guard<std::mutex> guard(lock);
        written.append(bytes, length);
    }

    std::mutex lock;
    std::string written;
};

// The journal's sink with the lines it would send kept here.
class CSentLines : public CJournalSink
{
public:
    CSentLines() : CJournalSink(-1) {}

    std::vector<std::string> sent;

protected:
    void Send(std::string_view queued) override { sent.emplace_back(queued); }
};

std::vector<std::string> Fields(const std::string& queued)
{
    return CJournalSink::Fields(queued.substr(0, queued.size() - 1));
}

} // namespace

TEST(JournalSink, EachLineKeepsItsTextAndGetsTheIdOfItsKindAndItsFields)
{
    auto recorder = std::make_unique<CFieldRecorder>();
    CFieldRecorder& recorded = *recorder;
    CLogQueue& queue = CLogQueue::Open(std::move(recorder));
    ASSERT_TRUE(queue.TakesFields());

    CRequestLog request("192.0.2.7 port 40001");
    request.SetCode(256);
    request.AddId("00A0B0C0D0E0");
    request.AddId("bad\"id\n");
    request.AddStatus(2, 1);
    request.AddStatus(2, 1);
    request.AddStatus(0, 0);
    CRequestLog silent("[2001:db8::1]:40002");
    const struct
    {
        std::string line;
        std::vector<std::pair<std::string, std::string>> fields;
        std::string id;
        std::string priority;
    } cases[] = {
        {request.Line(), request.Fields(), CJournalSink::kRequestId, "6"},
        {silent.Line(), silent.Fields(), CJournalSink::kRequestId, "6"},
        {"Ternwick starting", {}, CJournalSink::kStartId, "6"},
        {"listening on port 51056", {}, CJournalSink::kStartId, "6"},
        {"Ternwick stopped", {}, CJournalSink::kStopId, "6"},
        {"paused: no new connection is served", {}, CJournalSink::kStateId, "6"},
        {"settings changed: reopening the listener", {}, CJournalSink::kSettingsId, "6"},
        {"throttled this machine in the last minute: 3 unknown-ID requests, 0 password attempts",
         {},
         CJournalSink::kThrottleId,
         "5"},
        {"release check: 192.0.2.9 (link-layer address 02:00:00:00:00:09) asked for the key of \"X\": refused",
         {},
         CJournalSink::kRefusalId,
         "5"},
        {"cannot listen on port 51056: Address in use", {}, CJournalSink::kFailureId, "3"},
        {"only 236 connections at once: the descriptor limit allows no more", {}, CJournalSink::kOtherId, "6"},
    };
    for (const auto& c : cases) {
        std::vector<SLogField> fields;
        for (const auto& [name, value] : c.fields) {
            fields.push_back({name.c_str(), value});
        }
        queue.Add(c.line, fields);
    }
    ASSERT_TRUE(queue.Drain(std::chrono::seconds(5)));
    std::lock_guard<std::mutex> guard(recorded.lock);
    size_t begin = 0;
    for (const auto& c : cases) {
        const size_t end = recorded.written.find('\n', begin);
        ASSERT_NE(end, std::string::npos) << c.line;
        const std::vector<std::string> fields = Fields(recorded.written.substr(begin, end + 1 - begin));
        begin = end + 1;
        std::vector<std::string> expected{"MESSAGE=" + c.line, "MESSAGE_ID=" + c.id, "PRIORITY=" + c.priority,
                                          "SYSLOG_IDENTIFIER=Ternwick"};
        for (const auto& [name, value] : c.fields) {
            expected.push_back(std::string(name) + "=" + value);
        }
        EXPECT_EQ(fields, expected) << c.line;
    }
    EXPECT_EQ(begin, recorded.written.size());

    // What a request line hands the journal: each status once, the identifiers as shown.
    const std::vector<std::pair<std::string, std::string>> requestFields{
        {"CORVANE_PEER", "192.0.2.7 port 40001"}, {"CORVANE_REQUEST", "256"}, {"CORVANE_ID", "00A0B0C0D0E0"},
        {"CORVANE_ID", "bad\\x22id\\x0A"},        {"CORVANE_STATUS", "2"},    {"CORVANE_STATUS", "0"}};
    EXPECT_EQ(request.Fields(), requestFields);
    EXPECT_EQ(silent.Fields(), (std::vector<std::pair<std::string, std::string>>{
                                   {"CORVANE_PEER", "[2001:db8::1]:40002"}, {"CORVANE_REQUEST", "none"}}));
}

// On a descriptor the fields are left out: the line is written as it always was.
TEST(JournalSink, ADescriptorGetsTheTextAloneAndTheJournalWholeLines)
{
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    CLogQueue& queue = CLogQueue::Open(pipeFds[1]);
    EXPECT_FALSE(queue.TakesFields());
    const SLogField fields[] = {{"CORVANE_PEER", "192.0.2.7 port 40001"}, {"CORVANE_STATUS", "2"}};
    queue.Add("request from 192.0.2.7 port 40001: code 1, status (2, 1)", fields);
    ASSERT_TRUE(queue.Drain(std::chrono::seconds(5)));
    EXPECT_EQ(ReadUntilQuiet(pipeFds[0], 200), "request from 192.0.2.7 port 40001: code 1, status (2, 1)\n");

    // The journal's sink takes the lines whole, also one cut where the queue's ring wraps.
    CSentLines sink;
    const std::string queued = std::string("first line") + CLogSink::kFieldMark + "CORVANE_STATUS=2\nsecond" +
                               CLogSink::kFieldMark + "CORVANE_ID=X\nthird\n";
    for (const size_t cut : {size_t{5}, size_t{10}, size_t{28}, size_t{29}}) {
        sink.sent.clear();
        sink.Write(queued.data(), cut);
        sink.Write(queued.data() + cut, queued.size() - cut);
        EXPECT_EQ(sink.sent,
                  (std::vector<std::string>{std::string("first line") + CLogSink::kFieldMark + "CORVANE_STATUS=2",
                                            std::string("second") + CLogSink::kFieldMark + "CORVANE_ID=X", "third"}))
            << cut;
    }
    close(pipeFds[0]);
}
