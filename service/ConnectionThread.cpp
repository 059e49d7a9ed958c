#include "ConnectionThread.h"

#include "CRequestLog.h"
#include "Log.h"
#include "RequestHandlers.h"
#include "RequestServer.h"
#include "net/CStrmSrvSocket.h"
#include "protocol/CRequestConnection.h"
#include "protocol/Packet.h"

#include <cstdint>
#include <exception>
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

std::string PeerOf(const std::shared_ptr<ZiRez::CServerSocket>& server, int index)
{
    std::string peer;
    if (const auto* stream = dynamic_cast<const ZiRez::CStrmSrvSocket*>(server.get())) {
        peer = stream->GetPeerAddress(index);
    }
    return peer.empty() ? std::string("unknown peer") : peer;
}

} // namespace

int ServeConnection(const std::shared_ptr<ZiRez::CServerSocket>& server, int index)
{
    // Asked before the request: the slot is freed when the connection closes.
    CRequestLog log(PeerOf(server, index));
    int result = 1;
    {
        // Closed when this block ends, before the log line is written.
        CRequestConnection connection(server, index);
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

void* ConnectionThread(void* argument)
{
    const std::unique_ptr<AcceptHandover> handover(static_cast<AcceptHandover*>(argument));
    const int result = ServeConnection(handover->server, handover->index);
    return reinterpret_cast<void*>(static_cast<intptr_t>(result));
}
