// Faults that must never cost a unit its key: a stalled log, hostile pushers holding
// memory, a push large enough to outlast the requester's patience.
#include "Fixture.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Wire;

namespace {

const std::string kId = "00A0B0C0D0E0";
const std::string kMask = "0123456789abcdef0123456789abcdef";
const std::string kPassword = "Coop-Pass-7";

// Reads the FIFO until the text arrived or the time ran out; returns what was read.
std::string ReadUntil(int fd, const std::string& text, int timeOutMs)
{
    const auto deadline = Harness::Clock::now() + std::chrono::milliseconds(timeOutMs);
    std::string bytes;
    while (bytes.find(text) == std::string::npos && Harness::RemainingMs(deadline) > 0) {
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, Harness::RemainingMs(deadline)) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EAGAIN) {
            break;
        }
    }
    return bytes;
}

void ExpectChecksAnswered(uint16_t port, int count)
{
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(Hex(Harness::Converse(port, Request(1) + Ack())), Hex(Ack() + Status(0, 0))) << "check " << i;
    }
}

} // namespace

TEST_F(TernwickTest, AStalledLogHoldsUpNeitherUnitsNorTheListenerNorAStop)
{
    const std::string fifo = m_dir.Path() + "/stderr.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Held open and never read: the log stalls once the pipe's one page is full.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    fcntl(reader, F_SETPIPE_SZ, 4096);
    // Under this descriptor limit the service allows 236 connections at once.
    m_service = std::make_unique<Harness::CTernwickProcess>(m_dir.Path(), m_notify.Address(), 300, fifo);
    ASSERT_TRUE(Harness::WaitForListener(m_port, 20000));

    ExpectChecksAnswered(m_port, 600);
    EXPECT_LE(m_service->ThreadCount(), 236 + 16) << "threads pile up behind the log";
    // Requests whose lines are long (four escaped identifiers) fill what the log holds.
    const std::string id = Data(std::string(64, '\x01'));
    for (int i = 0; i < 400; ++i) {
        Harness::Converse(m_port, Request(256) + Data("pw") + Int(4) + id + id + id + id);
    }

    const uint16_t newPort = Harness::FreePort();
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"port", std::to_string(newPort)}), 0);
    ASSERT_TRUE(Harness::WaitForListener(newPort, 10000)) << "the listener did not move";

    // Once the log drains, it says how many lines it could not keep.
    const std::string drained = ReadUntil(reader, " log lines dropped\n", 10000);
    EXPECT_NE(drained.find(" log lines dropped\n"), std::string::npos) << drained;
    for (const char* report : {"Sanitizer", "runtime error:"}) {
        EXPECT_EQ(drained.find(report), std::string::npos) << drained;
    }

    ExpectChecksAnswered(newPort, 200);
    m_service->Signal(SIGTERM);
    const auto status = m_service->WaitExit(10000);
    ASSERT_TRUE(status) << "a stop must not wait for a stalled log";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    close(reader);
}

TEST_F(TernwickTest, HostilePushersAreClosedLargestFirstAtTheBoundWhileUnitsAreServed)
{
    Harness::RaiseDescriptorLimit();
    Register(kId, Key(3));
    Start();
    // Requests of ids that never end, each holding what it sent: large ones of 15 items
    // of 64 KiB, small ones of 8. Together they hold more than all connections may.
    const std::string item = Data(std::string(65536, 'H'));
    const auto push = [&item](Harness::CPeer& peer, int items) {
        std::string bytes = Request(256) + Data("pw") + Int(16);
        for (int i = 0; i < items; ++i) {
            bytes += item;
        }
        return peer.Send(bytes);
    };
    constexpr int kPairs = 48;
    std::vector<Harness::CPeer> large(kPairs);
    std::vector<Harness::CPeer> small(kPairs);
    for (int i = 0; i < kPairs; ++i) {
        ASSERT_TRUE(large[i].Connect("127.0.0.1", m_port));
        push(large[i], 15);
        ASSERT_TRUE(small[i].Connect("127.0.0.1", m_port));
        ASSERT_TRUE(push(small[i], 8)) << "a small pusher was refused: " << i;
        if (i == kPairs / 2) {
            EXPECT_EQ(Hex(GetKey(kId, kMask)), Hex(GetKeyReply(Key(3), kId, kMask)));
        }
    }
    ASSERT_TRUE(m_service->WaitForLog("received items of all connections at their bound", 4, 20000))
        << m_service->Log();
    EXPECT_EQ(Hex(GetKey(kId, kMask)), Hex(GetKeyReply(Key(3), kId, kMask)));

    // Every item is acknowledged before any close: once all acknowledgements are in, every
    // close has happened, and a connection that is readable has been closed.
    std::vector<bool> cut;
    for (int i = 0; i < 2 * kPairs; ++i) {
        const size_t acks = (3 + (i % 2 == 0 ? 15u : 8u)) * 8;
        cut.push_back((i % 2 == 0 ? large : small)[i / 2].Read(acks, 20000).size() < acks);
    }
    size_t largeClosed = 0;
    for (int i = 0; i < kPairs; ++i) {
        largeClosed += cut[2 * i] || !large[i].StaysQuiet(0) ? 1 : 0;
        EXPECT_FALSE(cut[2 * i + 1] || !small[i].StaysQuiet(0)) << "a smaller holder was closed: " << i;
    }
    // What the open ones still hold fits the bound (64 MiB), counting payload alone.
    const size_t held = (kPairs - largeClosed) * 15 * 65536 + kPairs * 8 * 65536;
    EXPECT_LE(held, size_t{64} << 20) << largeClosed << " closed";
    EXPECT_FALSE(m_service->WaitExit(0));
}

// Many pushes of 1 MiB, each sent half (its ninth item announced, half of it sent): the
// memory the service ever held stays within its bound over what it held before, while a
// unit is served.
TEST_F(TernwickTest, HalfSentPushesHoldTheServiceWithinItsMemoryBound)
{
    Harness::RaiseDescriptorLimit();
    Register(kId, Key(3));
    Start();
    ExpectChecksAnswered(m_port, 1);
    const long before = m_service->ResidentKiB();
    std::string half = Request(256) + Data("pw") + Int(8);
    for (int i = 0; i < 8; ++i) {
        half += Data(std::string(65536, 'H'));
    }
    half += Data(std::string(65536, 'h')).substr(0, 8 + 32768);
    constexpr int kPushers = 240;
    std::vector<Harness::CPeer> pushers(kPushers);
    for (auto& pusher : pushers) {
        ASSERT_TRUE(pusher.Connect("127.0.0.1", m_port));
        pusher.Send(half);
    }
    EXPECT_EQ(Hex(GetKey(kId, kMask)), Hex(GetKeyReply(Key(3), kId, kMask)));
    ASSERT_TRUE(m_service->WaitForLog("received items of all connections at their bound", 100, 30000))
        << m_service->Log();
    const long peak = m_service->PeakResidentKiB();
    const long threads = m_service->ThreadCount();
    // Besides the items: the workers' stacks and buffers. A sanitizer's own memory (shadow,
    // quarantine of freed blocks) would hide the service's.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LE(peak - before, (64 + 26) * 1024) << "KiB, with " << threads << " threads";
#else
    (void)before;
    (void)peak;
    (void)threads;
#endif
}

TEST_F(TernwickTest, APushOfTenThousandKeysIsOneTransactionThatSurvivesAKill)
{
    SetPassword(kPassword);
    // The store's version then moves by the number of changes made after this one.
    Register(kId, Key(1));
    Start();
    std::string before;
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"version"}, &before), 0);

    constexpr int kKeys = 10000;
    const auto idOf = [](int i) {
        char id[13];
        std::snprintf(id, sizeof id, "00A0%08X", static_cast<unsigned>(i));
        return std::string(id);
    };
    std::string request = Request(512) + Data(Password(kPassword, kMask)) + Int(kKeys);
    for (int i = 0; i < kKeys; ++i) {
        request += Data(idOf(i)) + Data(Seal(Key(static_cast<unsigned char>(i)), idOf(i), kMask));
    }
    request += Data(kMask);
    Harness::CPeer peer;
    ASSERT_TRUE(peer.Connect("127.0.0.1", m_port));
    // Sent while the acknowledgements are read, as a requester does.
    std::thread sender([&peer, &request] { peer.Send(request); });
    const size_t acks = 2 * kKeys + 4;
    const std::string reply = peer.Read(acks * 8 + 32, 60000);
    sender.join();
    ASSERT_EQ(reply.size(), acks * 8 + 32);
    EXPECT_EQ(Hex(reply.substr(acks * 8)), Hex(Status(0, 0)));
    peer.Send(Ack());
    m_service->Signal(SIGKILL);
    ASSERT_TRUE(m_service->WaitExit(10000));

    std::string after;
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"version"}, &after), 0);
    EXPECT_EQ(std::stoull(after) - std::stoull(before), 1u) << "more than one change";
    std::string count;
    ASSERT_EQ(Harness::StoreTool(m_dir.Path(), {"count"}, &count), 0);
    EXPECT_EQ(count, std::to_string(kKeys + 1) + "\n");
    for (const int i : {0, 4321, kKeys - 1}) {
        EXPECT_EQ(StoredKey(idOf(i)), Hex(Key(static_cast<unsigned char>(i)))) << idOf(i);
    }
}
