// The guards against the real service: the throttle refusing one peer past its bucket
// while serving another (its table is tested in process), and the release check.
#include "Fixture.h"
#include "service/CDelayedReplies.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <sched.h>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

// Every address of this machine is one peer: misses from three 127/8 sources and ::1 share
// one bucket. Past it the peer gets exactly a miss's answer, for a registered identifier
// too (a hit must not show through), whatever source it picks; the throttled requests hold
// no worker, so many of them at once do not keep a unit waiting that was served at its
// address before (it is served from the spare bucket).
TEST_F(TernwickTest, ThrottleCountsThisMachineAsOnePeer)
{
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"guard", "1", "4", "0", ""}), 0);
    const std::string key(32, '\x5A');
    Register("00A0B0C0D0E0", key);
    Start();
    const auto getKey = [this](const std::string& id, const char* source) {
        const bool ipv6 = std::string(source) == "::1";
        return Wire::Hex(Harness::Converse(
            m_port, Wire::Request(16) + Wire::Data(id) + Wire::Data("mask") + Wire::Ack() + Wire::Ack(),
            ipv6 ? "::1" : "127.0.0.1", ipv6 ? "" : source));
    };
    const std::string miss = Wire::Hex(NotFoundReply());
    const std::string served = Wire::Hex(GetKeyReply(key, "00A0B0C0D0E0", "mask"));
    // A hit gives its token back: the unit costs the bucket nothing.
    EXPECT_EQ(getKey("00A0B0C0D0E0", "127.0.0.9"), served);
    const bool ipv6 = Harness::IPv6LoopbackWorks();
    const char* sources[] = {"127.0.0.2", "127.0.0.3", "127.1.2.3", ipv6 ? "::1" : "127.0.0.4"};
    for (const char* source : sources) {
        EXPECT_EQ(getKey("00A0B0C0D0E1", source), miss) << source;
    }
    // Sixteen throttled requests wait at once, more than the workers there are, each from a
    // source of its own, the first for the registered ID; their peers send the ACKs ahead
    // and keep their end open, and are closed once the reply is out. All are sent before
    // any reply comes (a reply takes a second, in which the bucket would refill).
    std::vector<Harness::CPeer> waiting(16);
    for (size_t i = 0; i < waiting.size(); ++i) {
        const std::string id = i == 0 ? "00A0B0C0D0E0" : "00A0B0C0D0F" + std::to_string(i % 10);
        ASSERT_TRUE(waiting[i].Connect("127.0.0.1", m_port, "127.0.3." + std::to_string(i + 1)));
        waiting[i].Send(Wire::Request(16) + Wire::Data(id) + Wire::Data("mask") + Wire::Ack() + Wire::Ack());
    }
    const auto before = Harness::Clock::now();
    EXPECT_EQ(getKey("00A0B0C0D0E0", "127.0.0.9"), served);
    EXPECT_LT(Harness::Clock::now() - before, std::chrono::milliseconds(900)) << "the unit waited for the throttled";
    for (auto& peer : waiting) {
        bool closed = false;
        EXPECT_EQ(Wire::Hex(peer.ReadToClose(CDelayedReplies::kAckWaitMs - 1000, &closed)), miss)
            << &peer - waiting.data();
        EXPECT_TRUE(closed);
    }
    // The bucket refills: a unit at any of the sources is served again.
    std::string again;
    for (int wait = 0; wait < 10 && again != served; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        again = getKey("00A0B0C0D0E0", "127.0.0.2");
    }
    EXPECT_EQ(again, served);
    EXPECT_TRUE(m_service->WaitForLog("code 16", 1 + 4 + 1 + 1, 5000));
    EXPECT_EQ(m_service->CountLog("code 16"), 1u + 4u + 1u + 1u) << "throttled requests are not logged one by one\n"
                                                                 << m_service->Log();
}

namespace {

// Two network namespaces joined by a veth pair: the service's, with 10.77.0.1 and
// fd77::1, and a unit's, with 10.77.0.2 and fd77::2 and the link-layer address
// 02:00:00:00:00:01 (so its identifier is 020000000001), and fd77::3 for a neighbour in its
// /64. Needs root and iproute2.
class CUnitLink
{
public:
    CUnitLink() : m_server("cvs" + std::to_string(getpid())), m_unit("cvu" + std::to_string(getpid()))
    {
        if (geteuid() != 0) {
            m_problem = "needs root to make network namespaces";
            return;
        }
        const std::string s = m_server;
        const std::string u = m_unit;
        const std::vector<std::string> commands = {
            "ip netns add " + s,
            "ip netns add " + u,
            "ip link add " + s + " type veth peer name " + u,
            "ip link set " + s + " netns " + s,
            "ip link set " + u + " netns " + u,
            "ip -n " + s + " link set lo up",
            "ip -n " + u + " link set lo up",
            "ip -n " + s + " link set " + s + " address 02:00:00:00:0a:01",
            "ip -n " + u + " link set " + u + " address 02:00:00:00:00:01",
            "ip -n " + s + " addr add 10.77.0.1/24 dev " + s,
            "ip -n " + u + " addr add 10.77.0.2/24 dev " + u,
            "ip -n " + s + " addr add fd77::1/64 dev " + s + " nodad",
            "ip -n " + u + " addr add fd77::2/64 dev " + u + " nodad",
            "ip -n " + u + " addr add fd77::3/64 dev " + u + " nodad",
            "ip -n " + s + " link set " + s + " up",
            "ip -n " + u + " link set " + u + " up",
        };
        for (const std::string& command : commands) {
            if (Harness::RunQuietly(command) != 0) {
                m_problem = "cannot set up network namespaces ('" + command + "' failed)";
                return;
            }
        }
    }
    ~CUnitLink()
    {
        for (const std::string& name : {m_server, m_unit}) {
            Harness::RunQuietly("ip netns del " + name);
        }
    }
    CUnitLink(const CUnitLink&) = delete;
    CUnitLink& operator=(const CUnitLink&) = delete;

    const std::string& Problem() const { return m_problem; }

    // Runs what on a thread of its own in the service's or the unit's namespace (sockets and
    // processes it makes belong there).
    template <typename What> auto InServer(What&& what) { return In(m_server, std::forward<What>(what)); }
    template <typename What> auto InUnit(What&& what) { return In(m_unit, std::forward<What>(what)); }

private:
    template <typename What> auto In(const std::string& name, What&& what)
    {
        return std::async(std::launch::async,
                          [name, what = std::forward<What>(what)]() mutable {
                              const int fd = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
                              const bool entered = fd >= 0 && setns(fd, CLONE_NEWNET) == 0;
                              if (fd >= 0) {
                                  close(fd);
                              }
                              EXPECT_TRUE(entered) << name;
                              return what();
                          })
            .get();
    }

    std::string m_server;
    std::string m_unit;
    std::string m_problem;
};

} // namespace

// The unit whose link-layer address is the identifier gets its key in every mode; another
// unit's key is logged (log), refused as unknown (enforce), or handed out from an exempt
// subnet, over IPv4 and IPv6 alike.
TEST_F(TernwickTest, ReleaseCheckFollowsTheUnitsLinkLayerAddress)
{
    CUnitLink link;
    if (!link.Problem().empty()) {
        GTEST_SKIP() << link.Problem();
    }
    const std::string own(32, '\x11');
    const std::string other(32, '\x22');
    Register("020000000001", own);
    Register("020000000002", other);
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"guard", "10", "50", "2", ""}), 0);
    Harness::CTempDir metrics;
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"metrics-dir", metrics.Path()}), 0);
    link.InServer(
        [this] { m_service = std::make_unique<Harness::CTernwickProcess>(m_dir.Path(), m_notify.Address()); });
    ASSERT_TRUE(link.InUnit([this] { return Harness::WaitForListener(m_port, 20000, "10.77.0.1"); }))
        << m_service->Log();
    // Lines are written a little later: the listener's first must be in before they are counted.
    ASSERT_TRUE(m_service->WaitForLog("listening on port", 1, 5000));
    const auto getKey = [&](const std::string& id, const std::string& server) {
        return link.InUnit([&] {
            return Wire::Hex(Harness::Converse(
                m_port, Wire::Request(16) + Wire::Data(id) + Wire::Data("mask") + Wire::Ack() + Wire::Ack(), server));
        });
    };
    const std::string ownKey = Wire::Hex(GetKeyReply(own, "020000000001", "mask"));
    const std::string otherKey = Wire::Hex(GetKeyReply(other, "020000000002", "mask"));
    const std::string miss = Wire::Hex(NotFoundReply());
    const struct
    {
        const char* mode;
        const char* exempt;
        const char* logged; // the mode's line when the service took it
        bool otherServed;
        size_t mismatchLines; // for the two requests of another unit's key
    } cases[] = {
        {"2", "", "release check: enforce", false, 2},
        {"1", "", "release check: log", true, 2},
        {"2", "10.77.0.0/24,fd77::/64", "release check: enforce", true, 0},
        {"0", "", "release check: off", true, 0},
    };
    size_t mismatches = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("mode ") + c.mode + ", exempt " + c.exempt);
        // Every change of the settings reopens the listener, which logs the mode it took.
        const size_t opened = m_service->CountLog("listening on port");
        const size_t taken = m_service->CountLog(c.logged);
        ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"guard", "10", "50", c.mode, c.exempt}), 0);
        ASSERT_TRUE(m_service->WaitForLog("listening on port", opened + 1, 10000)) << m_service->Log();
        EXPECT_EQ(m_service->CountLog(c.logged), taken + 1);
        for (const char* server : {"10.77.0.1", "fd77::1"}) {
            EXPECT_EQ(getKey("020000000001", server), ownKey) << server;
            EXPECT_EQ(getKey("020000000002", server), c.otherServed ? otherKey : miss) << server;
        }
        mismatches += c.mismatchLines;
        const std::string mismatch = "asked for the key of \"020000000002\"";
        EXPECT_TRUE(mismatches == 0 || m_service->WaitForLog(mismatch, mismatches, 5000));
        // The requests' own lines come after their mismatch lines: all are written by now.
        EXPECT_TRUE(m_service->WaitForLog("code 16", 4 * static_cast<size_t>(&c - cases + 1), 5000));
        EXPECT_EQ(m_service->CountLog(mismatch), mismatches) << m_service->Log();
    }
    EXPECT_EQ(m_service->CountLog("asked for the key of \"020000000001\""), 0u);
    // The metrics written at the stop count every mismatch.
    EXPECT_EQ(m_service->Stop(20000), 0);
    std::ostringstream written;
    written << std::ifstream(metrics.Path() + "/corvane_keyserver.prom").rdbuf();
    EXPECT_NE(written.str().find("\ncorvane_release_check_mismatches_total " + std::to_string(mismatches) + "\n"),
              std::string::npos)
        << written.str();
}

// A sweeper empties the bucket its unit shares (the /64, or one IPv4 address as behind a
// NAT); the unit is served still: by its link-layer address matching its ID, or as served
// at its address before. The sweeper gets a miss's answer for every other registered ID.
TEST_F(TernwickTest, AUnitIsNotRefusedForASweeperBesideIt)
{
    CUnitLink link;
    if (!link.Problem().empty()) {
        GTEST_SKIP() << link.Problem();
    }
    const std::string own(32, '\x11');
    const std::string natted(32, '\x33');
    Register("020000000001", own);
    Register("020000000002", std::string(32, '\x22'));
    Register("00A0B0C0D0E0", natted);
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"guard", "1", "5", "0", ""}), 0);
    link.InServer(
        [this] { m_service = std::make_unique<Harness::CTernwickProcess>(m_dir.Path(), m_notify.Address()); });
    ASSERT_TRUE(link.InUnit([this] { return Harness::WaitForListener(m_port, 20000, "10.77.0.1"); }))
        << m_service->Log();
    const auto getKey = [&](const std::string& id, const std::string& server, const std::string& source) {
        return link.InUnit([&] {
            return Wire::Hex(Harness::Converse(
                m_port, Wire::Request(16) + Wire::Data(id) + Wire::Data("mask") + Wire::Ack() + Wire::Ack(), server,
                source));
        });
    };
    const std::string miss = Wire::Hex(NotFoundReply());
    const std::string ownKey = Wire::Hex(GetKeyReply(own, "020000000001", "mask"));
    const std::string nattedKey = Wire::Hex(GetKeyReply(natted, "00A0B0C0D0E0", "mask"));
    // A unit behind the NAT address is served once while the bucket holds tokens.
    EXPECT_EQ(getKey("00A0B0C0D0E0", "10.77.0.1", "10.77.0.2"), nattedKey);
    const struct
    {
        const char* server;
        const char* sweeper;
        const char* unit;
        const char* unitId;
        const std::string& served;
        size_t linesBefore; // of requests from the sweeper's address
    } cases[] = {
        {"fd77::1", "fd77::3", "fd77::2", "020000000001", ownKey, 0},
        {"10.77.0.1", "10.77.0.2", "10.77.0.2", "00A0B0C0D0E0", nattedKey, 1},
    };
    const std::string request = Wire::Request(16) + Wire::Data("000000000010") + Wire::Data("mask");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sweeper);
        // The sweep waits for no answer (a throttled one takes a second, in which a token
        // would come back); the five its bucket admits are logged.
        std::vector<Harness::CPeer> sweep(8);
        const std::string admitted = std::string("request from ") + c.sweeper + ": code 16";
        link.InUnit([&] {
            for (auto& peer : sweep) {
                EXPECT_TRUE(peer.Connect(c.server, m_port, c.sweeper));
                peer.Send(request + Wire::Ack() + Wire::Ack());
            }
            return 0;
        });
        ASSERT_TRUE(m_service->WaitForLog(admitted, c.linesBefore + 5, 5000)) << m_service->Log();
        Harness::CPeer probe;
        link.InUnit([&] {
            EXPECT_TRUE(probe.Connect(c.server, m_port, c.sweeper));
            return probe.Send(Wire::Request(16) + Wire::Data("020000000002") + Wire::Data("mask") + Wire::Ack() +
                              Wire::Ack());
        });
        EXPECT_EQ(getKey(c.unitId, c.server, c.unit), c.served);
        EXPECT_EQ(getKey(c.unitId, c.server, c.unit), c.served);
        EXPECT_EQ(Wire::Hex(probe.ReadToClose(5000)), miss) << "the sweeper found a key";
        for (auto& peer : sweep) {
            EXPECT_EQ(Wire::Hex(peer.ReadToClose(5000)), miss);
        }
    }
}
