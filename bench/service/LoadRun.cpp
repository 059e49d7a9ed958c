#include "LoadRun.h"

#include "BenchKeys.h"
#include "CEpollLoadClient.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Unit
{
    std::string id;
    LockKey key;
};

struct ClientTally
{
    CLatencyStats latency;
    std::map<ExchangeOutcome, uint64_t> errors;
    std::map<ExchangeOutcome, std::string> firstDetail;

    void Add(const ExchangeResult& result, int64_t nanoseconds)
    {
        if (result.Ok()) {
            latency.Record(nanoseconds);
        } else {
            ++errors[result.outcome];
            firstDetail.emplace(result.outcome, result.detail);
        }
    }
};

// The next request of a client: a random unit, a fresh random mask, the exact reply.
ExchangeScript NextRequest(const std::vector<Unit>& units, CFastRandom& random, bool check)
{
    if (check) {
        return CheckScript();
    }
    const Unit& unit = units[random.Below(units.size())];
    std::string mask(32, '\0');
    for (char& byte : mask) {
        byte = static_cast<char>(random.Next() >> 56);
    }
    const LockKey sealed = SealForTransfer(unit.key, unit.id, mask);
    return GetKeyScript(unit.id, mask, sealed.data());
}

void RunEpollClients(const ServiceAddress& address, const std::vector<Unit>& units, const LoadSettings& settings,
                     int inFlight, uint64_t seed, Clock::time_point deadline, ClientTally& tally)
{
    const CEpollLoadClient client(address, settings.timeOutMs, settings.quickAck);
    CFastRandom random(seed);
    client.Run(
        inFlight, deadline, [&] { return std::optional<ExchangeScript>(NextRequest(units, random, settings.check)); },
        [&](const ExchangeResult& result, int64_t nanoseconds) { tally.Add(result, nanoseconds); });
}

void RunBlockingClient(const ServiceAddress& address, const std::vector<Unit>& units, const LoadSettings& settings,
                       uint64_t seed, Clock::time_point deadline, ClientTally& tally)
{
    const CRawUnitClient client(address, settings.timeOutMs, settings.quickAck);
    CFastRandom random(seed);
    while (Clock::now() < deadline) {
        const ExchangeScript script = NextRequest(units, random, settings.check);
        const auto start = Clock::now();
        const ExchangeResult result = client.Run(script);
        tally.Add(result, std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
        if (result.outcome == ExchangeOutcome::ConnectFailed) {
            // Do not spin on a service that is gone.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

} // namespace

LoadResult RunLoad(const ServiceAddress& address, const LoadSettings& settings)
{
    std::vector<Unit> table;
    table.reserve(settings.units);
    for (size_t unit = 0; unit < settings.units; ++unit) {
        table.push_back({BenchId(unit), BenchKey(unit)});
    }
    const int threadCount = settings.threads == 0 ? settings.clients : std::min(settings.threads, settings.clients);
    std::vector<ClientTally> tallies(static_cast<size_t>(threadCount));
    std::vector<std::thread> threads;
    std::atomic<bool> go{false};
    const auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(settings.seconds));
    // The deadline is fixed once every thread exists, so thread creation is not measured.
    std::atomic<Clock::rep> deadlineTicks{0};
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back([&, i] {
            while (!go.load(std::memory_order_acquire)) {
                std::this_thread::yield();
            }
            const Clock::time_point end{Clock::duration(deadlineTicks.load())};
            const uint64_t seed = static_cast<uint64_t>(i) + 1;
            ClientTally& tally = tallies[static_cast<size_t>(i)];
            if (settings.threads == 0) {
                RunBlockingClient(address, table, settings, seed, end, tally);
            } else {
                const int inFlight = settings.clients / threadCount + (i < settings.clients % threadCount ? 1 : 0);
                RunEpollClients(address, table, settings, inFlight, seed, end, tally);
            }
        });
    }
    const auto start = Clock::now();
    deadlineTicks.store((start + length).time_since_epoch().count());
    go.store(true, std::memory_order_release);
    for (std::thread& thread : threads) {
        thread.join();
    }
    LoadResult result;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (const ClientTally& tally : tallies) {
        result.latency.Merge(tally.latency);
        for (const auto& [outcome, count] : tally.errors) {
            result.errorsByOutcome[outcome] += count;
            result.errors += count;
        }
        for (const auto& [outcome, detail] : tally.firstDetail) {
            result.firstDetail.emplace(outcome, detail);
        }
    }
    result.requests = result.latency.Count();
    return result;
}

void PrintLoad(const char* label, const LoadResult& result, const char* request)
{
    std::printf("%s: %llu requests in %.2f s = %.0f %s/s, p50 %.3f ms, p99 %.3f ms, max %.3f ms, errors %llu\n", label,
                static_cast<unsigned long long>(result.requests), result.seconds, result.Rate(), request,
                static_cast<double>(result.latency.Percentile(50)) / 1e6,
                static_cast<double>(result.latency.Percentile(99)) / 1e6,
                static_cast<double>(result.latency.Max()) / 1e6, static_cast<unsigned long long>(result.errors));
    for (const auto& [outcome, count] : result.errorsByOutcome) {
        std::printf("  %llu x %s, first: %s\n", static_cast<unsigned long long>(count), OutcomeName(outcome),
                    result.firstDetail.at(outcome).c_str());
    }
    std::fflush(stdout);
}
