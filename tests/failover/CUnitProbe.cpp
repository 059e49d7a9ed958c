#include "CUnitProbe.h"

#include "CFailoverNetwork.h"
#include "RawSocket.h"
#include "Wire.h"

#include <algorithm>
#include <poll.h>

namespace {

// A server that is gone drops the connection attempt without a word: the unit tries again
// soon rather than wait for the system's retries.
constexpr int kConnectTimeOutMs = 300;
constexpr int kReplyTimeOutMs = 2000;
constexpr auto kPause = std::chrono::milliseconds(20);
// Enough for any failover a test waits for, at one request every 20 ms.
constexpr size_t kRequestsKept = 20000;

enum class EReply
{
    Served,
    Unanswered,
    Refused,
    Wrong
};

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

// The reply to one request for id, and whether the server closed the connection after it.
std::string Exchange(const std::string& host, uint16_t port, const std::string& id, const std::string& mask,
                     bool* closed)
{
    *closed = false;
    RawSocket socket = RawSocket::ConnectPending(AF_INET, host.c_str(), port);
    if (socket.Valid() && WaitConnected(socket, kConnectTimeOutMs) &&
        socket.SendAll(Wire::Request(16) + Wire::Data(id) + Wire::Data(mask) + Wire::Ack() + Wire::Ack())) {
        socket.ShutdownWrite();
        return ReadToClose(socket, kReplyTimeOutMs, closed);
    }
    return "";
}

// Served when the reply shows one of keys (none: a refusal).
EReply Classify(const std::string& reply, bool closed, const std::string& id, const std::string& mask,
                const std::vector<std::optional<std::string>>& keys)
{
    const std::string head = Wire::Ack() + Wire::Ack() + Wire::Ack();
    const bool refusal = closed && reply.size() == head.size() + Wire::Status(0, 0).size() &&
                         reply.starts_with(head + Wire::Header(5, 24));
    const size_t sealedSize = Wire::Seal(std::string(32, '\0'), id, mask).size();
    const std::string keyHead = head + Wire::Header(2, static_cast<uint32_t>(sealedSize));
    // A reply cut short by a server's end may stop anywhere; a key it carries counts.
    const bool carriesKey = reply.size() >= keyHead.size() + sealedSize && reply.starts_with(keyHead);
    bool carriesAnExpectedKey = false;
    for (const std::optional<std::string>& key : keys) {
        if (!key) {
            if (refusal) {
                return EReply::Served;
            }
            continue;
        }
        const std::string sealed = Wire::Seal(*key, id, mask);
        if (closed && reply == keyHead + sealed + Wire::Status(0, 0)) {
            return EReply::Served;
        }
        carriesAnExpectedKey =
            carriesAnExpectedKey || (carriesKey && reply.compare(keyHead.size(), sealedSize, sealed) == 0);
    }
    if (carriesKey && !carriesAnExpectedKey) {
        return EReply::Wrong;
    }
    return refusal ? EReply::Refused : EReply::Unanswered;
}

} // namespace

CUnitProbe::CUnitProbe(const std::string& unitNamespace, const std::string& host, uint16_t port,
                       std::vector<SUnit> units)
    : m_host(host), m_port(port)
{
    for (SUnit& unit : units) {
        m_units.push_back({std::move(unit.id), {std::move(unit.key)}});
    }
    m_thread = std::thread([this, unitNamespace] { Run(unitNamespace); });
}

CUnitProbe::~CUnitProbe()
{
    m_stop = true;
    m_thread.join();
}

bool CUnitProbe::Serves(const std::string& host, uint16_t port, const SUnit& unit)
{
    const std::string mask = "unit check";
    bool closed = false;
    const std::string reply = Exchange(host, port, unit.id, mask, &closed);
    return Classify(reply, closed, unit.id, mask, {unit.key}) == EReply::Served;
}

bool CUnitProbe::Change(const SUnit& unit, const std::function<bool()>& write)
{
    std::unique_lock<std::mutex> lock(m_lock);
    const auto entry =
        std::find_if(m_units.begin(), m_units.end(), [&](const SExpected& known) { return known.id == unit.id; });
    if (entry == m_units.end()) {
        return false;
    }
    const std::optional<std::string> before = entry->keys.back();
    entry->keys = {before, unit.key};
    lock.unlock();
    const bool written = write();
    lock.lock();
    entry->keys = {written ? unit.key : before};
    return written;
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

CUnitProbe::SExpected CUnitProbe::Expected(size_t unit)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_units[unit];
}

void CUnitProbe::Ask(uint64_t number)
{
    const std::string mask = "unit mask " + std::to_string(number);
    // The units never change in number; a change of a unit's key only while the request is
    // on its way lets the reply show either.
    SExpected expected = Expected(number % m_units.size());
    const auto start = Clock::now();
    bool closed = false;
    const std::string reply = Exchange(m_host, m_port, expected.id, mask, &closed);
    const auto end = Clock::now();
    const SExpected after = Expected(number % m_units.size());
    expected.keys.insert(expected.keys.end(), after.keys.begin(), after.keys.end());

    const EReply sorted = Classify(reply, closed, expected.id, mask, expected.keys);
    const std::lock_guard<std::mutex> guard(m_lock);
    switch (sorted) {
    case EReply::Served:
        ++m_counts.served;
        break;
    case EReply::Unanswered:
        ++m_counts.unanswered;
        break;
    case EReply::Refused:
        ++m_counts.refused;
        break;
    case EReply::Wrong:
        ++m_counts.wrong;
        break;
    }
    if (sorted == EReply::Refused || sorted == EReply::Wrong) {
        m_lastFault = expected.id + ": " + Wire::Hex(reply);
    }
    m_requests.push_back({start, end, sorted == EReply::Served});
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
