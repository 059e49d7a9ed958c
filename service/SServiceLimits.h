#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>

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
// finishing theirs; the others wait in the listeners' queues, first come first served.
// More running at once would only share the processors more thinly and lengthen every
// wait.
inline int BusyWorkersForThisMachine()
{
    return std::max(4, 2 * static_cast<int>(std::thread::hardware_concurrency()));
}
// When no worker has finished a connection for this long, silent or slow peers hold them
// all: every connection waiting then gets a worker of its own.
inline constexpr int kWorkersStalledMs = 20;

// How the request server spends threads and time on connections; set before the service
// runs (the connection cap from the descriptor limit), and changed by tests while it runs.
struct SServiceLimits
{
    std::atomic<size_t> connectionStackSize{kConnectionStackSize};
    std::atomic<int> maxConnections{kMaxConnections};
    std::atomic<int> requestDeadlineMs{kRequestDeadlineMs};
    std::atomic<int> workerRetireMs{kWorkerRetireMs};
    std::atomic<int> busyWorkers{BusyWorkersForThisMachine()};
};
