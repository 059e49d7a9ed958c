#pragma once

#include "service/CServiceState.h"
#include "service/SServiceLimits.h"

#include <atomic>

class CDelayedReplies;
class CKeyListCache;
class CReceiveBudget;
class CRequestGuard;
class CServiceMetrics;

// What the request server and its connections use of the service that runs them; the host
// owns every part and outlives the threads it hands them to.
struct SServiceParts
{
    CServiceState& state;
    SServiceLimits& limits;
    CRequestGuard& guard;
    CDelayedReplies& delayedReplies;
    CKeyListCache& keyLists;
    // Bounds what all connections together hold of received items.
    CReceiveBudget& receiveBudget;
    // Connections being served now, for the state logged when interrogated.
    std::atomic<int>& openConnections;
    CServiceMetrics& metrics;
};
