#include "PeerLink.h"

#include "net/CSocketTimeOut.h"
#include "protocol/AuthError.h"
#include "protocol/CKeyServerClient.h"
#include "protocol/CRequestConnection.h"
#include "protocol/ConnectError.h"

#include <exception>

namespace Sync {

namespace {

// More differences than this many bounded exchanges carry are left for the next round.
constexpr int kMaxRounds = 64;

class CClientLink : public ISyncLink
{
public:
    explicit CClientLink(CKeyServerClient& client) : m_client(client) {}
    void Send(std::string_view bytes) override { m_client.SendData(bytes); }
    std::string Receive() override
    {
        std::string bytes;
        m_client.ReceiveData(bytes);
        return bytes;
    }

private:
    CKeyServerClient& m_client;
};

SPeerRun Ended(SPeerRun run, SPeerRun::Kind kind, std::string reason)
{
    run.kind = kind;
    run.reason = std::move(reason);
    return run;
}

} // namespace

void CServiceLink::Send(std::string_view bytes)
{
    m_connection.SendData(bytes.data(), bytes.size());
}

std::string CServiceLink::Receive()
{
    std::string bytes;
    m_connection.ReceiveData(bytes);
    return bytes;
}

std::string SPeerRun::State() const
{
    switch (kind) {
    case Kind::InSync:
        return applied.conflicts != 0 ? "in sync but for conflicts" : "in sync";
    case Kind::Unreachable:
        return "unreachable: " + reason;
    case Kind::DoesNotSync:
        return "does not sync: a key server without peer sync (fill it with 'corvane-admin copy')";
    case Kind::Refused:
        return "refused: " + reason;
    case Kind::Failed:
        break;
    }
    return "failed: " + reason;
}

SPeerRun SyncWithPeer(const CPeerStore::SPeer& peer, const std::function<std::shared_ptr<const SSnapshot>()>& snapshot,
                      const ApplyFn& apply, int timeOutMs)
{
    SPeerRun run;
    for (int round = 0; round < kMaxRounds; ++round) {
        CKeyServerClient client;
        client.SetTimeOut(timeOutMs);
        try {
            client.Open(peer.host, peer.port);
            // An exchange is many small items each way, each acknowledged before the next.
            client.BaseSocket().DisableNagle();
            client.SendRequest(REQ_PEER_SYNC);
            CClientLink link(client);
            std::optional<CSyncChannel> channel;
            try {
                channel.emplace(CSyncChannel::Initiate(link, peer.secret));
            } catch (const CSyncRefused&) {
                throw;
            } catch (const ZiRez::CSocketTimeOut&) {
                throw;
            } catch (const KeyServer::AuthError&) {
                throw;
            } catch (const std::exception&) {
                // Closed after the request's acknowledgement, with no answer to the hello:
                // the code is unknown there.
                return Ended(run, SPeerRun::Kind::DoesNotSync, "");
            }
            const SOutcome outcome = RunInitiator(*channel, *snapshot(), apply);
            run.sent += outcome.sent;
            run.received += outcome.received;
            run.applied.taken += outcome.applied.taken;
            run.applied.conflicts = outcome.applied.conflicts;
            run.applied.news.insert(run.applied.news.end(), outcome.applied.news.begin(), outcome.applied.news.end());
            if (outcome.applied.failed) {
                return Ended(run, SPeerRun::Kind::Failed, "this server's store could not take the peer's changes");
            }
            if (!outcome.more) {
                return Ended(run, SPeerRun::Kind::InSync, "");
            }
        } catch (const KeyServer::ConnectError&) {
            return Ended(run, SPeerRun::Kind::Unreachable, "no connection to " + peer.host);
        } catch (const ZiRez::CSocketTimeOut&) {
            return Ended(run, SPeerRun::Kind::Unreachable, "no answer in time");
        } catch (const KeyServer::AuthError&) {
            return Ended(run, SPeerRun::Kind::Refused, "held back by the peer's throttle");
        } catch (const CSyncRefused& error) {
            return Ended(run, SPeerRun::Kind::Refused, error.what());
        } catch (const std::exception& error) {
            return Ended(run, SPeerRun::Kind::Failed, error.what());
        }
    }
    return Ended(run, SPeerRun::Kind::Failed, "more differences than one round carries");
}

} // namespace Sync
