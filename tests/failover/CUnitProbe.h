#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// A unit in its namespace that asks one address for its key without pause, each request
// with a mask of its own, and compares every reply with the key registered for it.
class CUnitProbe
{
public:
    using Clock = std::chrono::steady_clock;

    struct SCounts
    {
        uint64_t served = 0;     // the right key
        uint64_t unanswered = 0; // no connection, or no complete reply (a server that is gone)
        uint64_t refused = 0;    // a complete reply without a key: unknown identifier, ...
        uint64_t wrong = 0;      // a key that is not the registered one
    };

    CUnitProbe(const std::string& unitNamespace, const std::string& host, uint16_t port, const std::string& id,
               const std::string& key);
    ~CUnitProbe();
    CUnitProbe(const CUnitProbe&) = delete;
    CUnitProbe& operator=(const CUnitProbe&) = delete;

    // When the first request sent after since was served the right key; nullopt when none
    // was within the time.
    std::optional<Clock::time_point> WaitServedAfter(Clock::time_point since, int timeOutMs);
    // The same after the first request sent after since that was not served: when a unit
    // was served again after a failure at since. A request on its way as the failure came
    // may still be served; it does not count.
    std::optional<Clock::time_point> WaitServedAgain(Clock::time_point since, int timeOutMs);
    SCounts Counts();
    // The last reply that was refused or wrong, in hex, for a failure report.
    std::string LastFault();

private:
    struct SRequest
    {
        Clock::time_point sent;
        Clock::time_point done;
        bool served;
    };

    std::optional<Clock::time_point> WaitServed(Clock::time_point since, bool afterAFailure, int timeOutMs);

    void Run(const std::string& unitNamespace);
    // One request; its reply sorted into the counts.
    void Ask(uint64_t number);

    const std::string m_host;
    const uint16_t m_port;
    const std::string m_id;
    const std::string m_key;
    std::mutex m_lock;
    std::condition_variable m_changed;
    SCounts m_counts;
    std::string m_lastFault;
    std::deque<SRequest> m_requests; // the latest, in order
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
