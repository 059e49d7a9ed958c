#include "CStormClient.h"

#include "BenchKeys.h"
#include "ExchangeScript.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Time-outs and retries are looked for this often; a finer look costs the client CPU that
// the service would lack.
constexpr auto kScanInterval = std::chrono::milliseconds(10);
// Connections made between two looks at those already made.
constexpr size_t kConnectBatch = 64;

struct Unit
{
    ExchangeScript script;
    int fd = -1;
    bool connecting = false;
    bool served = false;
    int tries = 0;
    size_t step = 0;
    size_t offset = 0;
    std::string got;
    Clock::time_point tryStart;
    Clock::time_point retryAt;
};

sockaddr_in LoopbackAddress(uint8_t second, size_t index)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    const uint32_t host = (127u << 24) | (static_cast<uint32_t>(second) << 16) |
                          (static_cast<uint32_t>(1 + index / 250) << 8) | static_cast<uint32_t>(1 + index % 250);
    address.sin_addr.s_addr = htonl(host);
    return address;
}

class CStormRun
{
public:
    CStormRun(const ServiceAddress& address, const StormSettings& settings)
        : m_address(address), m_settings(settings), m_epoll(epoll_create1(EPOLL_CLOEXEC))
    {
        if (m_epoll < 0) {
            throw std::runtime_error(std::string("epoll_create1: ") + std::strerror(errno));
        }
        CFastRandom random(settings.units);
        m_units.resize(settings.units);
        for (size_t i = 0; i < m_units.size(); ++i) {
            const size_t key = i % std::max<size_t>(settings.keys, 1);
            std::string mask(32, '\0');
            for (char& byte : mask) {
                byte = static_cast<char>(random.Next() >> 56);
            }
            const std::string id = BenchId(key);
            const LockKey sealed = SealForTransfer(BenchKey(key), id, mask);
            m_units[i].script = GetKeyScript(id, mask, sealed.data());
        }
    }
    ~CStormRun()
    {
        for (Unit& unit : m_units) {
            if (unit.fd >= 0) {
                close(unit.fd);
            }
        }
        close(m_epoll);
    }
    CStormRun(const CStormRun&) = delete;
    CStormRun& operator=(const CStormRun&) = delete;

    StormResult Run()
    {
        m_start = Clock::now();
        std::vector<epoll_event> events(1024);
        const auto giveUp = m_start + std::chrono::milliseconds(m_settings.giveUpMs);
        auto nextScan = Clock::now() + kScanInterval;
        size_t started = 0;
        while (m_result.served < m_units.size() && Clock::now() < giveUp) {
            // A unit sends its request as soon as it is connected: the connections of the
            // first units are served while the last ones are still being made.
            for (const size_t batch = std::min(m_units.size(), started + kConnectBatch); started < batch; ++started) {
                Try(started);
            }
            const int ready = epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()),
                                         started < m_units.size() ? 0 : static_cast<int>(kScanInterval.count()));
            for (int e = 0; e < ready; ++e) {
                const size_t index = events[static_cast<size_t>(e)].data.u32;
                if (m_units[index].fd >= 0) {
                    Advance(index);
                }
            }
            const auto now = Clock::now();
            if (now >= nextScan) {
                Scan(now, started);
                nextScan = now + kScanInterval;
            }
        }
        return m_result;
    }

private:
    static const ExchangeStep& Current(const Unit& unit) { return unit.script[unit.step]; }

    // The units started so far.
    void Scan(Clock::time_point now, size_t started)
    {
        for (size_t i = 0; i < started; ++i) {
            Unit& unit = m_units[i];
            if (unit.fd >= 0 && now - unit.tryStart > std::chrono::milliseconds(m_settings.attemptTimeOutMs)) {
                Fail(i, {ExchangeOutcome::TimedOut, std::string("waiting for ") + Current(unit).what});
            } else if (unit.fd < 0 && !unit.served && now >= unit.retryAt) {
                Try(i);
            }
        }
    }

    void Try(size_t index)
    {
        Unit& unit = m_units[index];
        ++m_result.attempts;
        ++unit.tries;
        unit.step = 0;
        unit.offset = 0;
        unit.tryStart = Clock::now();
        unit.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (unit.fd < 0) {
            Fail(index, {ExchangeOutcome::ConnectFailed, std::string("socket: ") + std::strerror(errno)});
            return;
        }
        const int one = 1;
        setsockopt(unit.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const sockaddr_in source = CStormClient::UnitAddress(index);
        if (bind(unit.fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0) {
            Fail(index, {ExchangeOutcome::ConnectFailed, std::string("bind: ") + std::strerror(errno)});
            return;
        }
        if (connect(unit.fd, reinterpret_cast<const sockaddr*>(&m_address.storage), m_address.length) != 0 &&
            errno != EINPROGRESS) {
            Fail(index, {ExchangeOutcome::ConnectFailed, std::string("connect: ") + std::strerror(errno)});
            return;
        }
        unit.connecting = true;
        epoll_event interest{};
        interest.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
        interest.data.u32 = static_cast<uint32_t>(index);
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, unit.fd, &interest);
    }

    void Close(Unit& unit)
    {
        if (unit.fd >= 0) {
            close(unit.fd);
            unit.fd = -1;
        }
    }

    void Fail(size_t index, const ExchangeResult& result)
    {
        Unit& unit = m_units[index];
        Close(unit);
        if (unit.tries == 1) {
            ++m_result.turnedAway;
        }
        ++m_result.failures[result.outcome];
        m_result.firstDetail.emplace(result.outcome, result.detail);
        unit.retryAt = Clock::now() + std::chrono::milliseconds(m_settings.retryMs);
    }

    void Served(Unit& unit)
    {
        const auto end = Clock::now();
        Close(unit);
        unit.served = true;
        ++m_result.served;
        m_result.latency.Record(std::chrono::duration_cast<std::chrono::nanoseconds>(end - m_start).count());
        m_result.allServedSeconds = std::chrono::duration<double>(end - m_start).count();
    }

    // Runs the unit's exchange as far as its socket allows without waiting.
    void Advance(size_t index)
    {
        Unit& unit = m_units[index];
        if (unit.connecting) {
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(unit.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0) {
                Fail(index, {ExchangeOutcome::ConnectFailed, std::string("connect: ") + std::strerror(error)});
                return;
            }
            unit.connecting = false;
        }
        for (;;) {
            const ExchangeStep& step = Current(unit);
            if (step.kind == ExchangeStep::Kind::Send) {
                const ssize_t sent =
                    send(unit.fd, step.bytes.data() + unit.offset, step.bytes.size() - unit.offset, MSG_NOSIGNAL);
                if (sent < 0) {
                    if (errno != EAGAIN && errno != EINTR) {
                        Fail(index, {ExchangeOutcome::ClosedEarly,
                                     std::string("send ") + step.what + ": " + std::strerror(errno)});
                    }
                    return;
                }
                unit.offset += static_cast<size_t>(sent);
            } else if (step.kind == ExchangeStep::Kind::Expect) {
                unit.got.resize(step.bytes.size());
                const ssize_t count = recv(unit.fd, unit.got.data() + unit.offset, step.bytes.size() - unit.offset, 0);
                if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
                    return;
                }
                if (count <= 0) {
                    Fail(index, {ExchangeOutcome::ClosedEarly,
                                 std::string("closed before ") + step.what +
                                     (count < 0 ? std::string(": ") + std::strerror(errno) : std::string())});
                    return;
                }
                unit.offset += static_cast<size_t>(count);
                if (unit.offset == step.bytes.size() && unit.got != step.bytes) {
                    Fail(index, {ExchangeOutcome::WrongBytes, DescribeMismatch(step, unit.got)});
                    return;
                }
            } else {
                char extra[16];
                const ssize_t count = recv(unit.fd, extra, sizeof extra, 0);
                if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
                    return;
                }
                if (count > 0) {
                    Fail(index, {ExchangeOutcome::WrongBytes, "bytes after the status"});
                    return;
                }
                // The close, or a reset after the last ACK: the unit has its key.
                Served(unit);
                return;
            }
            if (unit.offset == step.bytes.size()) {
                ++unit.step;
                unit.offset = 0;
            }
        }
    }

    const ServiceAddress& m_address;
    const StormSettings& m_settings;
    const int m_epoll;
    std::vector<Unit> m_units;
    Clock::time_point m_start;
    StormResult m_result;
};

} // namespace

sockaddr_in CStormClient::UnitAddress(size_t unit)
{
    return LoopbackAddress(0, unit);
}

sockaddr_in CStormClient::SilentPeerAddress(size_t peer)
{
    return LoopbackAddress(1, peer);
}

StormResult CStormClient::Run() const
{
    CStormRun run(m_address, m_settings);
    return run.Run();
}
