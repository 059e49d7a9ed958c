// A peer sweeping unknown IDs under the default throttle while a unit asks for its own key:
// a local user from 250 loopback addresses (all of this machine's are one peer), a sweeper
// in the unit's IPv6 /64, and one behind the same IPv4 address as the unit (a NAT).
#include "BenchKeys.h"
#include "CLatencyStats.h"
#include "CPeerNetwork.h"
#include "Scenarios.h"
#include "Wire.h"
#include "settings/CMetricsSettings.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kUnitMask = "bench-unit-mask";

struct SSweepCase
{
    const char* name;
    std::vector<std::string> sweepers; // the sweeper's source addresses, taken in turn
    std::string sweeperText;
    std::string sweeperLog; // how its address begins the service's log lines
    std::string unit;       // the unit's source address
    std::string unitText;
    std::string service; // the service's address as they reach it
    // The network namespaces of the service and of the peers: this process's when empty.
    std::string serviceNamespace = {};
    std::string peerNamespace = {};
};

struct SSweepFigures
{
    uint64_t answers = 0;
    uint64_t unanswered = 0;
    double seconds = 0;
    CLatencyStats unit;
    size_t unitFailures = 0;
};

// One GET_KEY from the source, as a sweeping peer sends it (all at once, the ACKs
// included); true when the service answered and closed.
bool SweepOnce(const ServiceAddress& service, const ServiceAddress& source, const std::string& request)
{
    const int fd = socket(service.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool answered = false;
    if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&source.storage), source.length) == 0 &&
        connect(fd, reinterpret_cast<const sockaddr*>(&service.storage), service.length) == 0 &&
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

// Runs on a thread of its own, in the peers' namespace.
SSweepFigures Sweep(const SSweepCase& sweep, uint16_t port, const BenchOptions& options)
{
    CPeerNetwork::Enter(sweep.peerNamespace);
    const ServiceAddress service = ServiceAddress::Of(sweep.service, port);
    std::vector<ServiceAddress> sources;
    for (const std::string& source : sweep.sweepers) {
        sources.push_back(ServiceAddress::Of(source, 0));
    }
    const CRawUnitClient unit(service, options.timeOutMs, false, ServiceAddress::Of(sweep.unit, 0));
    const LockKey sealed = SealForTransfer(BenchKey(0), BenchId(0), kUnitMask);
    SSweepFigures figures;
    // Each address heard once before the sweep (a CHECK takes no token), so that neither
    // side waits for neighbour discovery when it starts.
    for (const ServiceAddress& source : sources) {
        CRawUnitClient(service, options.timeOutMs, false, source).Check();
    }
    // Served once before the sweep: from then on the unit is served at its address whatever
    // the sweep leaves in the bucket they share.
    figures.unitFailures += unit.GetKey(BenchId(0), kUnitMask, sealed.data()).Ok() ? 0 : 1;
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> answers{0};
    std::atomic<uint64_t> unanswered{0};
    std::vector<std::thread> threads;
    const int sweepers = options.clients;
    for (int t = 0; t < sweepers; ++t) {
        threads.emplace_back([&, t] {
            for (uint64_t i = 0; !stop; ++i) {
                const std::string request = Wire::Header(1, 16) + Wire::Data(BenchId(1000000 + i * 64 + t)) +
                                            Wire::Data("sweep-mask") + Wire::Header(3, 0) + Wire::Header(3, 0);
                const ServiceAddress& source = sources[(i * sweepers + t) % sources.size()];
                (SweepOnce(service, source, request) ? answers : unanswered) += 1;
            }
        });
    }
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(options.seconds);
    while (Clock::now() < end) {
        const auto asked = Clock::now();
        if (unit.GetKey(BenchId(0), kUnitMask, sealed.data()).Ok()) {
            figures.unit.Record(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - asked).count());
        } else {
            ++figures.unitFailures;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    for (auto& thread : threads) {
        thread.join();
    }
    figures.answers = answers;
    figures.unanswered = unanswered;
    return figures;
}

// GET_KEY lines from the sweeper (the unit's ID excluded: behind a NAT it has its address).
size_t CountLookUps(const std::string& log, const std::string& from, const std::string& unitId)
{
    std::istringstream lines(log);
    size_t count = 0;
    for (std::string line; std::getline(lines, line);) {
        const bool sweeper = line.find("request from " + from) != std::string::npos &&
                             line.find(": code 16,") != std::string::npos &&
                             line.find("\"" + unitId + "\"") == std::string::npos;
        count += sweeper ? 1 : 0;
    }
    return count;
}

// The service's own count, from the metrics it writes at its stop; -1 when not found.
long long ThrottledCount(const std::string& metricsDir)
{
    std::ifstream file(metricsDir + "/" + CMetricsSettings::kFileName);
    const std::string name = "corvane_throttled_requests_total ";
    for (std::string line; std::getline(file, line);) {
        if (line.compare(0, name.size(), name) == 0) {
            return std::stoll(line.substr(name.size()));
        }
    }
    return -1;
}

// Starts the service in the case's namespace, sweeps, stops it; prints the figures. True
// when the unit was always served and the service stopped cleanly.
bool RunCase(CBenchSession& session, const SSweepCase& sweep, const BenchOptions& options,
             const std::string& metricsDir)
{
    // What an earlier case's service wrote must not stand in for this one's.
    std::filesystem::remove(metricsDir + "/" + CMetricsSettings::kFileName);
    std::async(std::launch::async, [&] {
        CPeerNetwork::Enter(sweep.serviceNamespace);
        session.StartService();
    }).get();
    const SSweepFigures figures = std::async(std::launch::async, Sweep, sweep, session.Port(), options).get();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the log's last lines
    // Requests the service looked at are logged one by one; throttled ones are not.
    const size_t looked = CountLookUps(session.Service().OwnLog(), sweep.sweeperLog, BenchId(0));
    const bool stopped = session.StopService();
    const long long throttled = ThrottledCount(metricsDir);
    // The rate a sweep keeps up once the burst is spent.
    const double lookedRate = static_cast<double>(looked > 50 ? looked - 50 : 0) / figures.seconds;
    const double sweepDays = lookedRate > 0 ? 16777216.0 / lookedRate / 86400.0 : 0;
    std::printf("sweep %s: a sweeper (%s, %d connections at once) asking for unknown IDs for %.1f s with the "
                "default throttle: %.0f answers a second (%llu requests unanswered), %zu IDs looked up (the first 50 "
                "at once, then %.2f a second), %lld throttled (the service's count); a sweep of 2^24 IDs at that "
                "rate: %.1f days\n",
                sweep.name, sweep.sweeperText.c_str(), options.clients, figures.seconds,
                static_cast<double>(figures.answers) / figures.seconds,
                static_cast<unsigned long long>(figures.unanswered), looked, lookedRate, throttled, sweepDays);
    std::printf("sweep %s: a unit (%s) asking for its own key every 10 ms meanwhile: %zu served, %zu failed; "
                "p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                sweep.name, sweep.unitText.c_str(), figures.unit.Count(), figures.unitFailures,
                static_cast<double>(figures.unit.Percentile(50)) / 1e6,
                static_cast<double>(figures.unit.Percentile(99)) / 1e6, static_cast<double>(figures.unit.Max()) / 1e6);
    const std::string days = std::string("2^24 sweep from one peer (") + sweep.name + ") > 10 days";
    ReportTarget(days.c_str(), sweepDays > 10);
    const std::string unit = std::string("unit served with p99 < 10 ms during a sweep (") + sweep.name + ")";
    ReportTarget(unit.c_str(), figures.unitFailures == 0 && figures.unit.Percentile(99) < 10000000);
    std::fflush(stdout);
    return stopped && figures.unitFailures == 0;
}

} // namespace

int RunSweepScenario(const BenchOptions& options)
{
    CBenchSession session(options);
    session.RegisterUpTo(1);
    Harness::CTempDir metrics;
    if (CMetricsSettings::Write(metrics.Path()) == 0) {
        std::printf("sweep: cannot set the metrics folder\n");
        return 1;
    }
    std::vector<std::string> loopback;
    for (int i = 1; i <= 250; ++i) {
        loopback.push_back("127.0.1." + std::to_string(i));
    }
    bool good = RunCase(session,
                        {.name = "loopback",
                         .sweepers = loopback,
                         .sweeperText = "250 loopback addresses, 127.0.1.1 on",
                         .sweeperLog = "127.0.1.",
                         .unit = "127.0.0.1",
                         .unitText = "127.0.0.1",
                         .service = "127.0.0.1"},
                        options, metrics.Path());
    const CPeerNetwork network;
    if (!network.Problem().empty()) {
        std::printf("sweep subnet, nat: SKIPPED (%s)\n", network.Problem().c_str());
        return good ? 0 : 1;
    }
    good = RunCase(session,
                   {.name = "subnet",
                    .sweepers = {"2001:db8:1::10"},
                    .sweeperText = "2001:db8:1::10",
                    .sweeperLog = "2001:db8:1::10:",
                    .unit = "2001:db8:1::20",
                    .unitText = "2001:db8:1::20, in the sweeper's /64",
                    .service = "2001:db8:1::1",
                    .serviceNamespace = network.ServiceNamespace(),
                    .peerNamespace = network.PeerNamespace()},
                   options, metrics.Path()) &&
           good;
    good = RunCase(session,
                   {.name = "nat",
                    .sweepers = {"10.0.0.10"},
                    .sweeperText = "10.0.0.10",
                    .sweeperLog = "10.0.0.10:",
                    .unit = "10.0.0.10",
                    .unitText = "10.0.0.10, the sweeper's address",
                    .service = "10.0.0.1",
                    .serviceNamespace = network.ServiceNamespace(),
                    .peerNamespace = network.PeerNamespace()},
                   options, metrics.Path()) &&
           good;
    return good ? 0 : 1;
}
