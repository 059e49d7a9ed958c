// The key-list snapshot, the request log and the throttle's table on a clock the test
// sets, inside this process (its store is the private one that main sets up).
#include "CCountingStore.h"
#include "Wire.h"
#include "keys/AsciiCase.h"
#include "service/CKeyListCache.h"
#include "service/CPeerThrottle.h"
#include "service/CRequestLog.h"
#include "settings/CKeyStore.h"
#include "settings/CSettingsStore.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

// Two snapshots taken while the store's version stood still: the same one unless the list
// was loaded again for nothing. On Windows the registry's notification moves the version a
// moment after a write, and until the cache's watch is armed the version is unknown.
void ExpectNoReloadWhileUnchanged(CKeyStore& store, CKeyListCache& cache, const char* what)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const uint64_t before = store.KeyListVersion();
        const auto first = cache.Current();
        const auto second = cache.Current();
        if (before != 0 && store.KeyListVersion() == before) {
            EXPECT_EQ(first.get(), second.get()) << what;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "the key list's version never stood still";
}

} // namespace

TEST(KeyListCache, ReloadsOnlyWhenTheListChanged)
{
    CKeyStore store;
    ASSERT_EQ(store.CreateLayout(), 1);
    CKeyListCache cache(store);
    const auto first = cache.Current();
    ExpectNoReloadWhileUnchanged(store, cache, "an unchanged list must not be loaded again");

    CKeyRecord record;
    record.SetId("0011223344AA");
    const std::string key = Wire::Key(42);
    record.SetKey(key.data());
    ASSERT_EQ(store.StoreKey(record), 1);
    const auto added = cache.Current();
    ASSERT_EQ(added->count("0011223344AA"), 1u);
    EXPECT_EQ(added->at("0011223344AA").GetKey().View(), key);
    ExpectNoReloadWhileUnchanged(store, cache, "the changed list is loaded once");

    // Exactly what a fresh load gives.
    const auto fresh = store.LoadKeyList();
    ASSERT_EQ(fresh.size(), added->size());
    for (const auto& [id, entry] : fresh) {
        ASSERT_EQ(added->count(id), 1u) << id;
        EXPECT_EQ(added->at(id).GetKey(), entry.GetKey()) << id;
    }

    ASSERT_EQ(store.DeleteKey("0011223344AA"), 1);
    EXPECT_EQ(cache.Current()->count("0011223344AA"), 0u);
    EXPECT_EQ(first->count("0011223344AA"), 0u) << "a snapshot handed out never changes";
}

TEST(KeyListCache, AFailedLoadIsNotTakenForAnEmptyList)
{
    CKeyStore store;
    ASSERT_EQ(store.CreateLayout(), 1);
    const auto storeKey = [&store](const std::string& id, unsigned char seed) {
        CKeyRecord record;
        record.SetId(id);
        const std::string key = Wire::Key(seed);
        record.SetKey(key.data());
        return store.StoreKey(record);
    };
    ASSERT_EQ(storeKey("00A0B0C0D0E1", 1), 1);
    CSettingsStore& real = SettingsStore();
    CCountingStore faulty(real);
    faulty.failOpensOf = LowerAscii(CKeyStore::kKeyListPath);
    SetSettingsStoreForTesting(&faulty);
    const auto retry = std::chrono::milliseconds(200);
    CKeyListCache cache(store, retry);
    EXPECT_EQ(cache.Current()->size(), 1u);

    // The list changed, and the load that follows fails once: the requests meanwhile are
    // served from the last list loaded, and the store is not asked again at once.
    ASSERT_EQ(storeKey("00A0B0C0D0E2", 2), 1);
    faulty.failOpens = 1;
    const auto failedAt = std::chrono::steady_clock::now();
    const auto during = cache.Current();
    const int opens = faulty.openCalls;
    const auto again = cache.Current();
    const bool withinRetry = std::chrono::steady_clock::now() - failedAt < retry;
    const int opensAgain = faulty.openCalls;
    SetSettingsStoreForTesting(&real);
    EXPECT_EQ(during->size(), 1u) << "a failed load must not be taken for an empty list";
    EXPECT_EQ(again->size(), 1u);
    if (withinRetry) {
        EXPECT_EQ(opensAgain, opens) << "the store was asked again within the retry interval";
    }
    std::this_thread::sleep_for(retry);
    EXPECT_EQ(cache.Current()->size(), 2u);
    // Each failed load is counted for the metrics, a retry that succeeded not.
    EXPECT_EQ(cache.FailedLoadCount(), 1u);
}

TEST(RequestLog, EscapesPeerBytesAndShortensThem)
{
    CRequestLog log("192.0.2.7");
    log.SetCode(512);
    log.AddId("AB\n\"\\\x01");
    log.AddId(std::string(100, 'C'));
    for (int i = 0; i < 5; ++i) {
        log.AddId("D");
    }
    log.AddStatus(2, 4);
    log.AddStatus(0, 0);
    const std::string line = log.Line();
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line, "request from 192.0.2.7: code 512, ids \"AB\\x0A\\x22\\x5C\\x01\", \"" + std::string(64, 'C') +
                        "...(100 bytes)\", \"D\", \"D\" and 3 more, status (2, 4) (0, 0)");

    CRequestLog failed("::1");
    failed.SetError("No Data Error!");
    EXPECT_EQ(failed.Line(), "request from ::1: code none, status none, ended by \"No Data Error!\"");
}

namespace {

using ZiRez::CPeerAddress;
using Clock = CPeerThrottle::Clock;

// Every admission takes a token; a hit gives it back, a miss keeps it, and a request still
// running (its outcome unknown) holds it.
enum class Act
{
    Miss,
    Hit,
    Running,
};

struct Step
{
    const char* peer;
    CPeerThrottle::Kind kind;
    int atMs;
    Act act;
    bool admitted;
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
         {{"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, false},
          {"192.0.2.1", kMiss, 50, Act::Miss, false},
          {"192.0.2.1", kMiss, 100, Act::Miss, true},
          {"192.0.2.1", kMiss, 100, Act::Miss, false},
          // A long pause fills the bucket to its size, no further.
          {"192.0.2.1", kMiss, 60000, Act::Miss, true},
          {"192.0.2.1", kMiss, 60000, Act::Miss, true},
          {"192.0.2.1", kMiss, 60000, Act::Miss, true},
          {"192.0.2.1", kMiss, 60000, Act::Miss, false}}},
        {"a hit spends nothing; kinds and other peers keep their own",
         16,
         1,
         2,
         {{"192.0.2.1", kMiss, 0, Act::Hit, true},
          {"192.0.2.1", kMiss, 0, Act::Hit, true},
          {"192.0.2.1", kMiss, 0, Act::Hit, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, false},
          {"192.0.2.1", kMiss, 0, Act::Hit, false}, // an empty bucket admits no hit either
          {"192.0.2.1", kPassword, 0, Act::Miss, true},
          {"192.0.2.2", kMiss, 0, Act::Miss, true}}},
        {"requests running together take no more than the bucket holds",
         16,
         1,
         2,
         {{"192.0.2.1", kMiss, 0, Act::Running, true},
          {"192.0.2.1", kMiss, 0, Act::Running, true},
          {"192.0.2.1", kMiss, 0, Act::Running, false},
          {"192.0.2.1", kPassword, 0, Act::Running, true}}},
        {"an IPv6 /64 is one peer; an IPv4-mapped address is its IPv4 address",
         16,
         1,
         1,
         {{"2001:db8:1:2::1", kMiss, 0, Act::Miss, true},
          {"2001:db8:1:2:ffff:ffff:ffff:ffff", kMiss, 0, Act::Miss, false},
          {"2001:db8:1:3::1", kMiss, 0, Act::Miss, true},
          {"::ffff:192.0.2.7", kMiss, 0, Act::Miss, true},
          {"192.0.2.7", kMiss, 0, Act::Miss, false},
          {"192.0.2.8", kMiss, 0, Act::Miss, true}}},
        {"the peer used least recently makes room",
         2,
         1,
         1,
         {{"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.2", kMiss, 1, Act::Miss, true},
          {"192.0.2.1", kMiss, 2, Act::Miss, false}, // .1 is now the more recent
          {"192.0.2.3", kMiss, 3, Act::Miss, true},  // evicts .2
          {"192.0.2.1", kMiss, 4, Act::Miss, false},
          {"192.0.2.2", kMiss, 5, Act::Miss, true}}}, // anew, with a full bucket
        {"rate 0 throttles nothing",
         16,
         0,
         1,
         {{"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true},
          {"192.0.2.1", kMiss, 0, Act::Miss, true}}},
    };
    for (const Scenario& scenario : scenarios) {
        CPeerThrottle throttle(scenario.capacity);
        throttle.Configure(scenario.perSecond, scenario.burst);
        const Clock::time_point start = Clock::now();
        for (size_t i = 0; i < scenario.steps.size(); ++i) {
            const Step& step = scenario.steps[i];
            const CPeerAddress peer = CPeerAddress::FromText(step.peer);
            ASSERT_NE(peer.Family(), 0) << step.peer;
            const bool admitted = throttle.Admit(peer, step.kind, start + std::chrono::milliseconds(step.atMs));
            EXPECT_EQ(admitted, step.admitted) << scenario.name << ", step " << i;
            if (admitted && step.act == Act::Hit) {
                throttle.Refund(peer, step.kind);
            }
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
    // The loopback party stands for all of this machine's addresses.
    const CPeerAddress guesser = CPeerAddress::FromText("127.0.0.1");
    const auto miss = [&throttle](const CPeerAddress& peer, CPeerThrottle::Kind kind, Clock::time_point at) {
        return throttle.Admit(peer, kind, at);
    };
    for (int i = 0; i < 4; ++i) {
        miss(sweeper, kMiss, start);
        miss(guesser, kPassword, start);
    }
    miss(sweeper, kPassword, start);
    EXPECT_EQ(throttle.TakeThrottledCount(), 3u + 3u);
    EXPECT_TRUE(throttle.TakeSummaries(start + std::chrono::seconds(59)).empty());
    auto lines = throttle.TakeSummaries(start + std::chrono::seconds(60));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "throttled 2001:db8:5:6::/64 in the last minute: 3 unknown-ID requests, 0 password attempts",
                         "throttled this machine in the last minute: 0 unknown-ID requests, 3 password attempts",
                     }));
    EXPECT_TRUE(throttle.TakeSummaries(start + std::chrono::seconds(200)).empty());
    // A peer evicted with throttled requests not yet summed up has its line at once.
    miss(guesser, kPassword, start + std::chrono::seconds(200));
    EXPECT_FALSE(miss(guesser, kPassword, start + std::chrono::seconds(200)));
    miss(CPeerAddress::FromText("192.0.2.10"), kMiss, start + std::chrono::seconds(201));
    miss(CPeerAddress::FromText("192.0.2.11"), kMiss, start + std::chrono::seconds(202));
    EXPECT_EQ(throttle.TakeSummaries(start + std::chrono::seconds(202)),
              (std::vector<std::string>{
                  "throttled this machine in the last minute: 0 unknown-ID requests, 1 password attempts"}));
}
