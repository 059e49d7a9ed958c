// The real service's metrics file against the requests made, read with the Prometheus
// client's own parser.
#include "Fixture.h"
#include "platform/ProductVersion.h"
#include "settings/CMetricsSettings.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

using namespace Wire;

namespace {

const std::string kId = "00A0B0C0D0E0";
const std::string kStoredId = "00A0B0C0D0E1";
const std::string kUnknownId = "00A0B0C0D0EF";
const std::string kSweptId = "00A0B0C0D0EE";
const std::string kMask = "metrics-mask";
const std::string kPassword = "Coop-Pass-7";

// "TYPE NAME{LABELS}" (labels sorted) to the sample's value.
using Samples = std::map<std::string, long long>;

std::string Requests(const std::string& code, const std::string& status, const std::string& detail)
{
    return "counter corvane_requests_total{code=\"" + code + "\",detail=\"" + detail + "\",status=\"" + status + "\"}";
}

// The file as ParseMetrics.py reads it (with the Debian Python, for which the parser is
// installed); the test fails when it does not parse.
Samples Parse(const std::string& file)
{
    Harness::CTempDir out;
    Harness::CChildProcess::SOptions streams;
    streams.output = {Harness::SChildStream::EKind::Pipe, ""};
    streams.error = {Harness::SChildStream::EKind::File, out.Path() + "/errors"};
    Harness::CChildProcess parser;
    std::istringstream lines(parser.Start({"/usr/bin/python3", METRICS_PARSER, file}, streams) ? parser.ReadAll() : "");
    const std::optional<int> status = parser.WaitExit(60000);
    std::ostringstream errors;
    errors << std::ifstream(out.Path() + "/errors").rdbuf();
    EXPECT_TRUE(status && Harness::CChildProcess::ExitCode(*status) == 0) << errors.str();
    Samples samples;
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.rfind(' ');
        samples[line.substr(0, space)] = std::stoll(line.substr(space + 1));
    }
    return samples;
}

bool WaitForFile(const std::string& file, int timeOutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeOutMs);
    while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::filesystem::exists(file);
}

int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

TEST_F(TernwickTest, MetricsCountEachKindOfRequestInAPrometheusFile)
{
    Register(kId, Key(1));
    SetPassword(kPassword);
    const int64_t started = Now();
    // Under this descriptor limit the service allows 236 connections at once.
    m_service = std::make_unique<Harness::CTernwickProcess>(m_dir.Path(), m_notify.Address(), 300);
    ASSERT_TRUE(m_service->WaitForLog("listening on port", 1, 20000)) << m_service->Log();

    const struct
    {
        std::string client;
        int times;
    } requests[] = {
        {Request(1) + Ack(), 3},
        {Request(16) + Data(kId) + Data(kMask) + Ack() + Ack(), 2},
        {Request(16) + Data(kUnknownId) + Data(kMask) + Ack() + Ack(), 1},
        // A fetch with a wrong password, and a push with the right one.
        {Request(256) + Data(Password("wrong", kMask)) + Int(1) + Data(kId) + Data(kMask) + Ack(), 1},
        {Request(512) + Data(Password(kPassword, kMask)) + Int(1) + Data(kStoredId) +
             Data(Seal(Key(9), kStoredId, kMask)) + Data(kMask) + Ack(),
         1},
        {Request(99), 1}, // acknowledged, then closed without a status
        {"", 1},
    };
    size_t made = 0;
    for (const auto& request : requests) {
        for (int i = 0; i < request.times; ++i) {
            Converse(request.client);
            ++made;
        }
    }
    ASSERT_TRUE(m_service->WaitForLog("request from", made, 5000)) << m_service->Log();

    // One connection held in the middle of its request while the folder is set: the file is
    // written at once, with it open.
    Harness::CPeer held;
    ASSERT_TRUE(held.Connect("127.0.0.1", m_port));
    ASSERT_TRUE(held.Send(Request(16)));
    ASSERT_EQ(Hex(held.Read(Ack().size(), 5000)), Hex(Ack()));
    Harness::CTempDir folder;
    const std::string file = folder.Path() + "/" + CMetricsSettings::kFileName;
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"metrics-dir", folder.Path()}), 0);
    ASSERT_TRUE(WaitForFile(file, 10000)) << m_service->Log();
    Samples first = Parse(file);
    EXPECT_EQ(first["gauge corvane_open_connections{}"], 1);
    EXPECT_EQ(first[Requests("check", "0", "0")], 3);
    EXPECT_EQ(first["gauge corvane_build_info{version=\"" + std::string(kProductVersion) + "\"}"], 1);
    const long long start = first["gauge corvane_process_start_time_seconds{}"];
    EXPECT_TRUE(start >= started && start <= Now()) << start;
    held.Close();

    // A throttle of one miss a second: of four misses at once, those past the first are throttled.
    const size_t opened = m_service->CountLog("listening on port");
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"guard", "1", "1", "0", ""}), 0);
    ASSERT_TRUE(m_service->WaitForLog("listening on port", opened + 1, 10000));
    std::vector<std::future<std::string>> sweeps;
    for (int i = 0; i < 4; ++i) {
        sweeps.push_back(std::async(std::launch::async, [this] {
            return Converse(Request(16) + Data(kSweptId) + Data(kMask) + Ack() + Ack());
        }));
    }
    for (auto& sweep : sweeps) {
        EXPECT_EQ(Hex(sweep.get()), Hex(NotFoundReply()));
    }

    // Silent peers past the cap: those closed to make room are the units turned away.
    std::vector<Harness::CPeer> silent(240);
    for (auto& peer : silent) {
        ASSERT_TRUE(peer.Connect("127.0.0.1", m_port));
    }
    long long turnedAway = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (turnedAway < 4 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        turnedAway =
            std::count_if(silent.begin(), silent.end(), [](Harness::CPeer& peer) { return !peer.StaysQuiet(0); });
    }
    EXPECT_GE(turnedAway, 4);
    silent.clear();
    // Each connection's line follows its count: once all are in, nothing is open.
    EXPECT_TRUE(m_service->WaitForLog("code none", 1 + silent.capacity(), 20000)) << m_service->LogTail(20);

    // The last file is written at the stop, with every line of the log in.
    EXPECT_EQ(m_service->Stop(20000), 0) << m_service->Log();
    const Samples last = Parse(file);
    const long long sweptServed = static_cast<long long>(m_service->CountLog("\"" + kSweptId + "\""));
    // A connection ended before its request is rejected (status 1, 0) as the log says.
    const long long rejected = static_cast<long long>(m_service->CountLog("code none, status (1, 0)"));
    const long long ended = static_cast<long long>(m_service->CountLog("code none, status none"));
    const std::pair<std::string, long long> expected[] = {
        {Requests("check", "0", "0"), 3},
        {Requests("get_key", "0", "0"), 2},
        {Requests("get_key", "2", "1"), 1 + 4},
        {Requests("get_key", "none", "none"), 1},
        {Requests("fetch_keys", "0", "0"), 0},
        {Requests("fetch_keys", "4", "2"), 1},
        {Requests("store_keys", "0", "0"), 1},
        {Requests("other", "none", "none"), 1 + ended},
        {Requests("other", "1", "0"), rejected},
        {"counter corvane_throttled_requests_total{}", 4 - sweptServed},
        {"counter corvane_release_check_mismatches_total{}", 0},
        {"gauge corvane_open_connections{}", 0},
        {"counter corvane_units_turned_away_total{}", turnedAway},
        {"counter corvane_store_load_failures_total{}", 0},
        {"gauge corvane_process_start_time_seconds{}", start},
    };
    for (const auto& [sample, value] : expected) {
        EXPECT_EQ(last.count(sample), 1u) << sample;
        EXPECT_EQ(last.count(sample) == 1 ? last.at(sample) : -1, value) << sample;
    }
    EXPECT_TRUE(sweptServed >= 0 && sweptServed < 4) << sweptServed;
    EXPECT_EQ(rejected + ended, 1 + 240);
}
