// Two key services paired as peers: how soon a change is served by the other, how long
// and how many bytes a catch-up takes, and what sync costs the unit's request.
#include "BenchKeys.h"
#include "LoadRun.h"
#include "RawSocket.h"
#include "Scenarios.h"
#include "keys/CKeyRecord.h"
#include "protocol/CKeyServerClient.h"
#include "settings/CKeyStore.h"
#include "sync/CPeerStore.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kSecretHex = "5e0c7a92d1b34f6a8e27c9015b6d3f48a2e7c1094d5b6a3f8e2c7d105a9b4e36";

std::string Unhex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

std::string HexOf(const LockKey& key)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const uint8_t byte : key) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

// Forwards every connection to a port on loopback and counts the bytes both ways.
class CCountingProxy
{
public:
    explicit CCountingProxy(uint16_t target)
        : m_target(target), m_listener(RawSocket::Listen(AF_INET, "127.0.0.1", 0, 16))
    {
        if (!m_listener.Valid()) {
            throw std::runtime_error("cannot listen for the proxy");
        }
        m_thread = std::thread([this] { Accept(); });
    }
    ~CCountingProxy()
    {
        m_stopping = true;
        RawSocket::Connect(AF_INET, "127.0.0.1", m_listener.Port());
        m_thread.join();
        for (std::thread& pump : m_pumps) {
            pump.join();
        }
    }
    uint16_t Port() const { return m_listener.Port(); }
    uint64_t Bytes() const { return m_bytes; }

private:
    void Accept()
    {
        while (!m_stopping) {
            RawSocket near = m_listener.Accept();
            if (m_stopping || !near.Valid()) {
                break;
            }
            m_pumps.emplace_back([this, near = std::move(near)]() mutable {
                RawSocket far = RawSocket::Connect(AF_INET, "127.0.0.1", m_target);
                if (far.Valid()) {
                    // As direct as the connection it stands for: no segment held back.
                    near.SetNoDelay();
                    far.SetNoDelay();
                    Pump(near, far);
                }
            });
        }
    }
    void Pump(RawSocket& near, RawSocket& far)
    {
        pollfd fds[2] = {{near.Fd(), POLLIN, 0}, {far.Fd(), POLLIN, 0}};
        char buffer[65536];
        while (!m_stopping && poll(fds, 2, 200) >= 0) {
            for (int side = 0; side < 2; ++side) {
                if ((fds[side].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                    continue;
                }
                RawSocket& from = side == 0 ? near : far;
                RawSocket& to = side == 0 ? far : near;
                const long count = from.Receive(buffer, sizeof buffer);
                if (count <= 0 || !to.SendAll(std::string_view(buffer, static_cast<size_t>(count)))) {
                    return;
                }
                m_bytes += static_cast<uint64_t>(count);
            }
        }
    }

    uint16_t m_target;
    RawSocket m_listener;
    std::atomic<bool> m_stopping{false};
    std::atomic<uint64_t> m_bytes{0};
    std::thread m_thread;
    std::vector<std::thread> m_pumps;
};

// The second key service, on a state directory of its own, changed through the store tool.
struct SPeerServer
{
    Harness::CTempDir dir;
    std::string state = dir.Path() + "/state";
    uint16_t port = 0;
    std::unique_ptr<Harness::CTernwickProcess> service;

    SPeerServer()
    {
        if (mkdir(state.c_str(), 0700) != 0 || Harness::StoreTool(state, {"layout"}) != 0) {
            throw std::runtime_error("cannot make the peer's store");
        }
        port = Harness::FreePort();
        Harness::StoreTool(state, {"port", std::to_string(port)});
        // This program asks for each change until it is served: its misses are not throttled.
        Harness::StoreTool(state, {"guard", "0", "50", "0", ""});
    }
    void Start()
    {
        if (!Harness::StartServing(state, service, port)) {
            throw std::runtime_error("the peer's service did not start");
        }
    }
    void Pair(uint16_t peerPort)
    {
        Harness::StoreTool(state, {"unpeer", "a"});
        Harness::StoreTool(state, {"peer", "a", "127.0.0.1", std::to_string(peerPort), kSecretHex});
    }
};

std::string Served(uint16_t port, size_t unit)
{
    try {
        CKeyServerClient client;
        client.SetTimeOut(2000);
        client.Open("127.0.0.1", port);
        CMaskBuffer mask;
        const std::string maskBytes(32, 'm');
        mask.Assign(maskBytes.data(), maskBytes.size());
        CKeyRecord record = client.GetKey(BenchId(unit), mask);
        record.SetId(BenchId(unit));
        record.SetTransferMask(maskBytes);
        record.OpenFromTransfer();
        LockKey key{};
        std::copy(record.GetKey().Data(), record.GetKey().Data() + key.size(), key.begin());
        return HexOf(key);
    } catch (const std::exception&) {
        return "";
    }
}

bool WaitServed(uint16_t port, size_t unit, const LockKey& key, int timeOutMs)
{
    const std::string expected = HexOf(key);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutMs);
    while (Served(port, unit) != expected) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool Register(size_t unit, uint32_t generation)
{
    const LockKey key = BenchKey(unit, generation);
    CKeyRecord record;
    record.SetId(BenchId(unit));
    record.SetKey(key.data());
    return CKeyStore().StoreKey(record) == 1;
}

void PairHere(uint16_t port)
{
    CPeerStore().Remove("b");
    CPeerStore::SPeer peer{"b", "127.0.0.1", port, Unhex(kSecretHex), {}};
    CPeerStore().Add(peer);
}

} // namespace

int RunSyncScenario(const BenchOptions& options)
{
    CBenchSession session(options);
    session.RegisterUpTo(options.keys);
    SPeerServer peer;
    CCountingProxy toPeer(peer.port);
    CCountingProxy toHere(session.Port());
    PairHere(toPeer.Port());
    peer.Pair(toHere.Port());
    session.StartService();
    peer.Start();
    if (!WaitServed(peer.port, options.keys - 1, BenchKey(options.keys - 1), 30000)) {
        std::printf("sync: the peer never caught up with %zu keys\n", options.keys);
        return 1;
    }
    int failures = 0;

    // A change here, served there.
    const size_t trials = static_cast<size_t>(options.trials);
    CLatencyStats latency;
    for (size_t i = 0; i < trials; ++i) {
        const size_t unit = options.keys + i % 10;
        const uint32_t generation = static_cast<uint32_t>(i + 1);
        const auto start = Clock::now();
        if (!Register(unit, generation) || !WaitServed(peer.port, unit, BenchKey(unit, generation), 10000)) {
            ++failures;
            continue;
        }
        latency.Record(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
    }
    std::printf("sync: change here -> served by the peer over %zu changes: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                latency.Count(), static_cast<double>(latency.Percentile(50)) / 1e6,
                static_cast<double>(latency.Percentile(99)) / 1e6, static_cast<double>(latency.Max()) / 1e6);
    ReportTarget("a change served by the peer within 2 s (p99)", latency.Percentile(99) <= 2'000'000'000);

    // A partition: the peer is away while 10,000 keys change here.
    constexpr size_t kChanged = 10000;
    peer.service->Stop(10000);
    const size_t first = options.keys + 100;
    std::vector<CKeyRecord> records(kChanged);
    for (size_t i = 0; i < kChanged; ++i) {
        const LockKey key = BenchKey(first + i);
        records[i].SetId(BenchId(first + i));
        records[i].SetKey(key.data());
    }
    CKeyStore().StoreKeys(records);
    const uint64_t bytesBefore = toPeer.Bytes() + toHere.Bytes();
    const auto start = Clock::now();
    peer.Start();
    const bool caughtUp = WaitServed(peer.port, first + kChanged - 1, BenchKey(first + kChanged - 1), 60000) &&
                          WaitServed(peer.port, first, BenchKey(first), 10000);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("sync: catch-up of %zu changed keys after a partition: %.2f s from the peer's start, %.0f KiB on the "
                "wire (%.0f bytes a key)\n",
                kChanged, seconds, static_cast<double>(toPeer.Bytes() + toHere.Bytes() - bytesBefore) / 1024,
                static_cast<double>(toPeer.Bytes() + toHere.Bytes() - bytesBefore) / kChanged);
    failures += caughtUp ? 0 : 1;

    // What one peer's sync costs the unit's request: alternating rounds with the peer
    // paired and without, a key changing here every 200 ms in both.
    std::atomic<bool> writing{true};
    std::thread writer([&writing, &options] {
        for (uint32_t generation = 1000; writing; ++generation) {
            Register(options.keys + 50, generation);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    LoadSettings settings = SettingsOf(options);
    settings.seconds = options.warmupSeconds;
    RunLoad(session.Address(), settings);
    settings.seconds = options.seconds;
    std::vector<double> rates[2];
    for (int round = 0; round < options.rounds; ++round) {
        for (int paired = 1; paired >= 0; --paired) {
            if (paired == 1) {
                PairHere(toPeer.Port());
                peer.Pair(toHere.Port());
            } else {
                CPeerStore().Remove("b");
                Harness::StoreTool(peer.state, {"unpeer", "a"});
            }
            const LoadResult result = RunLoad(session.Address(), settings);
            failures += result.errors > 0 ? 1 : 0;
            rates[paired].push_back(result.Rate());
            const std::string label =
                "  round " + std::to_string(round + 1) + (paired == 1 ? " with the peer" : " without");
            PrintLoad(label.c_str(), result);
        }
    }
    writing = false;
    writer.join();
    const double ratio = Median(rates[1]) / Median(rates[0]);
    std::printf("sync: median GET_KEY/s with the peer syncing %.0f, without %.0f: %.3fx\n", Median(rates[1]),
                Median(rates[0]), ratio);
    ReportTarget("GET_KEY with one peer syncing: at least 0.95x the rate without", ratio >= 0.95);
    peer.service->Stop(10000);
    return failures == 0 && session.StopService() ? 0 : 1;
}
