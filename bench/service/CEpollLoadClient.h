#pragma once

#include "CRawUnitClient.h"
#include "ExchangeScript.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

// Keeps a number of unit exchanges in flight at once on non-blocking sockets, all in the
// calling thread: a client that costs little CPU, so that the service, not the client,
// sets the figure on a small machine. Same exact-byte checks as CRawUnitClient.
class CEpollLoadClient
{
public:
    using Clock = std::chrono::steady_clock;
    // The next exchange to start; nothing when no more should start.
    using NextScript = std::function<std::optional<ExchangeScript>()>;
    // Result and time from the start of the connection to the service's close.
    using Finished = std::function<void(const ExchangeResult&, int64_t nanoseconds)>;

    CEpollLoadClient(const ServiceAddress& address, int timeOutMs, bool quickAck)
        : m_address(address), m_timeOutMs(timeOutMs), m_quickAck(quickAck)
    {}

    // Starts exchanges until the deadline (or until next gives none) and waits for those
    // in flight then.
    void Run(int inFlight, Clock::time_point deadline, const NextScript& next, const Finished& finished) const;

private:
    const ServiceAddress m_address;
    const int m_timeOutMs;
    const bool m_quickAck;
};
