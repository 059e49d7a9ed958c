#pragma once

#include "CSyncChannel.h"
#include "CSyncLedger.h"
#include "SyncEntry.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

// One exchange between two key servers over an open channel: the initiator sends a digest
// of each of the ledger's 256 buckets, the other end lists its entries of the buckets that
// differ, the initiator sends what the other lacks and asks for what it lacks itself, and
// the other end sends that. Each end applies what it received only once the other's
// message is whole. One exchange carries a bounded amount; the initiator runs another while
// more is left.
namespace Sync {

// What an end offers: its entries (keys in the clear) as they were when the exchange began.
struct SSnapshot
{
    std::map<std::string, SEntry> entries;
    Buckets buckets{};
    std::string serverId; // whose: a server never syncs with itself
};
using ApplyFn = std::function<CSyncLedger::SApplied(const std::vector<SEntry>&)>;

struct SOutcome
{
    size_t sent = 0;     // entries sent
    size_t received = 0; // entries received
    bool more = false;   // differences left for another exchange
    CSyncLedger::SApplied applied;
};

SOutcome RunInitiator(CSyncChannel& channel, const SSnapshot& snapshot, const ApplyFn& apply);
SOutcome RunAnswer(CSyncChannel& channel, const SSnapshot& snapshot, const ApplyFn& apply);

} // namespace Sync
