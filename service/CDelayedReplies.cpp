#include "CDelayedReplies.h"

#include "net/CStrmSrvSocket.h"
#include "net/ReadinessPoll.h"
#include "protocol/Packet.h"

#include <algorithm>

namespace {

constexpr auto kTickPeriod = std::chrono::seconds(1);

} // namespace

CDelayedReplies::CDelayedReplies() : m_thread([this] { Run(); }) {}

CDelayedReplies::~CDelayedReplies()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.Set();
    m_thread.join();
    for (SParked& parked : m_parked) {
        parked.server->CloseConnection(parked.index);
    }
}

void CDelayedReplies::Park(std::shared_ptr<ZiRez::CStrmSrvSocket> server, int index, std::string reply,
                           Clock::time_point due, size_t acknowledged)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_incoming.push_back(SParked{std::move(server), index, std::move(reply), due, false, acknowledged});
    }
    m_wake.Set();
}

void CDelayedReplies::SetTick(std::function<void(Clock::time_point)> tick)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_tick = std::move(tick);
}

void CDelayedReplies::Finish(SParked& parked)
{
    parked.server->CloseConnection(parked.index);
    parked.server.reset();
}

int CDelayedReplies::Advance(Clock::time_point now)
{
    Clock::time_point next = now + kTickPeriod;
    for (SParked& parked : m_parked) {
        if (!parked.server) {
            continue;
        }
        if (parked.due <= now) {
            if (parked.replied) {
                Finish(parked); // no acknowledgement in time
                continue;
            }
            // A reply that does not fit now (a peer that reads nothing) is not waited for.
            const int size = static_cast<int>(parked.reply.size());
            if (parked.server->SendNow(parked.index, parked.reply.data(), size) != size) {
                Finish(parked);
                continue;
            }
            if (parked.acknowledged >= kHeaderSize) {
                Finish(parked); // the peer sent its ACK ahead
                continue;
            }
            parked.replied = true;
            parked.due = now + std::chrono::milliseconds(kAckWaitMs);
        }
        next = std::min(next, parked.due);
    }
    std::erase_if(m_parked, [](const SParked& parked) { return !parked.server; });
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(next - now).count());
}

void CDelayedReplies::Run()
{
    Clock::time_point nextTick = Clock::now() + kTickPeriod;
    std::vector<ZiRez::SocketHandle> sockets;
    std::vector<char> ready;
    for (;;) {
        std::function<void(Clock::time_point)> tick;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_stopping) {
                return;
            }
            std::move(m_incoming.begin(), m_incoming.end(), std::back_inserter(m_parked));
            m_incoming.clear();
            tick = m_tick;
        }
        const Clock::time_point now = Clock::now();
        if (now >= nextTick) {
            nextTick = now + kTickPeriod;
            if (tick) {
                tick(now);
            }
        }
        const int waitMs = std::min<int>(
            Advance(now), static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(nextTick - now).count()));
        sockets.clear();
        for (const SParked& parked : m_parked) {
            const bool awaiting = parked.replied;
            sockets.push_back(awaiting ? parked.server->ConnectionHandle(parked.index) : ZiRez::INVALID_SOCKET_HANDLE);
        }
        if (!ZiRez::WaitReadable(sockets, m_wake, std::max(0, waitMs), ready)) {
            continue;
        }
        for (size_t i = 0; i < m_parked.size(); ++i) {
            SParked& parked = m_parked[i];
            if (ready[i] == 0) {
                continue;
            }
            // The ACK, and whatever else the peer sent with it (read, so the close is no reset).
            uint8_t ack[4 * kHeaderSize];
            const int got = parked.server->ReceiveNow(parked.index, ack, sizeof ack);
            if (got == 0 || (got > 0 && (parked.acknowledged += static_cast<size_t>(got)) >= kHeaderSize)) {
                Finish(parked);
            }
        }
        std::erase_if(m_parked, [](const SParked& parked) { return !parked.server; });
    }
}
