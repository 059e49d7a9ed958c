#pragma once

#include "CPeerStore.h"
#include "CSyncChannel.h"
#include "SyncSession.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class CRequestConnection;

namespace Sync {

// The data items of a connection the service accepted.
class CServiceLink : public ISyncLink
{
public:
    explicit CServiceLink(CRequestConnection& connection) : m_connection(connection) {}
    void Send(std::string_view bytes) override;
    std::string Receive() override;

private:
    CRequestConnection& m_connection;
};

// How syncing with a peer went, as the tools show it.
struct SPeerRun
{
    enum class Kind
    {
        InSync,
        Unreachable, // no connection, or no answer in time
        DoesNotSync, // a key server that does not know the sync request
        Refused,     // the secrets differ, or the peer's throttle held this server back
        Failed,      // a broken exchange, or this store failed
    };
    Kind kind = Kind::Failed;
    std::string reason;
    size_t sent = 0;
    size_t received = 0;
    CSyncLedger::SApplied applied;

    // The state text of the peer's status: "in sync", or why not.
    std::string State() const;
};

// Runs exchanges with the peer, each on its own connection, until nothing differs (or a
// bound of rounds); snapshot is asked afresh for each.
SPeerRun SyncWithPeer(const CPeerStore::SPeer& peer, const std::function<std::shared_ptr<const SSnapshot>()>& snapshot,
                      const ApplyFn& apply, int timeOutMs);

} // namespace Sync
