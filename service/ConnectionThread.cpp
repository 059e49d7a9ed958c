#include "ConnectionThread.h"

#include "CRequestLog.h"
#include "Log.h"
#include "RequestHandlers.h"
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

void Dispatch(int code, CRequestConnection& connection, CRequestLog& log)
{
    switch (static_cast<uint32_t>(code)) {
    case REQ_CHECK:
        log.AddStatus(ST_OK, 0);
        connection.SendStatus(ST_OK, 0);
        break;
    case REQ_GET_KEY:
        HandleGetKey(connection, log);
        break;
    case REQ_FETCH_KEYS:
        HandleFetchKeys(connection, log);
        break;
    case REQ_STORE_KEYS:
        HandleStoreKeys(connection, log);
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

// Never destroyed: connection threads may still use it while the process exits.
CReceiveBudget& ReceiveBudget()
{
    static auto* const budget = new CReceiveBudget(CReceiveBudget::kServiceBound);
    return *budget;
}

std::atomic<int> g_openConnections{0};

// Counts a connection from its hand-over to the end of its log line.
class COpenConnection
{
public:
    COpenConnection() { ++g_openConnections; }
    ~COpenConnection() { --g_openConnections; }
    COpenConnection(const COpenConnection&) = delete;
    COpenConnection& operator=(const COpenConnection&) = delete;
};

} // namespace

int OpenConnections()
{
    return g_openConnections;
}

int ServeConnection(const std::shared_ptr<ZiRez::CServerSocket>& server, int index)
{
    const COpenConnection counted;
    auto* stream = dynamic_cast<ZiRez::CStrmSrvSocket*>(server.get());
    // Asked before the request: the slot is freed when the connection closes.
    const std::string peer = PeerOf(stream, index);
    CRequestLog log(peer);
    int result = 1;
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
        CReceiveBudget::CAccount account(ReceiveBudget(), std::ref(evicted));
        // Closed when this block ends, before the log line is written.
        CRequestConnection connection(server, index, &account);
        try {
            const int code = connection.ReceiveRequest();
            log.SetCode(code);
            Dispatch(code, connection, log);
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
    LogLine(log.Line());
    return result;
}
