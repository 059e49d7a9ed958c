#include "ConnectionThread.h"

#include "CDelayedReplies.h"
#include "CRequestGuard.h"
#include "CRequestLog.h"
#include "CServiceMetrics.h"
#include "Log.h"
#include "RequestHandlers.h"
#include "SServiceParts.h"
#include "net/CStrmSrvSocket.h"
#include "protocol/CReceiveBudget.h"
#include "protocol/CRequestConnection.h"
#include "protocol/Packet.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace {

void Dispatch(const SServiceParts& parts, int code, CRequestConnection& connection, CRequestLog& log,
              const ZiRez::CPeerAddress& peer)
{
    switch (static_cast<uint32_t>(code)) {
    case REQ_CHECK:
        log.AddStatus(ST_OK, 0);
        connection.SendStatus(ST_OK, 0);
        break;
    case REQ_GET_KEY:
        HandleGetKey(parts, connection, log, peer);
        break;
    case REQ_FETCH_KEYS:
        HandleFetchKeys(parts, connection, log, peer);
        break;
    case REQ_STORE_KEYS:
        HandleStoreKeys(parts, connection, log, peer);
        break;
    default:
        // Acknowledged like every request, then closed without a word.
        break;
    }
}

std::string PeerOf(const ZiRez::CStrmSrvSocket* stream, int index)
{
    const std::string peer = stream != nullptr ? stream->GetPeerAddress(index) : std::string();
    return peer.empty() ? std::string("unknown peer") : peer;
}

// A throttled request's connection goes to the delayed replies, which send its status; its
// request is summed up by the throttle rather than logged alone. True when it went.
bool Park(CDelayedReplies& delayedReplies, const std::shared_ptr<ZiRez::CServerSocket>& server,
          ZiRez::CStrmSrvSocket* stream, CRequestConnection& connection, CRequestLog& log, const SThrottled& throttled)
{
    // Its status is the one the delayed reply sends.
    log.AddStatus(throttled.status, throttled.detail);
    if (stream == nullptr) {
        connection.SendStatus(throttled.status, throttled.detail);
        return false;
    }
    const int index = connection.Index();
    size_t readAhead = 0;
    std::string reply = connection.Detach(throttled.status, throttled.detail, readAhead);
    delayedReplies.Park(std::shared_ptr<ZiRez::CStrmSrvSocket>(server, stream), index, std::move(reply),
                        CDelayedReplies::Clock::now() + CRequestGuard::kThrottledReplyDelay, readAhead);
    return true;
}

// Counts a connection from its hand-over to the end of its log line.
class COpenConnection
{
public:
    explicit COpenConnection(std::atomic<int>& count) : m_count(count) { ++m_count; }
    ~COpenConnection() { --m_count; }
    COpenConnection(const COpenConnection&) = delete;
    COpenConnection& operator=(const COpenConnection&) = delete;

private:
    std::atomic<int>& m_count;
};

} // namespace

int ServeConnection(const SServiceParts& parts, const std::shared_ptr<ZiRez::CServerSocket>& server, int index)
{
    const COpenConnection counted(parts.openConnections);
    auto* stream = dynamic_cast<ZiRez::CStrmSrvSocket*>(server.get());
    // Asked before the request: the slot is freed when the connection closes.
    const std::string peer = PeerOf(stream, index);
    CRequestLog log(peer);
    const ZiRez::CPeerAddress address = stream != nullptr ? stream->GetPeer(index) : ZiRez::CPeerAddress();
    int result = 1;
    bool parked = false;
    {
        const auto evicted = [stream, index, &peer](size_t held) {
            LogLine("received items of all connections at their bound (" +
                    std::to_string(CReceiveBudget::kServiceBound >> 20) + " MiB): closing the connection from " + peer +
                    ", which holds " + std::to_string(held) + " bytes");
            if (stream != nullptr) {
                stream->DropConnection(index);
            }
        };
        // By reference: the account's wake-up then needs no allocation of its own.
        CReceiveBudget::CAccount account(parts.receiveBudget, std::ref(evicted));
        // Closed when this block ends, before the log line is written.
        CRequestConnection connection(server, index, &account);
        try {
            const int code = connection.ReceiveRequest();
            log.SetCode(code);
            try {
                Dispatch(parts, code, connection, log, address);
            } catch (const SThrottled& throttled) {
                parts.metrics.CountThrottled();
                parked = Park(parts.delayedReplies, server, stream, connection, log, throttled);
            }
            result = 0;
        } catch (const std::exception& error) {
            // Socket, time-out and packet errors alike end only this connection.
            if (connection.Rejected()) {
                log.AddStatus(ST_UNSUPPORTED, 0);
            }
            log.SetError(error.what());
        } catch (...) {
            log.SetError("unknown error");
        }
    }
    // Counted before the line is logged: whoever sees the line finds the request counted.
    parts.metrics.CountRequest(log.Code(), log.LastStatus());
    if (!parked) {
        LogLine(log.Line());
    }
    return result;
}
