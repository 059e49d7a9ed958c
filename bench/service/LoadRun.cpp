#include "LoadRun.h"

#include "BenchKeys.h"

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
};

void RunClient(const ServiceAddress& address, const std::vector<Unit>& units, int timeOutMs, bool quickAck,
               uint64_t seed, Clock::time_point deadline, ClientTally& tally)
{
    const CRawUnitClient client(address, timeOutMs, quickAck);
    CFastRandom random(seed);
    std::string mask(32, '\0');
    while (Clock::now() < deadline) {
        const Unit& unit = units[random.Below(units.size())];
        for (char& byte : mask) {
            byte = static_cast<char>(random.Next() >> 56);
        }
        const LockKey sealed = SealForTransfer(unit.key, unit.id, mask);
        const auto start = Clock::now();
        const ExchangeResult result = client.GetKey(unit.id, mask, sealed.data());
        const auto end = Clock::now();
        if (result.Ok()) {
            tally.latency.Record(std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count());
        } else {
            ++tally.errors[result.outcome];
            tally.firstDetail.emplace(result.outcome, result.detail);
            if (result.outcome == ExchangeOutcome::ConnectFailed) {
                // Do not spin on a service that is gone.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    }
}

} // namespace

LoadResult RunLoad(const ServiceAddress& address, size_t units, int clients, double seconds, int timeOutMs,
                   bool quickAck)
{
    std::vector<Unit> table;
    table.reserve(units);
    for (size_t unit = 0; unit < units; ++unit) {
        table.push_back({BenchId(unit), BenchKey(unit)});
    }
    std::vector<ClientTally> tallies(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    std::atomic<bool> go{false};
    const auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    // The deadline is fixed once every thread exists, so thread creation is not measured.
    std::atomic<Clock::rep> deadlineTicks{0};
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            while (!go.load(std::memory_order_acquire)) {
                std::this_thread::yield();
            }
            const Clock::time_point end{Clock::duration(deadlineTicks.load())};
            RunClient(address, table, timeOutMs, quickAck, static_cast<uint64_t>(i) + 1, end,
                      tallies[static_cast<size_t>(i)]);
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

void PrintLoad(const char* label, const LoadResult& result)
{
    std::printf("%s: %llu requests in %.2f s = %.0f GET_KEY/s, p50 %.3f ms, p99 %.3f ms, max %.3f ms, errors %llu\n",
                label, static_cast<unsigned long long>(result.requests), result.seconds, result.Rate(),
                static_cast<double>(result.latency.Percentile(50)) / 1e6,
                static_cast<double>(result.latency.Percentile(99)) / 1e6,
                static_cast<double>(result.latency.Max()) / 1e6, static_cast<unsigned long long>(result.errors));
    for (const auto& [outcome, count] : result.errorsByOutcome) {
        std::printf("  %llu x %s, first: %s\n", static_cast<unsigned long long>(count), OutcomeName(outcome),
                    result.firstDetail.at(outcome).c_str());
    }
    std::fflush(stdout);
}
