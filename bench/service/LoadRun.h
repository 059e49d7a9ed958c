#pragma once

#include "CLatencyStats.h"
#include "CRawUnitClient.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

struct LoadResult
{
    uint64_t requests = 0; // exchanges that completed with exactly the expected bytes
    uint64_t errors = 0;
    std::map<ExchangeOutcome, uint64_t> errorsByOutcome;
    std::map<ExchangeOutcome, std::string> firstDetail;
    CLatencyStats latency; // of the good exchanges, connect to final status
    double seconds = 0;

    double Rate() const { return seconds > 0 ? static_cast<double>(requests) / seconds : 0.0; }
};

struct LoadSettings
{
    size_t units = 1000;
    int clients = 16;
    double seconds = 10;
    int timeOutMs = 5000;
    bool quickAck = false;
    // 0: a blocking thread per client; else that many threads that keep the clients'
    // requests in flight on non-blocking sockets.
    int threads = 2;
    bool check = false; // request 1 instead of request 16
};

// Request 16 from `clients` concurrent clients, one request per connection, each for a unit
// chosen at random among the first `units` registered, with a fresh random 32-byte mask,
// for the given time (or request 1, with check).
LoadResult RunLoad(const ServiceAddress& address, const LoadSettings& settings);

// One line: rate, percentiles, errors; then the first detail of each kind of error.
void PrintLoad(const char* label, const LoadResult& result, const char* request = "GET_KEY");
