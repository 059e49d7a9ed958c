#pragma once

#include "platform/CEvent.h"
#include "service/CStatusReporter.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

// Own states of the service (the reported states are those of ServiceStatus.h).
inline constexpr int kStateNone = 0;
inline constexpr int kStateStopped = 1;
inline constexpr int kStateRunning = 2;
inline constexpr int kStateStopPending = 3;
inline constexpr int kStatePaused = 4;

// Controls delivered to ControlHandler.
inline constexpr uint32_t kServiceControlStop = 1;
inline constexpr uint32_t kServiceControlPause = 2;
inline constexpr uint32_t kServiceControlContinue = 3;
inline constexpr uint32_t kServiceControlInterrogate = 4;
inline constexpr uint32_t kServiceControlShutdown = 5;

// Small stacks keep a thousand idle connection threads cheap; the request path needs
// little. Sanitizers pad every frame, so they get more.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr size_t kConnectionStackSize = 1024 * 1024;
#else
inline constexpr size_t kConnectionStackSize = 256 * 1024;
#endif
inline constexpr int kMaxConnections = 1024;
// Silence after which a connection is given up.
inline constexpr int kConnectionTimeOutMs = 60000;
// A connection is closed this long after its accept, however its peer trickles its bytes.
inline constexpr int kRequestDeadlineMs = 60000;
// An idle connection worker retires after this long without a connection, unless it is
// the last one waiting.
inline constexpr int kWorkerRetireMs = 10000;
// A relief worker (see CConnectionWorkers) retires sooner: it was started for a stall.
inline constexpr int kReliefRetireMs = 1000;
// Connections are served by two workers a processor (at least four) while they keep
// finishing theirs; the others wait in the listener's queue, first come first served.
// More running at once would only share the processors more thinly and lengthen every
// wait.
inline int BusyWorkersForThisMachine()
{
    return std::max(4, 2 * static_cast<int>(std::thread::hardware_concurrency()));
}
// When no worker has finished a connection for this long, silent or slow peers hold them
// all: every connection waiting then gets a worker of its own.
inline constexpr int kWorkersStalledMs = 20;

// The state of the one service of the process, shared by the control dispatcher, the
// service main thread, the watcher thread and the accept loop.
struct ServiceContext
{
    CStatusReporter* statusHandle = nullptr;
    std::atomic<int> state{kStateNone};
    // Pause and continue count only once running has been reported (a start pending
    // accepts no controls), and an interrogation reports start pending until then; a stop
    // is always taken.
    std::atomic<bool> runningReported{false};
    // Orders pause and continue against the first running report.
    std::mutex controlLock;
    std::thread workerThread;
    std::unique_ptr<Platform::CEvent> stopEvent;
    // Manual reset, signalled while paused: wakes the threads that wait for connections.
    std::unique_ptr<Platform::CEvent> pausedEvent;

    // The pause gate of the accept loop: state changes to and from paused (and to stop
    // pending) are made under gateLock and announced on gateChanged, and so is the opening
    // of the first listener, which running waits for.
    std::mutex gateLock;
    std::condition_variable gateChanged;
    bool listening = false;
    // The port of the listener open now, for the state logged when interrogated.
    std::atomic<uint16_t> listeningPort{0};
    // Reported with the stop and returned by the process: not 0 when the service could not
    // go on for a reason that is not the listener's.
    std::atomic<int> exitCode{0};

    std::atomic<size_t> connectionStackSize{kConnectionStackSize};
    std::atomic<int> maxConnections{kMaxConnections};
    std::atomic<int> requestDeadlineMs{kRequestDeadlineMs};
    std::atomic<int> workerRetireMs{kWorkerRetireMs};
    std::atomic<int> busyWorkers{BusyWorkersForThisMachine()};
};
