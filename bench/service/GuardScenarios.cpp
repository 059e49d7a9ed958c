// The guards against peers: how fast a local user sweeps unknown IDs under the default
// throttle while a unit asks for its own key, the memory of the peer table, and what the
// release check's neighbour look-up costs.
#include "BenchKeys.h"
#include "CLatencyStats.h"
#include "ExchangeScript.h"
#include "Scenarios.h"
#include "Wire.h"
#include "net/CNeighbourTable.h"
#include "service/CPeerThrottle.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A local sweeper spreads its requests over 250 loopback addresses, 127.0.1.1 on.
constexpr int kSweepSources = 250;

// One GET_KEY from the source address, as a sweeping peer sends it (all at once, the
// ACKs included); true when the service answered and closed.
bool SweepOnce(uint16_t port, const std::string& request, const std::string& source)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    bool answered = false;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char reply[256];
        size_t got = 0;
        for (;;) {
            pollfd entry{fd, POLLIN, 0};
            if (poll(&entry, 1, 10000) <= 0) {
                break;
            }
            const ssize_t n = recv(fd, reply, sizeof reply, 0);
            if (n <= 0) {
                answered = got > 0;
                break;
            }
            got += static_cast<size_t>(n);
        }
    }
    if (fd >= 0) {
        close(fd);
    }
    return answered;
}

size_t CountLines(const std::string& path, const std::string& text)
{
    std::ifstream file(path);
    size_t count = 0;
    for (std::string line; std::getline(file, line);) {
        count += line.find(text) != std::string::npos ? 1 : 0;
    }
    return count;
}

} // namespace

int RunSweepScenario(const BenchOptions& given)
{
    BenchOptions options = given;
    char logPath[] = "/tmp/corvane-sweep-log-XXXXXX";
    const int logFd = mkstemp(logPath);
    if (logFd < 0) {
        std::printf("sweep: cannot make a log file\n");
        return 1;
    }
    close(logFd);
    options.logPath = logPath;
    CBenchSession session(options);
    session.RegisterUpTo(1);
    session.StartService();
    const uint16_t port = session.Port();
    const int sweepers = options.clients;
    // All addresses of the machine are one peer: the unit, served once before the sweep,
    // is served from then on whatever the sweep leaves in the bucket.
    const std::string mask = "bench-unit-mask";
    const LockKey sealed = SealForTransfer(BenchKey(0), BenchId(0), mask);
    CRawUnitClient(session.Address(), options.timeOutMs).GetKey(BenchId(0), mask, sealed.data());
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> answers{0};
    std::atomic<uint64_t> unanswered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < sweepers; ++t) {
        threads.emplace_back([&, t] {
            for (uint64_t i = 0; !stop; ++i) {
                const std::string request = Wire::Header(1, 16) + Wire::Data(BenchId(1000000 + i * 64 + t)) +
                                            Wire::Data("sweep-mask") + Wire::Header(3, 0) + Wire::Header(3, 0);
                const std::string source = "127.0.1." + std::to_string(1 + (i * sweepers + t) % kSweepSources);
                (SweepOnce(port, request, source) ? answers : unanswered) += 1;
            }
        });
    }
    // The unit asks for its own key every 10 ms from another address meanwhile.
    CLatencyStats unit;
    size_t unitFailures = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(options.seconds);
    while (Clock::now() < end) {
        const auto asked = Clock::now();
        if (CRawUnitClient(session.Address(), options.timeOutMs).GetKey(BenchId(0), mask, sealed.data()).Ok()) {
            unit.Record(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - asked).count());
        } else {
            ++unitFailures;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    for (auto& thread : threads) {
        thread.join();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the log's last lines
    // Only requests the service looked at are logged one by one; throttled ones are summed.
    const size_t looked = CountLines(logPath, "request from 127.0.1.");
    // The rate a sweep keeps up once the burst is spent.
    const double lookedRate = static_cast<double>(looked > 50 ? looked - 50 : 0) / seconds;
    const double sweepDays = lookedRate > 0 ? 16777216.0 / lookedRate / 86400.0 : 0;
    std::printf("sweep: a local user (from %d loopback addresses, %d connections at once) asking for unknown IDs "
                "for %.1f s with the default "
                "throttle: %.0f answers a second (%llu requests unanswered), %zu IDs looked up (the first 50 at once, "
                "then %.2f a second); a sweep "
                "of 2^24 IDs at that rate: %.1f days\n",
                kSweepSources, sweepers, seconds, static_cast<double>(answers) / seconds,
                static_cast<unsigned long long>(unanswered.load()), looked, lookedRate, sweepDays);
    std::printf("sweep: a unit (127.0.0.1) asking for its own key every 10 ms meanwhile: %zu served, %zu failed; "
                "p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                unit.Count(), unitFailures, static_cast<double>(unit.Percentile(50)) / 1e6,
                static_cast<double>(unit.Percentile(99)) / 1e6, static_cast<double>(unit.Max()) / 1e6);
    ReportTarget("2^24 sweep from one peer > 10 days", sweepDays > 10);
    ReportTarget("unit served with p99 < 10 ms during a sweep", unitFailures == 0 && unit.Percentile(99) < 10000000);
    const bool stopped = session.StopService();
    unlink(logPath);
    return stopped && unitFailures == 0 ? 0 : 1;
}

int RunPeerTableScenario(const BenchOptions&)
{
    constexpr size_t kAddresses = 100000;
    const auto used = [] {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    const size_t before = used();
    auto* throttle = new CPeerThrottle;
    throttle->Configure(10, 50);
    const auto start = Clock::now();
    for (size_t i = 0; i < kAddresses; ++i) {
        // 10.0.0.0/8 and one /64 each, half and half.
        char text[64];
        if (i % 2 == 0) {
            std::snprintf(text, sizeof text, "10.%zu.%zu.%zu", (i >> 16) & 255, (i >> 8) & 255, i & 255);
        } else {
            std::snprintf(text, sizeof text, "2001:db8:%zx:%zx::1", (i >> 16) & 0xffff, i & 0xffff);
        }
        const ZiRez::CPeerAddress peer = ZiRez::CPeerAddress::FromText(text);
        throttle->Admit(peer, CPeerThrottle::kMiss, start);
    }
    const double takeNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kAddresses;
    const size_t after = used();
    std::printf(
        "peer-table: %zu source addresses (half IPv4, half IPv6 /64s) into a table of %zu peers at most: "
        "%zu held, %.1f MiB (%.0f bytes a peer held), %.0f ns a miss (admitted and spent) with the address parsed\n",
        kAddresses, CPeerThrottle::kDefaultCapacity, throttle->Size(), static_cast<double>(after - before) / (1 << 20),
        static_cast<double>(after - before) / static_cast<double>(throttle->Size()), takeNs);
    delete throttle;
    return 0;
}

int RunNeighbourScenario(const BenchOptions& options)
{
    // A network namespace of this process alone with a veth pair and a neighbour entry.
    if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) {
        std::printf("neighbour-lookup: SKIPPED (needs root and network namespaces)\n");
        return 0;
    }
    for (const char* command :
         {"ip link set lo up", "ip link add cvb0 type veth peer name cvb1", "ip addr add 10.78.0.1/24 dev cvb0",
          "ip addr add fd78::1/64 dev cvb0 nodad", "ip link set cvb0 up", "ip link set cvb1 up",
          "ip neigh replace 10.78.0.2 lladdr 02:00:00:00:00:01 dev cvb0 nud permanent",
          "ip neigh replace fd78::2 lladdr 02:00:00:00:00:01 dev cvb0 nud permanent"}) {
        if (std::system(command) != 0) {
            std::printf("neighbour-lookup: SKIPPED ('%s' failed)\n", command);
            return 0;
        }
    }
    const auto table = ZiRez::CreateNeighbourTable();
    const int lookups = options.trials * 1000;
    for (const char* peer : {"10.78.0.2", "fd78::2"}) {
        const ZiRez::CPeerAddress address = ZiRez::CPeerAddress::FromText(peer);
        int found = 0;
        const auto start = Clock::now();
        for (int i = 0; i < lookups; ++i) {
            found += table->LinkAddressOf(address).outcome == ZiRez::CNeighbourTable::Outcome::Found ? 1 : 0;
        }
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / lookups;
        std::printf("neighbour-lookup: %s, %d look-ups (route, then neighbour entry; one netlink socket per "
                    "thread): %d found, %.2f us each\n",
                    peer, lookups, found, us);
        if (found != lookups) {
            return 1;
        }
    }
    return 0;
}
