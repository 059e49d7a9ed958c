#pragma once

#include "CLatencyStats.h"
#include "CRawUnitClient.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <netinet/in.h>
#include <string>

struct StormSettings
{
    size_t units = 1000;
    size_t keys = 1000;           // unit k asks for bench key k modulo keys
    int retryMs = 1000;           // a unit turned away tries again after this pause
    int attemptTimeOutMs = 30000; // one try, from its connect to the service's close
    int giveUpMs = 120000;        // units not served by then count as never served
};

struct StormResult
{
    size_t served = 0;
    size_t turnedAway = 0;                        // units whose first try failed
    size_t attempts = 0;                          // connections tried in all
    std::map<ExchangeOutcome, uint64_t> failures; // of all tries
    std::map<ExchangeOutcome, std::string> firstDetail;
    CLatencyStats latency; // per served unit: from the storm's start to its key
    double allServedSeconds = 0;
};

// A power cut's end: every unit connects at the same moment, each from a loopback address
// of its own (127.0.x.y), and asks once for its key, as a unit at boot does: a try that
// fails (refused, reset, closed before the status) is repeated after a pause. All in the
// calling thread, on non-blocking sockets.
class CStormClient
{
public:
    CStormClient(const ServiceAddress& address, const StormSettings& settings)
        : m_address(address), m_settings(settings)
    {}

    StormResult Run() const;

    // The source address of unit k, and of silent peer k (127.1.x.y, apart from the units).
    static sockaddr_in UnitAddress(size_t unit);
    static sockaddr_in SilentPeerAddress(size_t peer);

private:
    const ServiceAddress m_address;
    const StormSettings m_settings;
};
