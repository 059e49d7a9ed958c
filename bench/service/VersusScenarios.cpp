// The service side by side with the least a server of this protocol can do, and the
// system calls it makes per request.
#include "CMinimalServer.h"
#include "LoadRun.h"
#include "Scenarios.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Side
{
    const char* name;
    ServiceAddress address;
    pid_t pid;
    std::vector<double> rates;
    std::vector<double> p99s;
    std::vector<double> cpuPerRequest; // microseconds
};

// User and system time of a process so far, in seconds (clock ticks).
double CpuSeconds(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(file, text);
    // The fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::vector<std::string> words;
    for (std::string word; words.size() < 13 && fields >> word;) {
        words.push_back(word);
    }
    if (words.size() < 13) {
        return 0.0;
    }
    const double ticks = std::stod(words[11]) + std::stod(words[12]);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The calls and the per-call lines of a summary that strace -c wrote.
uint64_t SummaryCalls(const std::string& path, std::string& table)
{
    std::ifstream file(path);
    std::string line;
    uint64_t calls = 0;
    while (std::getline(file, line)) {
        table += "  " + line + "\n";
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) {
            words.push_back(word);
        }
        if (words.size() >= 5 && words.back() == "total") {
            calls = std::stoull(words[3]);
        }
    }
    return calls;
}

} // namespace

int RunVersusScenario(const BenchOptions& options)
{
    // Started first, while this process has no other thread to fork with.
    const CMinimalServerProcess minimal(options.keys, options.minimalThreads);
    BenchOptions piped = options;
    piped.pipeLog = true; // the service logs as under the journal, into a pipe drained here
    CBenchSession session(piped);
    session.RegisterUpTo(options.keys);
    session.StartService();
    const char* request = options.check ? "CHECK" : "GET_KEY";
    std::printf("versus: %s from %d clients, %zu keys, %d alternating rounds of %.1f s each; minimal server on %d "
                "threads\n",
                request, options.clients, options.keys, options.rounds, options.seconds, options.minimalThreads);
    std::fflush(stdout);
    Side sides[] = {{"Ternwick", session.Address(), session.Service().Pid(), {}, {}, {}},
                    {"minimal", ServiceAddress::Loopback(minimal.Port()), minimal.Pid(), {}, {}, {}}};
    LoadSettings settings = SettingsOf(options);
    uint64_t errors = 0;
    for (Side& side : sides) {
        settings.seconds = options.warmupSeconds;
        errors += settings.seconds > 0 ? RunLoad(side.address, settings).errors : 0;
    }
    settings.seconds = options.seconds;
    for (int round = 0; round < options.rounds; ++round) {
        for (Side& side : sides) {
            const double cpuBefore = CpuSeconds(side.pid);
            const LoadResult result = RunLoad(side.address, settings);
            const double cpu = CpuSeconds(side.pid) - cpuBefore;
            errors += result.errors;
            side.rates.push_back(result.Rate());
            side.p99s.push_back(static_cast<double>(result.latency.Percentile(99)) / 1e6);
            side.cpuPerRequest.push_back(result.requests > 0 ? cpu * 1e6 / static_cast<double>(result.requests) : 0.0);
            const std::string label = "  round " + std::to_string(round + 1) + " " + side.name;
            PrintLoad(label.c_str(), result, request);
            std::printf("    server CPU %.0f us per request\n", side.cpuPerRequest.back());
        }
    }
    const double rate = Median(sides[0].rates) / Median(sides[1].rates);
    const double p99 = Median(sides[0].p99s) / Median(sides[1].p99s);
    std::printf("versus: median %s/s Ternwick %.0f, minimal %.0f: %.2fx; median p99 Ternwick %.3f ms, minimal "
                "%.3f ms: %.2fx; %zu log lines drained\n",
                request, Median(sides[0].rates), Median(sides[1].rates), rate, Median(sides[0].p99s),
                Median(sides[1].p99s), p99, session.Service().DrainedLines());
    std::printf("versus: median server CPU per request Ternwick %.0f us, minimal %.0f us\n",
                Median(sides[0].cpuPerRequest), Median(sides[1].cpuPerRequest));
    const std::string rateTarget = std::string(request) + " at " + std::to_string(options.clients) +
                                   " clients: at least 1.0x the minimal server's rate";
    ReportTarget(rateTarget.c_str(), rate >= 1.0);
    if (!options.check) {
        ReportTarget("GET_KEY p99 within 1.3x the minimal server's", p99 <= 1.3);
    }
    const bool stopped = session.StopService();
    return errors == 0 && stopped ? 0 : 1;
}

int RunSyscallScenario(const BenchOptions& options)
{
    CBenchSession session(options);
    session.RegisterUpTo(options.keys);
    session.StartService();
    LoadSettings settings = SettingsOf(options);
    settings.seconds = 0.5;
    RunLoad(session.Address(), settings);

    const std::string summary = "/tmp/corvane-strace-" + std::to_string(session.Service().Pid()) + ".txt";
    Harness::CChildProcess tracer;
    if (!tracer.Start({"strace", "-c", "-f", "-q", "-o", summary, "-p", std::to_string(session.Service().Pid())}, {})) {
        std::printf("syscalls: strace cannot be started (scripts/setup.sh installs it)\n");
        return 1;
    }
    // Attaching to every thread takes a moment.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    settings.seconds = options.seconds;
    const LoadResult result = RunLoad(session.Address(), settings);
    tracer.Signal(SIGINT);
    tracer.WaitExit(60000);
    std::string table;
    const uint64_t calls = SummaryCalls(summary, table);
    std::remove(summary.c_str());
    const double perRequest =
        result.requests > 0 ? static_cast<double>(calls) / static_cast<double>(result.requests) : 0.0;
    std::printf("syscalls: strace -c -f over %llu %s requests from %d clients: %llu system calls, %.1f per request\n%s",
                static_cast<unsigned long long>(result.requests), options.check ? "CHECK" : "GET_KEY", options.clients,
                static_cast<unsigned long long>(calls), perRequest, table.c_str());
    ReportTarget("system calls per GET_KEY <= 18", !options.check && calls > 0 && perRequest <= 18.0);
    const bool stopped = session.StopService();
    return result.errors == 0 && calls > 0 && stopped ? 0 : 1;
}
