#include "LoadRun.h"
#include "Scenarios.h"

#include <algorithm>
#include <cstdio>

bool ReportTarget(const char* text, bool met)
{
    std::printf("target %s: %s\n", text, met ? "met" : "MISSED");
    std::fflush(stdout);
    return met;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

LoadSettings SettingsOf(const BenchOptions& options)
{
    LoadSettings settings;
    settings.units = options.keys;
    settings.clients = options.clients;
    settings.seconds = options.seconds;
    settings.timeOutMs = options.timeOutMs;
    settings.threads = options.loadThreads;
    settings.check = options.check;
    return settings;
}

namespace {

LoadResult MeasureLoad(const ServiceAddress& address, const BenchOptions& options, size_t units, const char* label)
{
    LoadSettings settings;
    settings.units = units;
    settings.clients = options.clients;
    settings.timeOutMs = options.timeOutMs;
    settings.quickAck = options.quickAck;
    settings.threads = options.loadThreads;
    if (options.warmupSeconds > 0) {
        settings.seconds = options.warmupSeconds;
        RunLoad(address, settings);
    }
    settings.seconds = options.seconds;
    LoadResult result = RunLoad(address, settings);
    PrintLoad(label, result);
    return result;
}

LoadResult MeasureLoad(CBenchSession& session, size_t units, const char* label)
{
    return MeasureLoad(session.Address(), session.Options(), units, label);
}

void ReportLoadTargets(const BenchOptions& options, const LoadResult& result)
{
    const bool standard = options.clients == 16 && options.keys == 1000;
    ReportTarget("16 clients, 1,000 keys: >= 8,000 GET_KEY/s", standard && result.Rate() >= 8000.0);
    ReportTarget("16 clients, 1,000 keys: p99 < 5 ms",
                 standard && static_cast<double>(result.latency.Percentile(99)) < 5e6);
}

} // namespace

int RunLoadScenario(const BenchOptions& options)
{
    if (options.attachPort != 0) {
        const ServiceAddress address = ServiceAddress::Loopback(options.attachPort, options.ipv6);
        std::printf("load: %d clients, %zu keys, %.1f s on the running service at port %u\n", options.clients,
                    options.keys, options.seconds, options.attachPort);
        std::fflush(stdout);
        const LoadResult result = MeasureLoad(address, options, options.keys, "load");
        ReportLoadTargets(options, result);
        return result.errors == 0 && result.requests > 0 ? 0 : 1;
    }
    CBenchSession session(options);
    session.RegisterUpTo(options.keys);
    session.StartService();
    std::printf("load: %d clients, %zu keys, %.1f s on port %u\n", options.clients, options.keys, options.seconds,
                session.Port());
    if (options.quickAck) {
        std::printf("load: the clients acknowledge at once (--quickack): not how a unit behaves\n");
    }
    std::fflush(stdout);
    const LoadResult result = MeasureLoad(session, options.keys, "load");
    ReportLoadTargets(options, result);
    const bool stopped = session.StopService();
    return result.errors == 0 && result.requests > 0 && stopped ? 0 : 1;
}

int RunScalingScenario(const BenchOptions& options)
{
    CBenchSession session(options);
    session.RegisterUpTo(10);
    session.StartService();
    std::printf("scaling: %d clients, %.1f s per run on port %u\n", options.clients, options.seconds, session.Port());
    std::fflush(stdout);
    const LoadResult small = MeasureLoad(session, 10, "10 keys");
    // Registered while the service runs, as the console would.
    session.RegisterUpTo(10000);
    const LoadResult large = MeasureLoad(session, 10000, "10,000 keys");
    const double ratio = small.Rate() > 0 ? large.Rate() / small.Rate() : 0.0;
    const double p50Ratio = small.latency.Percentile(50) > 0 ? static_cast<double>(large.latency.Percentile(50)) /
                                                                   static_cast<double>(small.latency.Percentile(50))
                                                             : 0.0;
    std::printf("scaling: rate with 10,000 keys = %.1f%% of the rate with 10; p50 ratio %.2f\n", ratio * 100.0,
                p50Ratio);
    ReportTarget("10,000 keys within 10% of 10 keys", ratio >= 0.9);
    const bool stopped = session.StopService();
    return small.errors == 0 && large.errors == 0 && small.requests > 0 && large.requests > 0 && stopped ? 0 : 1;
}
