// What the service holds under hostile pushers, and how long a large push takes.
#include "BenchKeys.h"
#include "CHostilePushers.h"
#include "CLatencyStats.h"
#include "Scenarios.h"
#include "Wire.h"
#include "protocol/CKeyServerClient.h"
#include "settings/CKeyStore.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kPassword = "bench-coop-pass";
const std::string kMask = "bench-push-mask-0123456789abcdef";

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string MaskedPassword(std::string_view password, std::string_view mask)
{
    std::string masked(password);
    for (size_t i = 0; i < masked.size() && i < mask.size(); ++i) {
        masked[i] = static_cast<char>(static_cast<uint8_t>(masked[i]) + static_cast<uint8_t>(mask[i]));
    }
    return masked;
}

std::string KeyText(const LockKey& key)
{
    return std::string(reinterpret_cast<const char*>(key.data()), key.size());
}

// A push as a hostile peer sends it: pairs of a 12-character identifier and a 32-byte key
// under a wrong password, and never the mask that ends it.
std::string HostilePush(size_t pairs)
{
    std::string bytes = Wire::Header(1, 512) + Wire::Data("wrong") + Wire::Int(65536);
    const std::string key(32, 'K');
    for (size_t i = 0; i < pairs; ++i) {
        bytes += Wire::Data(BenchId(i)) + Wire::Data(key);
    }
    return bytes;
}

void RunHostile(const char* label, const BenchOptions& options, int count)
{
    CBenchSession session(options);
    session.RegisterUpTo(1);
    session.StartService();
    Harness::CTernwickProcess& service = session.Service();
    const long before = service.ResidentKiB();
    std::atomic<bool> sampling{true};
    long peakThreads = 0;
    std::thread sampler([&] {
        while (sampling) {
            peakThreads = std::max(peakThreads, service.ThreadCount());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    CHostilePushers pushers(session.Address(), HostilePush(options.pushPairs), 3 + 2 * options.pushPairs);
    const auto start = Clock::now();
    const bool complete = pushers.Push(count, 900000);
    const double pushMs = MillisecondsSince(start);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    sampling = false;
    sampler.join();
    const long now = service.ResidentKiB();
    const long peak = service.PeakResidentKiB();
    const size_t closed = pushers.CountClosed();
    uint64_t served = 0;
    CLatencyStats probe;
    const LockKey sealed = SealForTransfer(BenchKey(0), BenchId(0), kMask);
    for (int i = 0; i < 20; ++i) {
        const auto asked = Clock::now();
        if (CRawUnitClient(session.Address(), options.timeOutMs).GetKey(BenchId(0), kMask, sealed.data()).Ok()) {
            ++served;
            probe.Record(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - asked).count());
        }
    }
    std::printf("%s: %d pushers of %zu pairs (%zu bytes each)%s in %.0f ms: %zu closed by the service, "
                "%zu holding; VmRSS %ld KiB before, %ld KiB after (%.1f MiB), peak %.1f MiB, %ld threads (peak %ld); "
                "GET_KEY meanwhile %llu of 20 served, p50 %.3f ms\n",
                label, count, options.pushPairs, HostilePush(options.pushPairs).size(), complete ? "" : " (TIMED OUT)",
                pushMs, closed, static_cast<size_t>(count) - closed, before, now, static_cast<double>(now) / 1024.0,
                static_cast<double>(peak) / 1024.0, service.ThreadCount(), peakThreads,
                static_cast<unsigned long long>(served), static_cast<double>(probe.Percentile(50)) / 1e6);
    const std::string target = std::string(label) + ", " + std::to_string(count) + " pushers: peak resident < 256 MiB";
    ReportTarget(target.c_str(), peak > 0 && peak < 256 * 1024);
    session.StopService();
}

std::vector<CKeyRecord> SealedRecords(size_t first, size_t count)
{
    std::vector<CKeyRecord> records(count);
    for (size_t i = 0; i < count; ++i) {
        const std::string id = BenchId(first + i);
        records[i].SetId(id);
        records[i].SetKey(SealForTransfer(BenchKey(first + i), id, kMask).data());
    }
    return records;
}

// The console's copy: every packet waits for its acknowledgement. Milliseconds to the status.
double PushWithClient(uint16_t port, size_t first, size_t count)
{
    const std::vector<CKeyRecord> records = SealedRecords(first, count);
    const auto start = Clock::now();
    CKeyServerClient client;
    client.Open("127.0.0.1", port);
    client.StoreKeys(kPassword, records, CMaskBuffer(kMask.data(), kMask.size()));
    return MillisecondsSince(start);
}

// The pairs sent at once while their acknowledgements are read, then the mask: the
// service's own part. Milliseconds from the first byte to the status, and from the mask
// (every pair acknowledged) to the status: the wait a requester has for it.
std::pair<double, double> PushPipelined(const ServiceAddress& address, size_t first, size_t count)
{
    std::string pairs =
        Wire::Header(1, 512) + Wire::Data(MaskedPassword(kPassword, kMask)) + Wire::Int(static_cast<int32_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const std::string id = BenchId(first + i);
        pairs += Wire::Data(id) + Wire::Data(KeyText(SealForTransfer(BenchKey(first + i), id, kMask)));
    }
    const int fd = socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
        close(fd);
        throw std::runtime_error("push: cannot connect");
    }
    const auto start = Clock::now();
    std::thread sender([&] {
        for (size_t done = 0; done < pairs.size();) {
            const ssize_t sent = send(fd, pairs.data() + done, pairs.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) {
                break;
            }
            done += static_cast<size_t>(sent);
        }
    });
    std::string reply;
    const auto readUpTo = [&reply, fd](size_t size) {
        char buffer[65536];
        while (reply.size() < size) {
            const ssize_t got = recv(fd, buffer, std::min(sizeof buffer, size - reply.size()), 0);
            if (got <= 0) {
                return;
            }
            reply.append(buffer, static_cast<size_t>(got));
        }
    };
    readUpTo((3 + 2 * count) * 8);
    sender.join();
    const auto maskAt = Clock::now();
    const std::string mask = Wire::Data(kMask);
    send(fd, mask.data(), mask.size(), MSG_NOSIGNAL);
    const size_t replyBytes = (3 + 2 * count + 1) * 8 + 32;
    readUpTo(replyBytes);
    const auto statusAt = Clock::now();
    send(fd, Wire::Header(3, 0).data(), 8, MSG_NOSIGNAL);
    close(fd);
    if (reply.size() < replyBytes || reply.compare(replyBytes - 32, 8, Wire::Header(5, 24)) != 0 ||
        reply.compare(replyBytes - 24, 24, std::string(24, '\0')) != 0) {
        throw std::runtime_error("push: no status (0, 0) after the pairs");
    }
    return {std::chrono::duration<double, std::milli>(statusAt - start).count(),
            std::chrono::duration<double, std::milli>(statusAt - maskAt).count()};
}

} // namespace

int RunHostilePushScenario(const BenchOptions& options)
{
    RunHostile("hostile-push", options, options.pushers);
    return 0;
}

int RunHalfSentScenario(const BenchOptions& options)
{
    BenchOptions half = options;
    half.pushPairs = options.pushPairs / 2;
    RunHostile("half-sent", half, options.pushers);
    return 0;
}

int RunPushScenario(const BenchOptions& options)
{
    CBenchSession session(options);
    session.RegisterUpTo(1);
    if (CKeyStore().WritePassword(kPassword) == 0) {
        throw std::runtime_error("cannot write the cooperation password");
    }
    session.StartService();
    std::vector<double> client;
    std::vector<double> pipelined;
    std::vector<double> afterLast;
    size_t first = 0x100000;
    for (int round = 0; round < 3; ++round) {
        client.push_back(PushWithClient(session.Port(), first, options.keys));
        first += options.keys;
        const auto [total, tail] = PushPipelined(session.Address(), first, options.keys);
        pipelined.push_back(total);
        afterLast.push_back(tail);
        first += options.keys;
    }
    const auto list = CKeyStore().LoadKeyList();
    const bool stored = list.size() == 1 + 6 * options.keys &&
                        list.at(BenchId(first - 1)).GetKey().View() == KeyText(BenchKey(first - 1));
    std::printf("push: %zu keys, median of 3: the console's client (each packet awaits its ACK) %.0f ms to the "
                "status; pairs sent at once %.0f ms to the status, of which %.0f ms from the mask to the status; %s\n",
                options.keys, Median(client), Median(pipelined), Median(afterLast),
                stored ? "every key stored" : "KEYS MISSING");
    ReportTarget("10,000 pushed keys stored and answered within 1 s of the mask",
                 options.keys >= 10000 && stored && Median(afterLast) < 1000.0);
    const bool stopped = session.StopService();
    return stored && stopped ? 0 : 1;
}
