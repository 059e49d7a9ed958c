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
