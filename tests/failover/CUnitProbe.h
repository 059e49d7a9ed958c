#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Units in their namespace that ask one address for their keys without pause, in turn,
// each request with a mask of its own, and compare every reply with what is registered.
class CUnitProbe
{
public:
    using Clock = std::chrono::steady_clock;

    struct SUnit
    {
        std::string id;
        std::optional<std::string> key; // none: the unit is not registered and must be refused
    };

    struct SCounts
    {
        uint64_t served = 0;     // what is registered: the right key, or a refusal for a unit without one
        uint64_t unanswered = 0; // no connection, or no complete reply (a server that is gone)
        uint64_t refused = 0;    // a complete reply without a key for a unit that has one
        uint64_t wrong = 0;      // a key that is not the registered one, or any key for a unit without one
    };

    CUnitProbe(const std::string& unitNamespace, const std::string& host, uint16_t port, std::vector<SUnit> units);
    ~CUnitProbe();
    CUnitProbe(const CUnitProbe&) = delete;
    CUnitProbe& operator=(const CUnitProbe&) = delete;

    // One request for the unit from the calling thread's namespace: whether host answered
    // what the unit expects.
    static bool Serves(const std::string& host, uint16_t port, const SUnit& unit);

    // Registers, replaces or deletes (key none) the unit's key by write: while write runs,
    // a reply may show the store before or after it; from its end on, only after. False
    // when write failed, and then the unit is expected as before.
    bool Change(const SUnit& unit, const std::function<bool()>& write);

    // When the first request sent after since was served; nullopt when none was within
    // the time.
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
    // What a reply to the unit may show: its registered key, or during a change either.
    struct SExpected
    {
        std::string id;
        std::vector<std::optional<std::string>> keys;
    };

    std::optional<Clock::time_point> WaitServed(Clock::time_point since, bool afterAFailure, int timeOutMs);

    void Run(const std::string& unitNamespace);
    // One request; its reply sorted into the counts.
    void Ask(uint64_t number);
    SExpected Expected(size_t unit);

    const std::string m_host;
    const uint16_t m_port;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<SExpected> m_units;
    SCounts m_counts;
    std::string m_lastFault;
    std::deque<SRequest> m_requests; // the latest, in order
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
