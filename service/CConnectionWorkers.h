#pragma once

#include "net/CAcceptWaiter.h"
#include "net/CSocketError.h"
#include "platform/CEvent.h"
#include "service/SServiceParts.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ZiRez {
class CStrmSrvSocket;
}

// The threads that accept and serve the connections of one run of the request server.
// Idle workers wait together for the next connection (or a stop, a pause, the end of the
// run) and serve it themselves. Up to the limits' busy workers, a worker that takes the
// last idle place starts another before it serves; beyond that, connections wait in the
// listeners' queues for the next worker to finish, unless the workers stall (see
// kWorkersHeldMs): then the run's watcher accepts each waiting connection, up to the
// connection cap (see MakeRoom), and starts a relief worker for it, so silent peers never
// hold up the others. A relief worker stays while the regular workers are held (none of
// them finished a connection for kWorkersStalledMs) and takes a regular place that falls
// free; otherwise it retires after its connection, or after kReliefRetireMs without one,
// so that a short stall does not leave more workers than the processors can run. An idle worker that had nothing
// to do for a while retires unless it is the last. A worker is the connection thread of
// each connection it serves, from its accept to its close.
class CConnectionWorkers : public std::enable_shared_from_this<CConnectionWorkers>
{
public:
    // A peer silent this long since its accept may make room at the cap: a unit sends its
    // request at once. One that has sent bytes only once it has kept the server waiting for
    // kStalledPeerMs: a unit whose machine is starved may pause that long mid-request.
    static constexpr int kSilentPeerMs = 1000;
    static constexpr int kStalledPeerMs = 10000;
    // The workers count as stalled once none has finished a connection for
    // kWorkersStalledMs and none of their peers has sent a byte for as long, or once none
    // has finished for kWorkersHeldMs whatever their peers do (peers that trickle bytes).
    static constexpr int kWorkersHeldMs = 200;
    // While an exchange moves on, the watcher looks again this often.
    static constexpr int kProgressLookMs = 5;

    // Throws CSocketError when the workers' wait cannot be set up.
    CConnectionWorkers(const SServiceParts& parts, std::shared_ptr<ZiRez::CStrmSrvSocket> server);
    CConnectionWorkers(const CConnectionWorkers&) = delete;
    CConnectionWorkers& operator=(const CConnectionWorkers&) = delete;

    // Starts a worker that serves the connection in the slot first (none for -1) and then
    // waits with the others; false (logged) when no thread can be started.
    bool StartWorker(int index);
    // -1 while a worker waits for a connection; otherwise 0 when the workers have stalled,
    // else the ms until the watcher looks again.
    int StalledInMs() const;
    // Idle workers leave at once, busy ones once their connection is closed.
    void End();
    // Signalled when the last idle worker took a connection and started no other: from
    // then on the watcher looks whether the workers stall.
    Platform::CEvent& AllBusy() { return m_allBusy; }
    // Whether one more connection may be served (pending: 1 when it is not accepted yet, 0
    // when it is counted already): below the cap, or once the peer that has kept the
    // server waiting longest (see kSilentPeerMs) was dropped to make room. A
    // connection whose peer has sent its request is never dropped; past the cap the next
    // ones wait in the listeners' queues.
    bool MakeRoom(int pending);
    // Signalled when a listener failed; Failure() then holds the error.
    Platform::CEvent& Failed() { return m_failed; }
    std::optional<ZiRez::CSocketError> Failure() const;

private:
    // A worker's next connection: its slot (-1: none), whether the worker starts another
    // before serving it, or that the worker is to leave.
    struct SNext
    {
        int index = -1;
        bool another = false;
        bool leave = false;
    };

    // False, with the reason, when no thread could be started.
    bool Spawn(int index, std::string& reason);
    void Run(int index);
    // After a connection was served, the one queued next if any; otherwise the wait.
    SNext Next(bool served, bool regular);
    // After a relief worker served a connection: true when it takes a regular place that
    // is free; false when it is to leave (the regular workers finish connections again).
    bool ReliefStays(bool& regular);
    // Retires after retireMs without a connection unless it is the last worker waiting.
    SNext WaitForConnection(int retireMs);
    // With the lock held: the worker taking a connection now leaves none waiting, and few
    // serve.
    bool StartsAnother() const;
    // TryAccept on the listener that woke this worker; -1 when nothing was pending.
    int Accept(int listener);
    // TryAcceptQueued; -1 when nothing was pending or it failed.
    int AcceptQueued();
    // Takes the connection a worker accepted, first starting another worker to wait for the
    // next when another; false when the worker is to leave.
    bool Take(int index, bool another);
    bool Serve(int index);
    void Fail(const ZiRez::CSocketError& error);
    bool Ended() const { return m_ended.load(std::memory_order_acquire); }

    const SServiceParts m_parts;
    const std::shared_ptr<ZiRez::CStrmSrvSocket> m_server;
    Platform::CEvent m_endedEvent{true, false};
    Platform::CEvent m_failed{true, false};
    Platform::CEvent m_allBusy{false, false};
    const ZiRez::CAcceptWaiter m_waiter;
    std::atomic<bool> m_ended{false};
    mutable std::mutex m_lock;
    int m_idle = 0;
    int m_count = 0;
    int m_regular = 0; // workers not started by the watcher, or taken into their places
    // When a regular worker last finished a connection.
    std::chrono::steady_clock::time_point m_lastRegularFree = std::chrono::steady_clock::now();
    // When a worker last finished a connection or began to wait for one, or when the last
    // idle one took a connection.
    std::chrono::steady_clock::time_point m_lastFree = std::chrono::steady_clock::now();
    std::optional<ZiRez::CSocketError> m_failure;
    // The slots of the connections being served.
    std::vector<int> m_serving;
};
