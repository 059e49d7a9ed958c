#pragma once

#include "platform/CEvent.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ZiRez {
class CStrmSrvSocket;
}

// Answers parked connections after a delay on one thread of its own, so that a throttled
// peer holds no worker while it waits: at its time a connection gets its reply without
// waiting for the peer, then up to kAckWaitMs for the peer's acknowledgement (read before
// the close, so that the close ends the connection in order rather than by a reset), is
// closed and logged. The same thread calls the tick function about once a second.
class CDelayedReplies
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kAckWaitMs = 5000;

    CDelayedReplies();
    ~CDelayedReplies();
    CDelayedReplies(const CDelayedReplies&) = delete;
    CDelayedReplies& operator=(const CDelayedReplies&) = delete;

    // Takes over the connection in the server's slot; reply leaves at due. acknowledged:
    // bytes of the peer's ACK received already (a peer may send it ahead).
    void Park(std::shared_ptr<ZiRez::CStrmSrvSocket> server, int index, std::string reply, Clock::time_point due,
              size_t acknowledged);
    void SetTick(std::function<void(Clock::time_point)> tick);

private:
    struct SParked
    {
        std::shared_ptr<ZiRez::CStrmSrvSocket> server;
        int index = -1;
        std::string reply;
        Clock::time_point due; // of the reply, then the end of the wait for the ACK
        bool replied = false;
        size_t acknowledged = 0; // bytes of the peer's ACK received
    };

    void Run();
    // Sends the replies due, ends the waits that ran out; the ms to the next time.
    int Advance(Clock::time_point now);
    void Finish(SParked& parked);

    std::mutex m_lock;
    std::vector<SParked> m_incoming;
    std::function<void(Clock::time_point)> m_tick;
    bool m_stopping = false;
    Platform::CEvent m_wake{false, false};
    // Used by the thread alone.
    std::vector<SParked> m_parked;
    std::thread m_thread;
};
