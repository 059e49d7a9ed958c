// Figures of the socket layer alone, on loopback: accepted connections per second, the round
// trip of an 8-byte write/read pair, and the delay from a cancel signal to Accept returning.
#include "net/CSocketEvent.h"
#include "net/CStrmCltSocket.h"
#include "net/CStrmSrvSocket.h"
#include "platform/CEvent.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ZiRez;
using Clock = std::chrono::steady_clock;

namespace {

double Micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

void Report(const char* what, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples) {
        sum += s;
    }
    const auto at = [&](double q) { return samples[static_cast<size_t>(q * static_cast<double>(samples.size() - 1))]; };
    std::printf("%-34s n=%zu mean=%.1f us median=%.1f us p99=%.1f us max=%.1f us\n", what, samples.size(),
                sum / static_cast<double>(samples.size()), at(0.5), at(0.99), samples.back());
}

bool RawConnect(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

void AcceptRate(int connections)
{
    CStrmSrvSocket server(FAMILY_UNSPEC, SOCKET_STREAM, true, false, 0, nullptr, 10000);
    server.Open(0);
    const uint16_t port = server.BaseSocket().BoundPort(FAMILY_INET);
    constexpr int kClients = 2;
    std::vector<std::thread> clients;
    const auto start = Clock::now();
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&] {
            for (int i = 0; i < connections / kClients; ++i) {
                RawConnect(port);
            }
        });
    }
    for (int i = 0; i < connections / kClients * kClients; ++i) {
        server.CloseConnection(server.Accept());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (auto& client : clients) {
        client.join();
    }
    std::printf("%-34s %d connections in %.3f s: %.0f accepts/s\n", "accept (2 raw clients)", connections, seconds,
                connections / seconds);
}

void RoundTrip(int rounds)
{
    CStrmSrvSocket server(FAMILY_UNSPEC, SOCKET_STREAM, true, false, 0, nullptr, 10000);
    server.Open(0);
    const uint16_t port = server.BaseSocket().BoundPort(FAMILY_INET);
    std::thread echo([&] {
        const int index = server.Accept();
        char buffer[8];
        for (;;) {
            const int got = server.Read(index, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            server.Write(index, buffer, got);
        }
        server.CloseConnection(index);
    });
    std::vector<double> samples;
    {
        CStrmCltSocket client(FAMILY_INET, nullptr, 10000);
        client.Open("127.0.0.1", port);
        const char request[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        char reply[8];
        for (int i = 0; i < rounds; ++i) {
            const auto start = Clock::now();
            client.Write(request, 8);
            int got = 0;
            while (got < 8) {
                got += client.Read(reply + got, 8 - got);
            }
            samples.push_back(Micros(Clock::now() - start));
        }
    }
    echo.join();
    Report("8-byte write/read round trip", samples);
}

void CancelDelay(int rounds, bool dualStack)
{
    Platform::CEvent cancel(false, false);
    CStrmSrvSocket server(FAMILY_UNSPEC, SOCKET_STREAM, true, dualStack, 0, &cancel, -1);
    server.Open(0);
    std::atomic<int> phase{0};
    std::atomic<int64_t> returnedAt{0};
    std::vector<double> samples;
    std::thread accepting([&] {
        for (int i = 0; i < rounds; ++i) {
            while (phase.load() != 2 * i + 1) {
                std::this_thread::yield();
            }
            try {
                server.Accept();
            } catch (const CSocketEvent&) {
                returnedAt = Clock::now().time_since_epoch().count();
            }
            phase = 2 * i + 2;
        }
    });
    for (int i = 0; i < rounds; ++i) {
        phase = 2 * i + 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // let Accept reach its wait
        const auto setAt = Clock::now();
        cancel.Set();
        while (phase.load() != 2 * i + 2) {
            std::this_thread::yield();
        }
        samples.push_back(Micros(Clock::duration(returnedAt.load()) - setAt.time_since_epoch()));
    }
    accepting.join();
    Report(dualStack ? "cancel to Accept return (dual)" : "cancel to Accept return (IPv4)", samples);
}

} // namespace

int main(int argc, char** argv)
{
    const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    AcceptRate(4000 * scale);
    RoundTrip(20000 * scale);
    CancelDelay(200 * scale, false);
    CancelDelay(200 * scale, true);
    return 0;
}
