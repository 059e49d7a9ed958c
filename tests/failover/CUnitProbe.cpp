#include "CUnitProbe.h"

#include "CFailoverNetwork.h"
#include "RawSocket.h"
#include "Wire.h"

#include <poll.h>

namespace {

// A server that is gone drops the connection attempt without a word: the unit tries again
// soon rather than wait for the system's retries.
constexpr int kConnectTimeOutMs = 300;
constexpr int kReplyTimeOutMs = 2000;
constexpr auto kPause = std::chrono::milliseconds(20);
// Enough for any failover a test waits for, at one request every 20 ms.
constexpr size_t kRequestsKept = 20000;

bool WaitConnected(const RawSocket& socket, int timeOutMs)
{
    pollfd entry{socket.Fd(), POLLOUT, 0};
    if (poll(&entry, 1, timeOutMs) != 1) {
        return false;
    }
    return RawSocket::IntOption(socket.Fd(), SOL_SOCKET, SO_ERROR) == 0;
}

std::string ReadToClose(const RawSocket& socket, int timeOutMs, bool* closed)
{
    const auto deadline = CUnitProbe::Clock::now() + std::chrono::milliseconds(timeOutMs);
    std::string bytes;
    *closed = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - CUnitProbe::Clock::now());
        if (left.count() <= 0 || !socket.WaitReadable(static_cast<int>(left.count()))) {
            return bytes;
        }
        char buffer[4096];
        const long got = socket.Receive(buffer, sizeof buffer);
        if (got <= 0) {
            *closed = got == 0;
            return bytes;
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

} // namespace

CUnitProbe::CUnitProbe(const std::string& unitNamespace, const std::string& host, uint16_t port, const std::string& id,
                       const std::string& key)
    : m_host(host), m_port(port), m_id(id), m_key(key), m_thread([this, unitNamespace] { Run(unitNamespace); })
{}

CUnitProbe::~CUnitProbe()
{
    m_stop = true;
    m_thread.join();
}

void CUnitProbe::Run(const std::string& unitNamespace)
{
    if (!CFailoverNetwork::Enter(unitNamespace)) {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_lastFault = "cannot enter the unit's network namespace " + unitNamespace;
        return;
    }
    for (uint64_t number = 0; !m_stop; ++number) {
        Ask(number);
        std::this_thread::sleep_for(kPause);
    }
}

void CUnitProbe::Ask(uint64_t number)
{
    const std::string mask = "unit mask " + std::to_string(number);
    const auto start = Clock::now();
    RawSocket socket = RawSocket::ConnectPending(AF_INET, m_host.c_str(), m_port);
    std::string reply;
    bool closed = false;
    if (socket.Valid() && WaitConnected(socket, kConnectTimeOutMs) &&
        socket.SendAll(Wire::Request(16) + Wire::Data(m_id) + Wire::Data(mask) + Wire::Ack() + Wire::Ack())) {
        socket.ShutdownWrite();
        reply = ReadToClose(socket, kReplyTimeOutMs, &closed);
    }
    const auto end = Clock::now();

    const std::string head = Wire::Ack() + Wire::Ack() + Wire::Ack();
    const std::string sealed = Wire::Seal(m_key, m_id, mask);
    const std::string keyHead = head + Wire::Header(2, static_cast<uint32_t>(sealed.size()));
    const std::string statusHead = head + Wire::Header(5, 24);
    // A reply cut short by a server's end may stop anywhere; a key it carries counts.
    const bool carriesKey = reply.size() >= keyHead.size() + sealed.size() && reply.starts_with(keyHead);
    const std::lock_guard<std::mutex> guard(m_lock);
    const bool served = closed && reply == keyHead + sealed + Wire::Status(0, 0);
    if (served) {
        ++m_counts.served;
    } else if (carriesKey && reply.compare(keyHead.size(), sealed.size(), sealed) != 0) {
        ++m_counts.wrong;
        m_lastFault = Wire::Hex(reply);
    } else if (closed && reply.size() == head.size() + Wire::Status(0, 0).size() && reply.starts_with(statusHead)) {
        ++m_counts.refused;
        m_lastFault = Wire::Hex(reply);
    } else {
        ++m_counts.unanswered;
    }
    m_requests.push_back({start, end, served});
    if (m_requests.size() > kRequestsKept) {
        m_requests.pop_front();
    }
    m_changed.notify_all();
}

std::optional<CUnitProbe::Clock::time_point> CUnitProbe::WaitServedAfter(Clock::time_point since, int timeOutMs)
{
    return WaitServed(since, false, timeOutMs);
}

std::optional<CUnitProbe::Clock::time_point> CUnitProbe::WaitServedAgain(Clock::time_point since, int timeOutMs)
{
    return WaitServed(since, true, timeOutMs);
}

std::optional<CUnitProbe::Clock::time_point> CUnitProbe::WaitServed(Clock::time_point since, bool afterAFailure,
                                                                    int timeOutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    std::optional<Clock::time_point> served;
    m_changed.wait_for(lock, std::chrono::milliseconds(timeOutMs), [&] {
        bool failed = !afterAFailure;
        for (const SRequest& request : m_requests) {
            if (request.sent < since) {
                continue;
            }
            if (failed && request.served) {
                served = request.done;
                return true;
            }
            failed = failed || !request.served;
        }
        return false;
    });
    return served;
}

CUnitProbe::SCounts CUnitProbe::Counts()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_counts;
}

std::string CUnitProbe::LastFault()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_lastFault;
}
