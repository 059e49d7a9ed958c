// The boot storm after a power cut: every unit asks for its key at the same moment.
#include "CMinimalServer.h"
#include "CStormClient.h"
#include "Scenarios.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Peers that connect, each from an address of its own, and then say nothing.
class CSilentPeers
{
public:
    CSilentPeers(const ServiceAddress& address, int count)
    {
        for (int i = 0; i < count; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in source = CStormClient::SilentPeerAddress(static_cast<size_t>(i));
            if (fd < 0) {
                break;
            }
            m_fds.push_back(fd);
            if (bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0 ||
                connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
                break;
            }
            ++m_connected;
        }
    }
    ~CSilentPeers()
    {
        for (const int fd : m_fds) {
            close(fd);
        }
    }
    CSilentPeers(const CSilentPeers&) = delete;
    CSilentPeers& operator=(const CSilentPeers&) = delete;

    int Connected() const { return m_connected; }
    // Those whose connection the server has ended.
    int Closed() const
    {
        int closed = 0;
        for (const int fd : m_fds) {
            char byte;
            const ssize_t got = recv(fd, &byte, 1, MSG_DONTWAIT);
            closed += got == 0 || (got < 0 && errno != EAGAIN) ? 1 : 0;
        }
        return closed;
    }

private:
    std::vector<int> m_fds;
    int m_connected = 0;
};

// Each unit and each silent peer holds a descriptor in this process, and as many may wait
// in the service's queue; both servers inherit the limit.
void RaiseDescriptorLimit(rlim_t wanted)
{
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= wanted) {
        return;
    }
    files.rlim_cur = wanted;
    files.rlim_max = std::max(files.rlim_max, wanted); // as root
    if (setrlimit(RLIMIT_NOFILE, &files) != 0) {
        std::printf("storm: cannot raise the descriptor limit to %llu: units past it fail at once\n",
                    static_cast<unsigned long long>(wanted));
    }
}

// The kernel's count of connections dropped because a listener's queue was full (each costs
// its unit a SYN sent again a second or more later); -1 when it cannot be read.
long long ListenOverflows()
{
    std::ifstream netstat("/proc/net/netstat");
    std::string names;
    std::string values;
    while (std::getline(netstat, names) && std::getline(netstat, values)) {
        if (names.rfind("TcpExt:", 0) != 0) {
            continue;
        }
        std::istringstream nameWords(names);
        std::istringstream valueWords(values);
        std::string name;
        std::string prefix;
        valueWords >> prefix; // "TcpExt:" before the values as before the names
        long long value = 0;
        while (nameWords >> name && valueWords >> value) {
            if (name == "ListenOverflows") {
                return value;
            }
        }
    }
    return -1;
}

// One storm, with the queue overflows the kernel counted meanwhile (the whole machine's).
StormResult RunStorm(const ServiceAddress& address, const StormSettings& settings, long long& overflows)
{
    const long long before = ListenOverflows();
    StormResult result = CStormClient(address, settings).Run();
    overflows = before < 0 ? -1 : ListenOverflows() - before;
    return result;
}

void PrintStorm(const char* label, size_t units, const StormResult& result, long long overflows)
{
    std::printf("  %s: turned away at first try %zu (%zu connections tried in all), all served after %.2f s, "
                "unit p50 %.3f s, p99 %.3f s, never served %zu, SYNs dropped at a full queue %lld\n",
                label, result.turnedAway, result.attempts, result.allServedSeconds,
                static_cast<double>(result.latency.Percentile(50)) / 1e9,
                static_cast<double>(result.latency.Percentile(99)) / 1e9, units - result.served, overflows);
    for (const auto& [outcome, count] : result.failures) {
        std::printf("    %llu x %s, first: %s\n", static_cast<unsigned long long>(count), OutcomeName(outcome),
                    result.firstDetail.at(outcome).c_str());
    }
    std::fflush(stdout);
}

double MeanAllServed(const std::vector<StormResult>& results)
{
    double sum = 0;
    for (const StormResult& result : results) {
        sum += result.allServedSeconds;
    }
    return results.empty() ? 0.0 : sum / static_cast<double>(results.size());
}

double MeanP99(const std::vector<StormResult>& results)
{
    double sum = 0;
    for (const StormResult& result : results) {
        sum += static_cast<double>(result.latency.Percentile(99)) / 1e9;
    }
    return results.empty() ? 0.0 : sum / static_cast<double>(results.size());
}

size_t TurnedAway(const std::vector<StormResult>& results)
{
    size_t sum = 0;
    for (const StormResult& result : results) {
        sum += result.turnedAway;
    }
    return sum;
}

} // namespace

int RunStormScenario(const BenchOptions& options)
{
    StormSettings settings;
    settings.units = options.stormUnits;
    settings.keys = std::min(options.keys, options.stormUnits);
    settings.attemptTimeOutMs = options.timeOutMs;
    RaiseDescriptorLimit(static_cast<rlim_t>(settings.units + static_cast<size_t>(options.idleConnections) + 1024));
    // Started first, while this process has no other thread to fork with.
    const CMinimalServerProcess minimal(settings.keys, options.minimalThreads);
    BenchOptions piped = options;
    piped.pipeLog = true; // the service logs as under the journal, into a pipe drained here
    CBenchSession session(piped);
    session.RegisterUpTo(settings.keys);
    session.StartService();
    std::printf("storm: %zu units at once, each from its own loopback address, %zu keys, a unit turned away tries "
                "again after %d ms; minimal server on %d threads; %d alternating rounds after one unmeasured\n",
                settings.units, settings.keys, settings.retryMs, options.minimalThreads, options.rounds);
    std::fflush(stdout);

    // The first storm after a quiet while is slower on either server (the kernel sets up
    // for thousands of new peers): one unmeasured, then the two in turn, each first as often.
    const ServiceAddress minimalAddress = ServiceAddress::Loopback(minimal.Port());
    CStormClient(minimalAddress, settings).Run();
    std::vector<StormResult> services;
    std::vector<StormResult> yardsticks;
    for (int round = 0; round < options.rounds; ++round) {
        for (const bool serviceTurn : {round % 2 == 1, round % 2 == 0}) {
            long long overflows = 0;
            if (serviceTurn) {
                services.push_back(RunStorm(session.Address(), settings, overflows));
                PrintStorm(("round " + std::to_string(round + 1) + " Ternwick").c_str(), settings.units,
                           services.back(), overflows);
            } else {
                yardsticks.push_back(RunStorm(minimalAddress, settings, overflows));
                PrintStorm(("round " + std::to_string(round + 1) + " minimal").c_str(), settings.units,
                           yardsticks.back(), overflows);
            }
        }
    }
    StormResult flooded;
    {
        const CSilentPeers silent(session.Address(), options.idleConnections);
        // Long enough for the service to take them all and for them to count as silent.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        long long overflows = 0;
        flooded = RunStorm(session.Address(), settings, overflows);
        const std::string label = "Ternwick with " + std::to_string(silent.Connected()) + " silent peers";
        PrintStorm(label.c_str(), settings.units, flooded, overflows);
        std::printf("    silent peers closed by the service meanwhile: %d\n", silent.Closed());
    }

    const double serviceSeconds = MeanAllServed(services);
    const double yardstickSeconds = MeanAllServed(yardsticks);
    const double ratio = yardstickSeconds > 0 ? serviceSeconds / yardstickSeconds : 0.0;
    std::printf("storm: %zu units, all served after (mean of %d rounds) Ternwick %.2f s, minimal %.2f s: %.2fx; "
                "unit p99 Ternwick %.3f s, minimal %.3f s; turned away at first try Ternwick %zu, minimal %zu; with "
                "silent peers all served after %.2f s, %zu turned away\n",
                settings.units, options.rounds, serviceSeconds, yardstickSeconds, ratio, MeanP99(services),
                MeanP99(yardsticks), TurnedAway(services), TurnedAway(yardsticks), flooded.allServedSeconds,
                flooded.turnedAway);
    ReportTarget("no unit turned away at its first try", TurnedAway(services) == 0 && flooded.turnedAway == 0);
    ReportTarget("all units served no later than by the minimal server (<= 1.0x)", ratio <= 1.0);
    bool exact = !flooded.failures.contains(ExchangeOutcome::WrongBytes) && flooded.served == settings.units;
    for (const StormResult& result : services) {
        exact = exact && !result.failures.contains(ExchangeOutcome::WrongBytes) && result.served == settings.units;
    }
    const bool stopped = session.StopService();
    return exact && stopped ? 0 : 1;
}
