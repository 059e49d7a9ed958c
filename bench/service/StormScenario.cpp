// The boot storm after a power cut: every unit asks for its key at the same moment.
#include "CMinimalServer.h"
#include "CStormClient.h"
#include "Scenarios.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
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

void PrintStorm(const char* label, size_t units, const StormResult& result)
{
    std::printf("  %s: turned away at first try %zu (%zu connections tried in all), all served after %.2f s, "
                "unit p50 %.3f s, p99 %.3f s, never served %zu\n",
                label, result.turnedAway, result.attempts, result.allServedSeconds,
                static_cast<double>(result.latency.Percentile(50)) / 1e9,
                static_cast<double>(result.latency.Percentile(99)) / 1e9, units - result.served);
    for (const auto& [outcome, count] : result.failures) {
        std::printf("    %llu x %s, first: %s\n", static_cast<unsigned long long>(count), OutcomeName(outcome),
                    result.firstDetail.at(outcome).c_str());
    }
    std::fflush(stdout);
}

} // namespace

int RunStormScenario(const BenchOptions& options)
{
    StormSettings settings;
    settings.units = options.stormUnits;
    settings.keys = std::min(options.keys, options.stormUnits);
    settings.attemptTimeOutMs = options.timeOutMs;
    // Started first, while this process has no other thread to fork with.
    const CMinimalServerProcess minimal(settings.keys, options.minimalThreads);
    BenchOptions piped = options;
    piped.pipeLog = true; // the service logs as under the journal, into a pipe drained here
    CBenchSession session(piped);
    session.RegisterUpTo(settings.keys);
    session.StartService();
    std::printf("storm: %zu units at once, each from its own loopback address, %zu keys, a unit turned away tries "
                "again after %d ms; minimal server on %d threads\n",
                settings.units, settings.keys, settings.retryMs, options.minimalThreads);
    std::fflush(stdout);

    const StormResult service = CStormClient(session.Address(), settings).Run();
    PrintStorm("Ternwick", settings.units, service);
    const StormResult yardstick = CStormClient(ServiceAddress::Loopback(minimal.Port()), settings).Run();
    PrintStorm("minimal", settings.units, yardstick);

    StormResult flooded;
    {
        const CSilentPeers silent(session.Address(), options.idleConnections);
        // Long enough for the service to take them all and for them to count as silent.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        flooded = CStormClient(session.Address(), settings).Run();
        const std::string label = "Ternwick with " + std::to_string(silent.Connected()) + " silent peers";
        PrintStorm(label.c_str(), settings.units, flooded);
        std::printf("    silent peers closed by the service meanwhile: %d\n", silent.Closed());
    }

    const double ratio = yardstick.allServedSeconds > 0 ? service.allServedSeconds / yardstick.allServedSeconds : 0.0;
    std::printf("storm: all served after Ternwick %.2f s, minimal %.2f s: %.2fx; with silent peers %.2f s\n",
                service.allServedSeconds, yardstick.allServedSeconds, ratio, flooded.allServedSeconds);
    ReportTarget("no unit turned away at its first try", service.turnedAway == 0 && flooded.turnedAway == 0);
    ReportTarget("all units served no later than by the minimal server (<= 1.0x)",
                 service.served == settings.units && ratio <= 1.0);
    const bool exact = !service.failures.contains(ExchangeOutcome::WrongBytes) &&
                       !flooded.failures.contains(ExchangeOutcome::WrongBytes);
    const bool stopped = session.StopService();
    return exact && service.served == settings.units && flooded.served == settings.units && stopped ? 0 : 1;
}
