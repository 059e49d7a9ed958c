#include "BenchKeys.h"
#include "CLatencyStats.h"
#include "Scenarios.h"
#include "keys/CKeyRecord.h"
#include "settings/CKeyStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

const std::string kMask = "bench-transfer-mask-0123456789ab";

// Sequential requests for unit 0; their latencies.
CLatencyStats ProbeLatency(const ServiceAddress& address, int count, int timeOutMs, uint64_t& errors)
{
    const CRawUnitClient client(address, timeOutMs);
    const LockKey sealed = SealForTransfer(BenchKey(0), BenchId(0), kMask);
    CLatencyStats stats;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        const ExchangeResult result = client.GetKey(BenchId(0), kMask, sealed.data());
        if (result.Ok()) {
            stats.Record(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
        } else {
            if (errors++ == 0) {
                std::printf("  probe: %s: %s\n", OutcomeName(result.outcome), result.detail.c_str());
            }
        }
    }
    return stats;
}

// Descriptors of connections that send nothing; closed when the object goes.
class CIdlePeers
{
public:
    ~CIdlePeers()
    {
        for (int fd : m_fds) {
            close(fd);
        }
    }
    bool Open(const ServiceAddress& address, int count)
    {
        for (int i = 0; i < count; ++i) {
            const int fd = socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                return false;
            }
            m_fds.push_back(fd);
            if (connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
                return false;
            }
        }
        return true;
    }
    size_t Count() const { return m_fds.size(); }

private:
    std::vector<int> m_fds;
};

} // namespace

int RunPortChangeScenario(const BenchOptions& options)
{
    CBenchSession session(options);
    session.RegisterUpTo(1);
    session.StartService();
    CKeyStore store;
    std::vector<double> delays;
    uint64_t failures = 0;
    for (int trial = 0; trial < options.trials; ++trial) {
        const uint16_t oldPort = session.Port();
        const uint16_t newPort = Harness::FreePort();
        const CRawUnitClient client(session.AddressOf(newPort), 1000);
        const auto start = Clock::now();
        if (store.WritePort(newPort) == 0) {
            std::printf("  trial %d: WritePort failed\n", trial);
            ++failures;
            break;
        }
        const double writeMs = MillisecondsSince(start);
        bool answered = false;
        while (MillisecondsSince(start) < 10000) {
            if (client.Check().Ok()) {
                answered = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
        const double delayMs = MillisecondsSince(start);
        if (!answered) {
            std::printf("  trial %d: port %u not answering after 10 s\n", trial, newPort);
            ++failures;
            break;
        }
        const ExchangeResult old = CRawUnitClient(session.AddressOf(oldPort), 1000).Check();
        if (old.outcome != ExchangeOutcome::ConnectFailed) {
            std::printf("  trial %d: old port %u still accepts connections\n", trial, oldPort);
            ++failures;
        }
        session.SetPort(newPort);
        delays.push_back(delayMs);
        std::printf("  trial %d: port %u -> %u answering after %.2f ms (of which WritePort %.2f ms)\n", trial, oldPort,
                    newPort, delayMs, writeMs);
    }
    uint64_t probeErrors = 0;
    ProbeLatency(session.Address(), 10, options.timeOutMs, probeErrors);
    std::sort(delays.begin(), delays.end());
    if (!delays.empty()) {
        std::printf("port-change: %zu changes, median %.2f ms, max %.2f ms\n", delays.size(), delays[delays.size() / 2],
                    delays.back());
        ReportTarget("PortNo write to new listener answering < 50 ms", delays.back() < 50.0);
    }
    const bool stopped = session.StopService();
    return failures == 0 && probeErrors == 0 && stopped ? 0 : 1;
}

int RunIdleMemoryScenario(const BenchOptions& options)
{
    CBenchSession session(options);
    session.RegisterUpTo(10);
    session.StartService();
    Harness::CTernwickProcess& service = session.Service();
    uint64_t errors = 0;
    ProbeLatency(session.Address(), 50, options.timeOutMs, errors);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long baseRss = service.ResidentKiB();
    const long baseThreads = service.ThreadCount();
    std::printf("idle-memory: before: VmRSS %ld KiB, %ld threads\n", baseRss, baseThreads);

    CIdlePeers peers;
    const bool opened = peers.Open(session.Address(), options.idleConnections);
    // Wait until the service has taken every connection (one thread each) or stops growing.
    const auto start = Clock::now();
    long threads = service.ThreadCount();
    long lastThreads = -1;
    auto lastChange = Clock::now();
    while (threads < baseThreads + static_cast<long>(peers.Count()) && MillisecondsSince(lastChange) < 2000 &&
           MillisecondsSince(start) < 30000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        threads = service.ThreadCount();
        if (threads != lastThreads) {
            lastThreads = threads;
            lastChange = Clock::now();
        }
    }
    // The waiting workers of before serve connections too: the last thread started marks
    // the end.
    const double takenMs = std::chrono::duration<double, std::milli>(lastChange - start).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long idleRss = service.ResidentKiB();
    threads = service.ThreadCount();
    std::printf("idle-memory: %zu idle connections%s (taken in %.0f ms): VmRSS %ld KiB (%.1f MiB), %ld threads, "
                "%.1f KiB per connection\n",
                peers.Count(), opened ? "" : " (could not open all)", takenMs, idleRss,
                static_cast<double>(idleRss) / 1024.0, threads,
                peers.Count() > 0 ? static_cast<double>(idleRss - baseRss) / static_cast<double>(peers.Count()) : 0.0);
    const CLatencyStats busy = ProbeLatency(session.Address(), 200, options.timeOutMs, errors);
    std::printf("idle-memory: GET_KEY while they wait: p50 %.3f ms, p99 %.3f ms, %zu served\n",
                static_cast<double>(busy.Percentile(50)) / 1e6, static_cast<double>(busy.Percentile(99)) / 1e6,
                busy.Count());
    ReportTarget("1,000 idle connections <= 64 MiB resident",
                 opened && idleRss > 0 && idleRss <= 64 * 1024 && options.idleConnections >= 1000);
    const bool stopped = session.StopService();
    return opened && errors == 0 && stopped ? 0 : 1;
}

int RunVisibilityScenario(const BenchOptions& options)
{
    CBenchSession session(options);
    session.RegisterUpTo(options.keys);
    session.StartService();
    const CRawUnitClient client(session.Address(), options.timeOutMs);
    CKeyStore store;
    CLatencyStats firstAfterWrite;
    uint64_t misses = 0;
    const auto check = [&](const char* step, const std::string& id, const LockKey* key) {
        const auto start = Clock::now();
        const LockKey sealed = key != nullptr ? SealForTransfer(*key, id, kMask) : LockKey{};
        const ExchangeResult result = client.GetKey(id, kMask, key != nullptr ? sealed.data() : nullptr);
        firstAfterWrite.Record(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
        if (!result.Ok()) {
            if (misses++ < 5) {
                std::printf("  %s %s: %s: %s\n", step, id.c_str(), OutcomeName(result.outcome), result.detail.c_str());
            }
        }
    };
    for (int trial = 0; trial < options.trials; ++trial) {
        const size_t unit = 0x100000 + static_cast<size_t>(trial);
        const std::string id = BenchId(unit);
        CKeyRecord record;
        record.SetId(id);
        const LockKey first = BenchKey(unit, 0);
        record.SetKey(first.data());
        if (store.StoreKey(record) == 0) {
            ++misses;
            continue;
        }
        check("registered", id, &first);
        const LockKey second = BenchKey(unit, 1);
        record.SetKey(second.data());
        store.StoreKey(record);
        check("replaced", id, &second);
        store.DeleteKey(id);
        check("deleted", id, nullptr);
    }
    std::printf("visibility: %d registrations, replacements and deletions with %zu other keys: %llu not seen by the "
                "next request; first request after a write p50 %.3f ms, p99 %.3f ms\n",
                options.trials, session.Registered(), static_cast<unsigned long long>(misses),
                static_cast<double>(firstAfterWrite.Percentile(50)) / 1e6,
                static_cast<double>(firstAfterWrite.Percentile(99)) / 1e6);
    ReportTarget("a registration is visible to the very next request", misses == 0);
    const bool stopped = session.StopService();
    return misses == 0 && stopped ? 0 : 1;
}
