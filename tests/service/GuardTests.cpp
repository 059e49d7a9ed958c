// The throttle per peer: its table in process on a clock the test sets, and the real
// service refusing one peer past its bucket while serving another.
#include "Fixture.h"
#include "service/CPeerThrottle.h"

#include <algorithm>
#include <future>
#include <thread>
#include <vector>

namespace {

using ZiRez::CPeerAddress;
using Clock = CPeerThrottle::Clock;

enum class Act
{
    Take,
    GiveBack,
};

struct Step
{
    const char* peer;
    CPeerThrottle::Kind kind;
    int atMs;
    Act act;
    bool expected; // of Take
};

struct Scenario
{
    const char* name;
    size_t capacity;
    uint32_t perSecond;
    uint32_t burst;
    std::vector<Step> steps;
};

constexpr auto kMiss = CPeerThrottle::kMiss;
constexpr auto kPassword = CPeerThrottle::kWrongPassword;

} // namespace

TEST(PeerThrottle, BucketsPerPeerOnAClockTheTestSets)
{
    const std::vector<Scenario> scenarios = {
        {"burst, then one token per tenth of a second",
         16,
         10,
         3,
         {{"192.0.2.1", kMiss, 0, Act::Take, true},
          {"192.0.2.1", kMiss, 0, Act::Take, true},
          {"192.0.2.1", kMiss, 0, Act::Take, true},
          {"192.0.2.1", kMiss, 0, Act::Take, false},
          {"192.0.2.1", kMiss, 50, Act::Take, false},
          {"192.0.2.1", kMiss, 100, Act::Take, true},
          {"192.0.2.1", kMiss, 100, Act::Take, false},
          // A long pause fills the bucket to its size, no further.
          {"192.0.2.1", kMiss, 60000, Act::Take, true},
          {"192.0.2.1", kMiss, 60000, Act::Take, true},
          {"192.0.2.1", kMiss, 60000, Act::Take, true},
          {"192.0.2.1", kMiss, 60000, Act::Take, false}}},
        {"a hit gives its token back; kinds and other peers keep their own",
         16,
         1,
         2,
         {{"192.0.2.1", kMiss, 0, Act::Take, true},
          {"192.0.2.1", kMiss, 0, Act::GiveBack, true},
          {"192.0.2.1", kMiss, 0, Act::Take, true},
          {"192.0.2.1", kMiss, 0, Act::Take, true},
          {"192.0.2.1", kMiss, 0, Act::Take, false},
          {"192.0.2.1", kPassword, 0, Act::Take, true},
          {"192.0.2.2", kMiss, 0, Act::Take, true}}},
        {"an IPv6 /64 is one peer; an IPv4-mapped address is its IPv4 address",
         16,
         1,
         1,
         {{"2001:db8:1:2::1", kMiss, 0, Act::Take, true},
          {"2001:db8:1:2:ffff:ffff:ffff:ffff", kMiss, 0, Act::Take, false},
          {"2001:db8:1:3::1", kMiss, 0, Act::Take, true},
          {"::ffff:192.0.2.7", kMiss, 0, Act::Take, true},
          {"192.0.2.7", kMiss, 0, Act::Take, false},
          {"192.0.2.8", kMiss, 0, Act::Take, true}}},
        {"the peer used least recently makes room",
         2,
         1,
         1,
         {{"192.0.2.1", kMiss, 0, Act::Take, true},
          {"192.0.2.2", kMiss, 1, Act::Take, true},
          {"192.0.2.1", kMiss, 2, Act::Take, false}, // .1 is now the more recent
          {"192.0.2.3", kMiss, 3, Act::Take, true},  // evicts .2
          {"192.0.2.1", kMiss, 4, Act::Take, false},
          {"192.0.2.2", kMiss, 5, Act::Take, true}}}, // anew, with a full bucket
        {"rate 0 throttles nothing",
         16,
         0,
         1,
         {{"192.0.2.1", kMiss, 0, Act::Take, true},
          {"192.0.2.1", kMiss, 0, Act::Take, true},
          {"192.0.2.1", kMiss, 0, Act::Take, true}}},
    };
    for (const Scenario& scenario : scenarios) {
        CPeerThrottle throttle(scenario.capacity);
        throttle.Configure(scenario.perSecond, scenario.burst);
        const Clock::time_point start = Clock::now();
        for (size_t i = 0; i < scenario.steps.size(); ++i) {
            const Step& step = scenario.steps[i];
            const CPeerAddress peer = CPeerAddress::FromText(step.peer);
            ASSERT_NE(peer.Family(), 0) << step.peer;
            if (step.act == Act::GiveBack) {
                throttle.GiveBack(peer, step.kind);
                continue;
            }
            EXPECT_EQ(throttle.Take(peer, step.kind, start + std::chrono::milliseconds(step.atMs)), step.expected)
                << scenario.name << ", step " << i;
        }
        EXPECT_LE(throttle.Size(), scenario.capacity) << scenario.name;
    }
}

TEST(PeerThrottle, ThrottledRequestsAreSummedUpOncePerPeerAndMinute)
{
    CPeerThrottle throttle(2);
    throttle.Configure(1, 1);
    const Clock::time_point start = Clock::now();
    const CPeerAddress sweeper = CPeerAddress::FromText("2001:db8:5:6::9");
    const CPeerAddress guesser = CPeerAddress::FromText("192.0.2.9");
    for (int i = 0; i < 4; ++i) {
        throttle.Take(sweeper, kMiss, start);
        throttle.Take(guesser, kPassword, start);
    }
    throttle.Take(sweeper, kPassword, start);
    EXPECT_EQ(throttle.TakeThrottledCount(), 3u + 3u);
    EXPECT_TRUE(throttle.TakeSummaries(start + std::chrono::seconds(59)).empty());
    auto lines = throttle.TakeSummaries(start + std::chrono::seconds(60));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "throttled 192.0.2.9 in the last minute: 0 unknown-ID requests, 3 password attempts",
                         "throttled 2001:db8:5:6::/64 in the last minute: 3 unknown-ID requests, 0 password attempts",
                     }));
    EXPECT_TRUE(throttle.TakeSummaries(start + std::chrono::seconds(200)).empty());
    // A peer evicted with throttled requests not yet summed up has its line at once.
    throttle.Take(guesser, kPassword, start + std::chrono::seconds(200));
    EXPECT_FALSE(throttle.Take(guesser, kPassword, start + std::chrono::seconds(200)));
    throttle.Take(CPeerAddress::FromText("192.0.2.10"), kMiss, start + std::chrono::seconds(201));
    throttle.Take(CPeerAddress::FromText("192.0.2.11"), kMiss, start + std::chrono::seconds(202));
    EXPECT_EQ(throttle.TakeSummaries(start + std::chrono::seconds(202)),
              (std::vector<std::string>{
                  "throttled 192.0.2.9 in the last minute: 0 unknown-ID requests, 1 password attempts"}));
}

// Past its bucket a peer gets exactly a miss's answer, for a registered identifier too
// (a hit must not show through), while another peer is served; the throttled requests
// hold no worker, so many of them at once do not keep the other peer waiting.
TEST_F(TernwickTest, ThrottleRefusesOnePeerPastItsBucketAndServesAnother)
{
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"guard", "1", "3", "0", ""}), 0);
    const std::string key(32, '\x5A');
    Register("00A0B0C0D0E0", key);
    Start();
    const auto getKey = [this](const std::string& id, const char* source) {
        return Wire::Hex(Harness::Converse(
            m_port, Wire::Request(16) + Wire::Data(id) + Wire::Data("mask") + Wire::Ack() + Wire::Ack(), "127.0.0.1",
            source));
    };
    const std::string miss = Wire::Hex(NotFoundReply());
    const std::string served = Wire::Hex(GetKeyReply(key, "00A0B0C0D0E0", "mask"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(getKey("00A0B0C0D0E" + std::to_string(i + 1), "127.0.0.2"), miss) << i;
    }
    EXPECT_EQ(getKey("00A0B0C0D0E0", "127.0.0.2"), miss) << "a throttled peer must not learn of a hit";
    // Sixteen throttled requests wait at once, more than the workers there are.
    std::vector<std::future<std::string>> waiting;
    for (int i = 0; i < 16; ++i) {
        waiting.push_back(std::async(std::launch::async, getKey, "00A0B0C0D0F" + std::to_string(i % 10), "127.0.0.2"));
    }
    EXPECT_EQ(getKey("00A0B0C0D0E0", "127.0.0.3"), served);
    EXPECT_EQ(getKey("00A0B0C0D0E9", "127.0.0.3"), miss);
    for (auto& reply : waiting) {
        EXPECT_EQ(reply.get(), miss);
    }
    // The peer's bucket refills: a unit behind it is served again.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(getKey("00A0B0C0D0E0", "127.0.0.2"), served);
    EXPECT_TRUE(m_service->WaitForLog("code 16", 3 + 3, 5000));
    EXPECT_EQ(m_service->CountLog("code 16"), 3u + 3u) << "throttled requests are not logged one by one";
}
